#include "fast_file.h"

#include <algorithm>
#include <map>

namespace {

std::vector<FlashRange> WithoutErasedRuns(const std::vector<FlashRange>& ranges, std::size_t minRun) {
  std::vector<FlashRange> kept;
  for (const FlashRange& range : ranges) {
    const std::vector<std::uint8_t>& bytes = range.bytes;
    const auto keep = [&](std::size_t from, std::size_t to) {
      if (to > from)
        kept.push_back(FlashRange{range.address + static_cast<std::uint32_t>(from),
                                  std::vector<std::uint8_t>(bytes.begin() + from, bytes.begin() + to)});
    };
    std::size_t from = 0;  // the first byte not yet kept or left out
    for (std::size_t at = 0; at < bytes.size();) {
      std::size_t end = at;
      while (end < bytes.size() && bytes[end] == 0xFF) ++end;
      if (end - at >= minRun) {
        keep(from, at);
        from = end;
      }
      at = end > at ? end : at + 1;
    }
    keep(from, bytes.size());
  }
  return kept;
}

}  // namespace

FastFile FastFileOf(const ProgramImage& image, std::size_t minErasedRun) {
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
  file.sent = WithoutErasedRuns(file.ranges, minErasedRun);
  for (const FlashRange& range : file.sent) file.sentBytes += range.bytes.size();
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
