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
  std::vector<FlashRange> ranges;  // by address, none touching another
  std::size_t dataBytes = 0;
};

// The image's bytes in ranges; a byte given twice (with the same value, in
// a checked program) is sent once.
FastFile FastFileOf(const ProgramImage& image);

// The ranges cut into blocks of at most maxBlock bytes, in address order.
std::vector<FlashBlock> CutIntoBlocks(const std::vector<FlashRange>& ranges, std::size_t maxBlock);

#endif
