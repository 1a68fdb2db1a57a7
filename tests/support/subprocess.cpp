#include "subprocess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

// Through the shell: timeout(1) ends a child that runs too long, setpriv(1)
// gives up root, the output goes to files.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
  char folder[] = "/tmp/korvel-run-XXXXXX";
  if (mkdtemp(folder) == nullptr) return {};
  const std::string out = std::string(folder) + "/out", err = std::string(folder) + "/err";
  std::string command = "cd " + Quoted(options.workingDirectory.empty() ? "." : options.workingDirectory) + " && ";
  for (const std::string& setting : options.environment) command += "export " + Quoted(setting) + " && ";
  command += "exec timeout -s KILL " + std::to_string(options.timeoutSeconds) + " ";
  if (options.runAsUid >= 0) {
    const std::string id = std::to_string(options.runAsUid);
    command += "setpriv --reuid=" + id + " --regid=" + id + " --clear-groups ";
  }
  command += Quoted(program);
  for (const std::string& arg : args) command += " " + Quoted(arg);
  const int status = std::system((command + " </dev/null >" + out + " 2>" + err).c_str());
  ProcessResult result;
  result.out = Slurp(out);
  result.err = Slurp(err);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.timedOut = result.exitCode == 128 + 9;
  std::filesystem::remove_all(folder);
  return result;
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args, int timeoutSeconds,
                         int runAsUid) {
  ProcessOptions options;
  options.timeoutSeconds = timeoutSeconds;
  options.runAsUid = runAsUid;
  return RunProcess(program, args, options);
}

std::future<ProcessResult> StartProcess(const std::string& program, const std::vector<std::string>& args,
                                        const ProcessOptions& options) {
  return std::async(std::launch::async, [=] { return RunProcess(program, args, options); });
}

std::string StartBoard(std::vector<std::string> args, const std::string& link, std::future<ProcessResult>* board) {
  args.insert(args.end(), {"--link", link});
  *board = StartProcess(H8BOARD_EXECUTABLE, args, ProcessOptions{180, -1, {}, {}});
  for (int wait = 0; wait < 1000 && access(link.c_str(), F_OK) != 0; ++wait) usleep(10000);
  return access(link.c_str(), F_OK) == 0 ? link : "";
}

std::string KorvelPath() { return KORVEL_EXECUTABLE; }
std::string SourcePath(const std::string& relative) { return std::string(KORVEL_SOURCE_DIR) + "/" + relative; }
std::string BinaryPath(const std::string& relative) { return std::string(KORVEL_BINARY_DIR) + "/" + relative; }
