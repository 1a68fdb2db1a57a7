// POSIX backend (Linux, and anything with termios): one terminal device per
// port, opened non-blocking and configured as a raw 8-bit line.
#include "serial_platform.h"

#include "linux_any_rate.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace serial_platform {
namespace {

// A write that finds the output queue full waits this long for room, like
// the 100 ms + 100 ms per byte write time-out of the Windows backend.
constexpr int kWriteTimeoutMs = 200;

// Close waits this long, plus 2 ms per byte still queued, for output to
// drain; never longer than the maximum.
constexpr int kDrainMinimumMs = 50;
constexpr int kDrainMaximumMs = 500;
constexpr int kDrainPollMs = 2;

std::string Reason(int err) {
  std::string text = std::strerror(err);
  if (err == EACCES || err == EPERM) text += " (is your user in the dialout group?)";
  if (err == EBUSY) text += " (the port is in use by another program)";
  return text;
}

bool SpeedFor(long bitRate, speed_t* speed) {
  switch (bitRate) {
    case 300: *speed = B300; return true;
    case 600: *speed = B600; return true;
    case 1200: *speed = B1200; return true;
    case 2400: *speed = B2400; return true;
    case 4800: *speed = B4800; return true;
    case 9600: *speed = B9600; return true;
    case 19200: *speed = B19200; return true;
    case 38400: *speed = B38400; return true;
    case 57600: *speed = B57600; return true;
    case 115200: *speed = B115200; return true;
#ifdef B230400
    case 230400: *speed = B230400; return true;
#endif
#ifdef B460800
    case 460800: *speed = B460800; return true;
    case 500000: *speed = B500000; return true;
    case 576000: *speed = B576000; return true;
    case 921600: *speed = B921600; return true;
    case 1000000: *speed = B1000000; return true;
#endif
    default: return false;  // 76800 has no termios constant
  }
}

// Raw mode: no echo, no canonical input, no CR/LF translation, no signal
// characters; the receiver on and modem status ignored. No flow control,
// whatever the last program left on the line: XON/XOFF would swallow those
// bytes of the write-control program, and RTS/CTS would hold every byte
// back on a three-wire cable. Bit rate, character size, parity and stop
// bits from the settings; the rest of the device's configuration stays.
bool Configure(int fd, const LineSettings& settings, std::string* why) {
  speed_t speed;
  if (!SpeedFor(settings.bitRate, &speed)) {
    *why = "line settings: " + std::to_string(settings.bitRate) + " bit/s is not supported here";
    return false;
  }
  if (settings.stopBits == StopBits::OneAndHalf) {
    *why = "line settings: 1.5 stop bits are not supported here";
    return false;
  }
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    *why = std::string("line settings: ") + std::strerror(errno);
    return false;
  }
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                        IXANY | INPCK);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= (settings.dataBits == 7 ? CS7 : CS8) | CLOCAL | CREAD;
  if (settings.parity != Parity::None) tio.c_cflag |= PARENB;
  if (settings.parity == Parity::Odd) tio.c_cflag |= PARODD;
  if (settings.stopBits == StopBits::Two) tio.c_cflag |= CSTOPB;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0 || tcsetattr(fd, TCSANOW, &tio) != 0) {
    *why = std::string("line settings: ") + std::strerror(errno);
    return false;
  }
  return true;
}

#ifdef __linux__
// The serial flags of each port whose latency we lowered, to put back on close.
std::map<int, int> g_flagsBeforeOpen;

// USB serial adapters hold received bytes back until their latency timer
// runs out (16 ms on an FTDI chip) or a USB packet is full; every echo of
// the boot load would wait that long. With ASYNC_LOW_LATENCY the driver
// sets the timer to 1 ms (ftdi_sio) or hands bytes on at once (8250).
// A pseudo-terminal or a driver without serial flags is left as it is.
void LowerLatency(int fd) {
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY) != 0) return;
  const int before = serial.flags;
  serial.flags |= ASYNC_LOW_LATENCY;
  if (ioctl(fd, TIOCSSERIAL, &serial) == 0) g_flagsBeforeOpen[fd] = before;
}

void RestoreLatency(int fd) {
  const auto saved = g_flagsBeforeOpen.find(fd);
  if (saved == g_flagsBeforeOpen.end()) return;
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
    serial.flags = saved->second;
    ioctl(fd, TIOCSSERIAL, &serial);
  }
  g_flagsBeforeOpen.erase(saved);
}
#else
void LowerLatency(int) {}
void RestoreLatency(int) {}
#endif

}  // namespace

std::string DefaultDeviceName(int port) { return "/dev/ttyS" + std::to_string(port); }

bool Open(const std::string& device, const LineSettings& settings, Handle* handle, std::string* why) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *why = "cannot open " + device + ": " + Reason(errno);
    return false;
  }
  auto fail = [&](const std::string& reason) {
    ::close(fd);
    *why = "cannot open " + device + ": " + reason;
    return false;
  };
  if (!isatty(fd)) return fail("not a serial port (" + std::string(std::strerror(ENOTTY)) + ")");
  // Nobody else may use the line while we do: TIOCEXCL refuses further
  // opens of the device, flock() tells other programs that take the same
  // lock (and holds against root, whom TIOCEXCL does not stop).
  if (ioctl(fd, TIOCEXCL) != 0) return fail("exclusive lock: " + Reason(errno));
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    return fail(errno == EWOULDBLOCK ? std::string("the port is in use by another program")
                                     : "exclusive lock: " + Reason(errno));
  }
  std::string config_why;
  if (!Configure(fd, settings, &config_why)) return fail(config_why);
  LowerLatency(fd);
  tcflush(fd, TCIOFLUSH);
  *handle = fd;
  return true;
}

// A standard rate through its constant; any other on Linux through
// termios2. What a system cannot set is refused, and the rate is then
// skipped: qemu's user emulation has no termios2 and turns the constants
// above B460800 into B0, which the settings read back show.
bool SetBitRate(Handle handle, long bitRate) {
  const int fd = static_cast<int>(handle);
  speed_t speed = 0;
  if (tcdrain(fd) != 0) return false;
  if (!SpeedFor(bitRate, &speed)) return SetLinuxBitRate(fd, bitRate);
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return false;
#ifdef CIBAUD
  tio.c_cflag &= ~static_cast<tcflag_t>(CIBAUD);  // the input rate follows the output rate
#endif
  if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0 || tcsetattr(fd, TCSANOW, &tio) != 0 ||
      tcgetattr(fd, &tio) != 0)
    return false;
  return cfgetospeed(&tio) == speed;
}

bool Close(Handle handle) {
  const int fd = static_cast<int>(handle);
  // The last bytes written may still be queued: give them the time they
  // need on the wire (about 1 ms a byte at 9600 bit/s, with room to spare).
  // Only what is still queued after that is dropped, so that close() cannot
  // sit in the driver's closing wait on a line that no longer drains; an
  // unconditional flush would throw away bytes on their way out.
  int queued = 0;
  for (int waitedMs = 0; ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0; waitedMs += kDrainPollMs) {
    if (waitedMs >= kDrainMinimumMs + 2 * queued || waitedMs >= kDrainMaximumMs) {
      tcflush(fd, TCOFLUSH);
      break;
    }
    SleepMs(kDrainPollMs);
  }
  RestoreLatency(fd);
  ioctl(fd, TIOCNXCL);
  return ::close(fd) == 0;
}

int RxCount(Handle handle) {
  int count = 0;
  if (ioctl(static_cast<int>(handle), FIONREAD, &count) != 0) return -1;
  return count;
}

int ReadByte(Handle handle, unsigned char* byte) {
  const ssize_t n = ::read(static_cast<int>(handle), byte, 1);
  if (n == 1) return 1;
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
  return n == 0 ? 0 : -1;
}

bool WriteByte(Handle handle, unsigned char byte) {
  const int fd = static_cast<int>(handle);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const ssize_t n = ::write(fd, &byte, 1);
    if (n == 1) return true;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    pollfd pfd{fd, POLLOUT, 0};
    if (poll(&pfd, 1, kWriteTimeoutMs) <= 0) return false;
  }
  return false;
}

bool WriteBytes(Handle handle, const unsigned char* bytes, std::size_t size) {
  const int fd = static_cast<int>(handle);
  // Each wait that brings no room at all ends it; a queue that drains,
  // however slowly, is written on.
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n > 0) {
      bytes += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    pollfd pfd{fd, POLLOUT, 0};
    if (poll(&pfd, 1, kWriteTimeoutMs) <= 0) return false;
  }
  return true;
}

bool SetControlLine(Handle handle, ControlLine line, bool on) {
  int bits = line == ControlLine::Rts ? TIOCM_RTS : TIOCM_DTR;
  return ioctl(static_cast<int>(handle), on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

void SleepMs(unsigned int ms) {
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

bool LineClosed(Handle handle) {
  pollfd pfd{static_cast<int>(handle), 0, 0};  // a hang-up or an error is reported whatever is asked
  return poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool WaitForRx(Handle handle, unsigned int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    // poll() counts whole milliseconds: round up, so it never wakes early.
    // It returns at once when a byte is already waiting.
    const auto left = deadline - std::chrono::steady_clock::now();
    const auto leftMs = std::max<std::int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count());
    pollfd pfd{static_cast<int>(handle), POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(leftMs)) > 0) {
      // Woken by a hang-up or an error there is no byte to count.
      if (RxCount(handle) > 0) return true;
      if (leftMs == 0) return false;
      SleepMs(1);  // do not spin on a line in error
      continue;
    }
    if (leftMs == 0) return false;
  }
}

}  // namespace serial_platform
