// A pseudo-terminal for the tests of the real serial backends.
#ifndef KORVEL_TESTS_PTY_H
#define KORVEL_TESTS_PTY_H

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <string>

// A new pty: korvel opens its slave; the test holds the slave open too (raw,
// so nothing is echoed) and reads and writes the master.
struct Pty {
  Pty() : master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK)) {
    grantpt(master);
    unlockpt(master);
    path = ptsname(master);
    keeper = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    cfmakeraw(&raw);
    tcsetattr(keeper, TCSANOW, &raw);
  }
  ~Pty() { close(keeper), close(master); }
  // One step of the contract's far end (serial_contract.h): waits up to 2 s
  // for H'55 (then answers) or 'V' (then goes); false once it has gone.
  bool ServeContract() {
    const std::size_t start = got.size();
    pollfd ready{master, POLLIN, 0};
    while ((got.size() == start || (got.back() != '\x55' && got.back() != 'V')) && poll(&ready, 1, 2000) > 0) got += Read();
    if (got == std::string("\0\x55", 2)) write(master, "\0\xAA", 2);
    if (got.empty() || got.back() != 'V') return true;
    close(master), master = -1;
    return false;
  }
  std::string Read() {
    char buffer[256];
    const ssize_t n = read(master, buffer, sizeof buffer);
    return std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
  }
  int master, keeper = -1;
  std::string path, got;
};

#endif
