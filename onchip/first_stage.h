// korvel's first stage: H8/300H machine code assembled from first_stage.s
// (which describes its line protocol; fast_protocol.h names it), loaded by
// the chip's boot program at H'FF300 in place of the write-control program.
// It takes the fast-mode program at the host's rate and starts it.
#ifndef KORVEL_ONCHIP_FIRST_STAGE_H
#define KORVEL_ONCHIP_FIRST_STAGE_H

#include <cstddef>

extern const unsigned char kFirstStage[];
extern const std::size_t kFirstStageSize;

#endif
