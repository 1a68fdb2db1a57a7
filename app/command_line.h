// korvel's command line: its own options, anywhere and in any order, and
// the two words that are not options, the port and the program file.
#ifndef KORVEL_APP_COMMAND_LINE_H
#define KORVEL_APP_COMMAND_LINE_H

#include <string>

struct CommandLine {
  const char* port = nullptr;  // the first word that is not an option; null: none
  const char* file = nullptr;  // the second; null: none. A third and later are not read.
  bool fast = false;
  long maxRate = 10000000;  // the fast mode's cap when --max-rate is not given (kHighestRate)
  double clockMhz = 0;      // --clock: the crystal the user names; 0: the boot program's BRR tells
  bool exitStatus = false;     // exit 1 on Fail, 2 on a usage error
  // A --max-rate value that is no bit rate korvel can offer, or a --clock outside the chip's range:
  // the run shows it after the settings lines and ends with Fail before anything is sent. "": none.
  std::string rateProblem;
  // What makes the command line unusable: refused with the usage text
  // before the port is opened. "": nothing.
  std::string usageProblem;
};

// The first argument is an option only when it is one of korvel's own;
// any other word there names the port (so "--HELP" is a port that reads
// as port 1). After it, a word starting with "--" must be an option.
CommandLine ReadCommandLine(int argc, char** argv);

#endif
