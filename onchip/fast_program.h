// korvel's fast-mode program: H8/300H machine code assembled from
// fast_program.s (which describes its line protocol; fast_protocol.h names
// it), loaded by the chip's boot program at H'FF300 in place of the
// write-control program.
#ifndef KORVEL_ONCHIP_FAST_PROGRAM_H
#define KORVEL_ONCHIP_FAST_PROGRAM_H

#include <cstddef>

extern const unsigned char kFastProgram[];
extern const std::size_t kFastProgramSize;

#endif
