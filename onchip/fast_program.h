// korvel's fast-mode program: H8/300H machine code assembled from
// fast_program.s (which describes its line protocol; fast_protocol.h names
// it), loaded by the first stage (first_stage.h) at H'FFF384 and started
// there.
#ifndef KORVEL_ONCHIP_FAST_PROGRAM_H
#define KORVEL_ONCHIP_FAST_PROGRAM_H

#include <cstddef>

extern const unsigned char kFastProgram[];
extern const std::size_t kFastProgramSize;

#endif
