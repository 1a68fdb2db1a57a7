// The checked program (program_file.h) as the fast mode sends it: its
// bytes gathered into ranges of consecutive addresses and cut into blocks
// for the chip.
#ifndef KORVEL_FAST_FAST_FILE_H
#define KORVEL_FAST_FAST_FILE_H

#include <cstdint>
#include <vector>

#include "program_image.h"

struct FlashRange {
  std::uint32_t address;
  std::vector<std::uint8_t> bytes;
};

struct FlashBlock {
  std::uint32_t address;
  const std::uint8_t* bytes;
  std::size_t size;
};

struct FastFile {
  std::vector<FlashRange> ranges;  // by address, none touching another: read back whole
  std::size_t dataBytes = 0;
  // The ranges without their runs of H'FF: what is sent and programmed.
  std::vector<FlashRange> sent;
  std::size_t sentBytes = 0;
};

// The image's bytes in ranges; a byte given twice (with the same value, in
// a checked program) is sent once. Runs of at least minErasedRun H'FF
// bytes are left out of `sent`: the boot program erased the whole flash
// before it started the loaded program, so they read H'FF already.
FastFile FastFileOf(const ProgramImage& image, std::size_t minErasedRun);

// The ranges cut into blocks of at most maxBlock bytes, in address order.
std::vector<FlashBlock> CutIntoBlocks(const std::vector<FlashRange>& ranges, std::size_t maxBlock);

#endif
