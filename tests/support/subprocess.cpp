#include "subprocess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point After(double seconds) {
  return Clock::now() + std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args, const ProcessOptions& options,
            int* out, int* err) {
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    const int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    setpgid(0, 0);  // its own group, so a kill reaches what it starts
    if (options.runAsUid >= 0) {
      setgroups(0, nullptr);
      if (setgid(static_cast<gid_t>(options.runAsUid)) != 0 || setuid(static_cast<uid_t>(options.runAsUid)) != 0)
        _exit(126);
    }
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(125);
    for (const std::string& setting : options.environment) putenv(const_cast<char*>(setting.c_str()));
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  *out = outPipe[0];
  *err = errPipe[0];
  return pid;
}

// Reads both pipes to their end or the deadline; kills the child's group at
// the deadline. Closes the pipes and reaps the child.
void Collect(pid_t pid, int out, int err, Clock::time_point deadline, ProcessResult* result) {
  pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
  int open_pipes = (out >= 0) + (err >= 0);
  if (out < 0) fds[0].fd = -1;
  if (err < 0) fds[1].fd = -1;
  while (open_pipes > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      result->timedOut = true;
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? result->out : result->err).append(buffer, static_cast<std::size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  for (pollfd& f : fds)
    if (f.fd >= 0) close(f.fd);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result->exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result->signal = WTERMSIG(status);
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
  ProcessResult result;
  int out = -1, err = -1;
  const pid_t pid = Spawn(program, args, options, &out, &err);
  if (pid >= 0) Collect(pid, out, err, After(options.timeoutSeconds), &result);
  return result;
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args, double timeoutSeconds,
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
  *board = StartProcess(H8BOARD_EXECUTABLE, args, ProcessOptions{});
  for (int wait = 0; wait < 1000 && access(link.c_str(), F_OK) != 0; ++wait) usleep(10000);
  return access(link.c_str(), F_OK) == 0 ? link : "";
}

std::string KorvelPath() { return KORVEL_EXECUTABLE; }
std::string SourcePath(const std::string& relative) { return std::string(KORVEL_SOURCE_DIR) + "/" + relative; }
std::string BinaryPath(const std::string& relative) { return std::string(KORVEL_BINARY_DIR) + "/" + relative; }
