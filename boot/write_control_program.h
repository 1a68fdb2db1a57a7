// The write-control program: H8/300H machine code that runs in the chip's
// on-chip RAM at H'FF300, takes S-records from the serial line and programs
// their data bytes into flash. The host sends it unchanged.
#ifndef KORVEL_BOOT_WRITE_CONTROL_PROGRAM_H
#define KORVEL_BOOT_WRITE_CONTROL_PROGRAM_H

#include <cstddef>

extern const unsigned char kWriteControlProgram[];
extern const std::size_t kWriteControlProgramSize;

// Where the boot program places the image and starts it.
constexpr unsigned long kWriteControlProgramAddress = 0xFF300;

#endif
