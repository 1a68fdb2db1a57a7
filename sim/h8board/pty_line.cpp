#include "pty_line.h"

#include "terminal_rates.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

long Speed(speed_t s) {
  switch (s) {
    case B50: return 50;
    case B75: return 75;
    case B110: return 110;
    case B134: return 134;
    case B150: return 150;
    case B200: return 200;
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B1800: return 1800;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    case B921600: return 921600;
    default: return -1;
  }
}

}  // namespace

HostLine HostLineFromTermios(const termios& t, std::string* notRaw) {
  HostLine line;
  const speed_t out = cfgetospeed(&t), in = cfgetispeed(&t);
  line.bitRate = Speed(out);
  if (in != B0 && in != out) line.receiveRate = Speed(in);
  switch (t.c_cflag & CSIZE) {
    case CS5: line.dataBits = 5; break;
    case CS6: line.dataBits = 6; break;
    case CS7: line.dataBits = 7; break;
    default: line.dataBits = 8; break;
  }
  if (t.c_cflag & PARENB) line.parity = (t.c_cflag & PARODD) ? HostLine::Parity::kOdd : HostLine::Parity::kEven;
  if (t.c_cflag & CSTOPB) line.stopBits = HostLine::StopBits::kTwo;
  // XON/XOFF flow control is not among these: the terminal's own line
  // discipline does on the pty what it does on a serial port (swallows the
  // board's H'11 and H'13, stops the host's output at H'13).
  std::string flags;
  const struct {
    tcflag_t set;
    tcflag_t flag;
    const char* name;
  } rawBreakers[] = {{t.c_lflag, ICANON, "ICANON"}, {t.c_lflag, ECHO, "ECHO"},   {t.c_lflag, ECHONL, "ECHONL"},
                     {t.c_lflag, ISIG, "ISIG"},     {t.c_iflag, ICRNL, "ICRNL"}, {t.c_iflag, INLCR, "INLCR"},
                     {t.c_iflag, IGNCR, "IGNCR"},   {t.c_iflag, ISTRIP, "ISTRIP"}, {t.c_iflag, PARMRK, "PARMRK"},
                     {t.c_oflag, OPOST, "OPOST"}};
  for (const auto& f : rawBreakers)
    if (f.set & f.flag) flags += (flags.empty() ? "" : ", ") + std::string(f.name) + " on";
  line.raw = flags.empty();
  if (notRaw) *notRaw = flags;
  return line;
}

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
  // Only XON/XOFF starts off, as on a serial port fresh from its driver
  // (LeaveFlowControl sets it as another program may have left it).
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

bool PtyLine::LeaveFlowControl(const TerminalFlow& flow, std::string* why) {
  termios tio{};
  if (tcgetattr(master_, &tio) == 0) {
    if (flow.ixon) tio.c_iflag |= IXON;
    if (flow.ixoff) tio.c_iflag |= IXOFF;
    if (flow.crtscts) tio.c_cflag |= CRTSCTS;
    if (tcsetattr(master_, TCSANOW, &tio) == 0) return true;
  }
  *why = std::string("cannot set the terminal's flow control: ") + std::strerror(errno);
  return false;
}

HostLine PtyLine::ReadHostLine(std::string* notRaw) const {
  if (cached_) {
    if (notRaw) *notRaw = cached_->notRaw;
    return cached_->line;
  }
  Cached read;
  read.line = ReadHostLineNow(&read.notRaw);
  cached_ = read;
  if (notRaw) *notRaw = read.notRaw;
  return read.line;
}

HostLine PtyLine::ReadHostLineNow(std::string* notRaw) const {
  termios tio{};
  if (tcgetattr(master_, &tio) != 0) {
    // Settings nobody can read are settings the boot program cannot measure.
    HostLine unreadable;
    unreadable.bitRate = 0;
    unreadable.raw = false;
    if (notRaw) *notRaw = std::string("settings unreadable: ") + std::strerror(errno);
    return unreadable;
  }
  HostLine line = HostLineFromTermios(tio, notRaw);
  // A rate without a B-constant (set as BOTHER) reads as the rate itself.
  long output = 0, input = 0;
  if (ReadTerminalRates(master_, &output, &input) && output > 0) {
    line.bitRate = output;
    line.receiveRate = input > 0 && input != output ? input : 0;
  }
  return line;
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

void PtyLine::HangUp() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}
