// Runs a program as a child process and collects what it writes, for tests
// of the real executables.
#ifndef KORVEL_TESTS_SUBPROCESS_H
#define KORVEL_TESTS_SUBPROCESS_H

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

struct ProcessResult {
  std::string out;     // standard output, byte for byte
  std::string err;     // standard error
  int exitCode = -1;   // -1 when it did not exit normally
  int signal = 0;      // the signal that ended it, if any
  bool timedOut = false;
};

struct ProcessOptions {
  double timeoutSeconds = 60;  // killed after this
  int runAsUid = -1;           // >= 0: the child gives up root for this user and group
  std::vector<std::string> environment;  // NAME=VALUE added to the child's environment
  std::string workingDirectory;           // empty: the test's own
};

// Starts program with args (argv[0] is program), standard input from
// /dev/null, and waits for it to end.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options);
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         double timeoutSeconds = 60, int runAsUid = -1);

// A child that runs beside the test, e.g. the virtual board.
class BackgroundProcess {
 public:
  BackgroundProcess(const std::string& program, const std::vector<std::string>& args,
                    const ProcessOptions& options = {});
  ~BackgroundProcess();  // kills the child if it still runs
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  // The next line of standard output, without its line end; empty on
  // time-out or end of output.
  std::string ReadLine(double timeoutSeconds);
  // Waits for the end, collecting the rest of its output; kills it after
  // timeoutSeconds.
  ProcessResult Wait(double timeoutSeconds);
  void Kill(int signal);

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string pending_;
  bool finished_ = false;
};

// Paths of the built executables and folders, set by the build.
std::string KorvelPath();
std::string SourcePath(const std::string& relative);
std::string BinaryPath(const std::string& relative);

#endif
