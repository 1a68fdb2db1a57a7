#include "pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

PtyPeer::PtyPeer() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("no pty");
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("no pty name");
  slavePath_ = name;
  slaveKeeper_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slaveKeeper_ < 0) throw std::runtime_error("cannot open pty slave");
  // Raw from the start, so nothing the peer sends is echoed back to it
  // before the host has configured the line.
  termios tio{};
  tcgetattr(slaveKeeper_, &tio);
  cfmakeraw(&tio);
  tcsetattr(slaveKeeper_, TCSANOW, &tio);
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("no pipe");
  fcntl(master_, F_SETFL, O_NONBLOCK);
}

PtyPeer::~PtyPeer() {
  Stop();
  if (master_ >= 0) close(master_);
  if (slaveKeeper_ >= 0) close(slaveKeeper_);
  close(wake_[0]);
  close(wake_[1]);
}

void PtyPeer::Start(Script script) {
  script_ = std::move(script);
  running_ = true;
  thread_ = std::thread([this] { Serve(); });
}

void PtyPeer::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
  }
  const char c = 0;
  (void)!write(wake_[1], &c, 1);
  thread_.join();
}

void PtyPeer::Send(const Bytes& bytes, int delayMs) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back({std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs), bytes});
  }
  const char c = 0;
  (void)!write(wake_[1], &c, 1);
}

void PtyPeer::Send(const std::string& text, int delayMs) { Send(Bytes(text.begin(), text.end()), delayMs); }

Bytes PtyPeer::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

std::string PtyPeer::ReceivedText() const {
  const Bytes bytes = Received();
  return std::string(bytes.begin(), bytes.end());
}

bool PtyPeer::WaitForReceived(std::size_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return received_cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return received_.size() >= count; });
}

termios PtyPeer::LineSettings() const {
  termios tio{};
  tcgetattr(master_ >= 0 ? master_ : slaveKeeper_, &tio);
  return tio;
}

void PtyPeer::Hangup() {
  Stop();
  close(slaveKeeper_);
  slaveKeeper_ = -1;
  close(master_);
  master_ = -1;
}

void PtyPeer::Serve() {
  for (;;) {
    int timeoutMs = 50;
    Bytes due;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!running_) return;
      const auto now = std::chrono::steady_clock::now();
      // Due sends go out in the order they were queued.
      std::stable_sort(pending_.begin(), pending_.end(),
                       [](const Pending& a, const Pending& b) { return a.due < b.due; });
      auto it = pending_.begin();
      for (; it != pending_.end() && it->due <= now; ++it) due.insert(due.end(), it->bytes.begin(), it->bytes.end());
      pending_.erase(pending_.begin(), it);
      if (!pending_.empty()) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(pending_.front().due - now).count();
        timeoutMs = static_cast<int>(std::max<long long>(0, std::min<long long>(wait, 50)));
      }
    }
    for (std::size_t sent = 0; sent < due.size();) {
      const ssize_t n = write(master_, due.data() + sent, due.size() - sent);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EAGAIN) {
        pollfd out{master_, POLLOUT, 0};
        poll(&out, 1, 10);
      } else {
        break;
      }
    }
    pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) < 0 && errno != EINTR) return;
    if (fds[1].revents & POLLIN) {
      char drain[64];
      while (read(wake_[0], drain, sizeof drain) > 0) {
      }
    }
    if (fds[0].revents & POLLIN) {
      std::uint8_t buffer[256];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      for (ssize_t i = 0; i < n; ++i) {
        std::size_t index;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          index = received_.size();
          received_.push_back(buffer[i]);
        }
        received_cv_.notify_all();
        if (script_) script_(*this, buffer[i], index);
      }
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      // No slave open at the moment: don't spin on the hang-up.
      usleep(2000);
    }
  }
}
