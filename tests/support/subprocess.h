// Runs a program as a child process and collects what it writes, for tests
// of the real executables.
#ifndef KORVEL_TESTS_SUBPROCESS_H
#define KORVEL_TESTS_SUBPROCESS_H

#include <future>
#include <string>
#include <vector>

struct ProcessResult {
  std::string out;     // standard output, byte for byte
  std::string err;     // standard error
  int exitCode = -1;   // -1 when it did not exit normally
  bool timedOut = false;
};

struct ProcessOptions {
  int timeoutSeconds = 60;     // killed after this
  int runAsUid = -1;           // >= 0: the child gives up root for this user and group
  std::vector<std::string> environment;  // NAME=VALUE added to the child's environment
  std::string workingDirectory;           // empty: the test's own
};

// Starts program with args (argv[0] is program), standard input from
// /dev/null, and waits for it to end.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options);
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         int timeoutSeconds = 60, int runAsUid = -1);

// RunProcess beside the test, on a thread of its own.
std::future<ProcessResult> StartProcess(const std::string& program, const std::vector<std::string>& args,
                                        const ProcessOptions& options);

// Starts h8board with args and "--link link"; returns link once the board
// serves its pty there ("" if it does not within 10 s); killed after 180 s.
std::string StartBoard(std::vector<std::string> args, const std::string& link, std::future<ProcessResult>* board);

// Paths of the built executables and folders, set by the build.
std::string KorvelPath();
std::string SourcePath(const std::string& relative);
std::string BinaryPath(const std::string& relative);

#endif
