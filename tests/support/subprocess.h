// Runs a program as a child process and collects what it writes, for tests
// of the real executables.
#ifndef KORVEL_TESTS_SUBPROCESS_H
#define KORVEL_TESTS_SUBPROCESS_H

#include <string>
#include <vector>

struct ProcessResult {
  std::string out;     // standard output, byte for byte
  std::string err;     // standard error
  int exitCode = -1;   // -1 when it did not exit normally
  int signal = 0;      // the signal that ended it, if any
  bool timedOut = false;
  double seconds = 0;  // wall time from start to end
};

// Starts program with args (argv[0] is program), standard input from
// /dev/null; kills it after timeoutSeconds. With runAsUid >= 0 the child
// gives up root for that user (and its own group) before it starts.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         double timeoutSeconds = 60, int runAsUid = -1);

// Paths of the built executables, set by the build.
std::string KorvelPath();

#endif
