#include "fast_file.h"

#include <algorithm>
#include <map>

FastFile FastFileOf(const ProgramImage& image) {
  std::map<std::uint32_t, std::uint8_t> placed;
  for (const FlashPiece& piece : image)
    for (std::size_t i = 0; i < piece.bytes.size(); ++i) placed.emplace(piece.address + i, piece.bytes[i]);
  FastFile file;
  for (const auto& [address, byte] : placed) {
    if (file.ranges.empty() || file.ranges.back().address + file.ranges.back().bytes.size() != address)
      file.ranges.push_back(FlashRange{address, {}});
    file.ranges.back().bytes.push_back(byte);
  }
  file.dataBytes = placed.size();
  return file;
}

std::vector<FlashBlock> CutIntoBlocks(const std::vector<FlashRange>& ranges, std::size_t maxBlock) {
  std::vector<FlashBlock> blocks;
  for (const FlashRange& range : ranges) {
    for (std::size_t at = 0; at < range.bytes.size(); at += maxBlock) {
      const std::size_t size = std::min(maxBlock, range.bytes.size() - at);
      blocks.push_back(FlashBlock{range.address + static_cast<std::uint32_t>(at), range.bytes.data() + at, size});
    }
  }
  return blocks;
}
