#include "linux_any_rate.h"

#ifdef __linux__
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdlib>

namespace serial_platform {

bool SetLinuxBitRate(int fd, long bitRate) {
  termios2 tio{};
  if (bitRate <= 0 || ioctl(fd, TCGETS2, &tio) != 0) return false;
  // The input rate follows the output rate (CIBAUD 0): a later tcsetattr
  // with a standard constant then sets both again.
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | CIBAUD);
  tio.c_cflag |= BOTHER;
  tio.c_ispeed = tio.c_ospeed = static_cast<speed_t>(bitRate);
  if (ioctl(fd, TCSETS2, &tio) != 0 || ioctl(fd, TCGETS2, &tio) != 0) return false;
  return std::labs(static_cast<long>(tio.c_ospeed) - bitRate) * 100 <= bitRate;
}

}  // namespace serial_platform

#else

namespace serial_platform {
bool SetLinuxBitRate(int, long) { return false; }
}  // namespace serial_platform

#endif
