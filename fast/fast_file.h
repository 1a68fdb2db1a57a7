// A program file as the fast mode sends it: the bytes of its S1/S2/S3
// records, gathered into ranges of consecutive addresses and cut into
// blocks for the chip.
#ifndef KORVEL_FAST_FAST_FILE_H
#define KORVEL_FAST_FAST_FILE_H

#include <cstdint>
#include <string>
#include <vector>

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
  bool ok = false;
  // When not ok, the console line that says why (without line end):
  // "File not Found...[name]", "Record error line N: reason", "No data
  // records in file...[name]" or "Record error line N: overlaps line M with
  // other bytes".
  std::string problem;
  std::vector<FlashRange> ranges;  // by address, none touching another
  std::size_t dataBytes = 0;
};

// Reads and checks the file with the record reader and check of the
// specified run. Records that give one address the same byte twice are
// taken; different bytes refuse the file.
FastFile ReadFastFile(const char* fileName);

// The ranges cut into blocks of at most maxBlock bytes, in address order.
std::vector<FlashBlock> CutIntoBlocks(const std::vector<FlashRange>& ranges, std::size_t maxBlock);

#endif
