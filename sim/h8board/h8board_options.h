// h8board's command line: the options as one table (name, argument, help
// text, what it sets), from which both the parser and the usage text come.
#ifndef KORVEL_SIM_H8BOARD_OPTIONS_H
#define KORVEL_SIM_H8BOARD_OPTIONS_H

#include <string>
#include <vector>

#include "board.h"

// Flow control on the terminal before the host opens it (--left-flow).
struct TerminalFlow {
  bool ixon = false, ixoff = false, crtscts = false;
};

struct H8BoardOptions {
  BoardConfig board;
  std::string link;         // --link: symbolic link to the terminal
  std::string out;          // --out: raw 128 KB flash image
  std::string dump;         // --dump: S-records of the flash
  std::string flashLog;     // --flash-log: every program pulse and its times
  std::string preloadPath;  // --preload
  double timeoutSeconds = 0;  // --timeout; 0: none
  TerminalFlow leftFlow;      // --left-flow
  bool verbose = false;
  bool awake = false;         // --awake: paced, short waits spent awake
  bool help = false;
};

// False with a message on a bad command line. Loads the --preload file.
bool ParseH8BoardOptions(const std::vector<std::string>& args, H8BoardOptions* options, std::string* error);
std::string H8BoardUsage();

// The table's texts, in its order, for the manual page: name ("" for a
// heading, whose help is the heading), argument ("" for a flag), help.
struct H8BoardOptionText {
  std::string name, argument, help;
};
std::vector<H8BoardOptionText> H8BoardOptionTexts();

#endif
