#include "terminal_rates.h"

#ifdef __linux__
#include <asm/termbits.h>
#include <sys/ioctl.h>

bool ReadTerminalRates(int fd, long* output, long* input) {
  termios2 tio{};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  *output = static_cast<long>(tio.c_ospeed);
  *input = static_cast<long>(tio.c_ispeed);
  return true;
}
#else
bool ReadTerminalRates(int, long*, long*) { return false; }
#endif
