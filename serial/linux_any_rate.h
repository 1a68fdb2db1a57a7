// Bit rates on a Linux terminal device through termios2, which carries any
// rate (BOTHER) besides the standard B-constants. Kept apart from
// serial_posix.cpp: <asm/termbits.h> and <termios.h> cannot share a file.
#ifndef KORVEL_SERIAL_LINUX_ANY_RATE_H
#define KORVEL_SERIAL_LINUX_ANY_RATE_H

namespace serial_platform {

// Runs both directions of fd at bitRate, as BOTHER with the rate itself.
// False when the system or the driver refuses it, or when the rate the
// driver then reports is more than 1% from bitRate (one that rounds to what
// its divider can make says so there). Off Linux always false.
bool SetLinuxBitRate(int fd, long bitRate);

}  // namespace serial_platform

#endif
