#include "pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "boot_program.h"

std::unique_ptr<PtyLine> PtyLine::Create(std::string* why) {
  std::unique_ptr<PtyLine> line(new PtyLine);
  line->master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128];
  if (line->master_ < 0 || grantpt(line->master_) != 0 || unlockpt(line->master_) != 0 ||
      ptsname_r(line->master_, name, sizeof name) != 0) {
    *why = std::string("no pseudo-terminal: ") + std::strerror(errno);
    return nullptr;
  }
  line->slavePath_ = name;
  fcntl(line->master_, F_SETFL, fcntl(line->master_, F_GETFL) | O_NONBLOCK);
  // The slave keeps the terminal defaults (38400 bit/s, canonical, echo)
  // until the host sets its line up: a host that does not gets no answer.
  // Only XON/XOFF starts off, as on a serial port fresh from its driver:
  // a host that keeps the device's flow control (as a Windows program
  // does with its DCB) must not inherit the terminal's.
  termios tio{};
  if (tcgetattr(line->master_, &tio) == 0) {
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tcsetattr(line->master_, TCSANOW, &tio);
  }
  return line;
}

PtyLine::~PtyLine() {
  if (!link_.empty()) unlink(link_.c_str());
  if (master_ >= 0) close(master_);
}

bool PtyLine::MakeLink(const std::string& path, std::string* why) {
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0) {
    if (!S_ISLNK(info.st_mode)) {
      *why = "cannot link " + path + ": it exists and is not a symbolic link";
      return false;
    }
    unlink(path.c_str());
  }
  if (symlink(slavePath_.c_str(), path.c_str()) != 0) {
    *why = "cannot link " + path + " to " + slavePath_ + ": " + std::strerror(errno);
    return false;
  }
  link_ = path;
  return true;
}

std::string PtyLine::HostLineProblem() const {
  termios tio{};
  if (tcgetattr(master_, &tio) != 0) return std::string("settings unreadable: ") + std::strerror(errno);
  return LineProblem(tio);
}

std::size_t PtyLine::Read(std::uint8_t* buffer, std::size_t size) {
  const ssize_t n = read(master_, buffer, size);
  return n > 0 ? static_cast<std::size_t>(n) : 0;  // EAGAIN, or EIO while the host has it closed
}

std::size_t PtyLine::Write(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const ssize_t n = write(master_, data, size);
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool PtyLine::HostClosed() const {
  pollfd p{master_, POLLIN, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & POLLHUP);
}
