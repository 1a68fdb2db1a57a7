// Bit rates on a Linux terminal device through termios2, which carries any
// rate (BOTHER) besides the standard B-constants. Kept apart from
// serial_posix.cpp: <asm/termbits.h> and <termios.h> cannot share a file.
#ifndef KORVEL_SERIAL_LINUX_ANY_RATE_H
#define KORVEL_SERIAL_LINUX_ANY_RATE_H

namespace serial_platform {

// Runs both directions of fd at bitRate: by its standard constant when
// standardCode is not 0 (a speed_t such as B9600), else as BOTHER with the
// rate itself. False when the driver refuses it, or when the rate it then
// reports is more than 1% from bitRate (a driver that rounds to what its
// divider can make says so there). Off Linux always false.
bool SetLinuxBitRate(int fd, long bitRate, unsigned standardCode);

}  // namespace serial_platform

#endif
