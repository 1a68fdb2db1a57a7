#include "flash.h"

namespace {
constexpr std::uint32_t kSmallBlocksStart = 0x1F000;
}

FlashMemory::Block FlashMemory::BlockOf(std::uint32_t offset) {
  offset %= kSize;
  if (offset >= kSmallBlocksStart) return {2, static_cast<std::uint8_t>(1u << ((offset - kSmallBlocksStart) >> 9))};
  return {1, static_cast<std::uint8_t>(1u << (offset >> 14))};
}

FlashMemory::FlashMemory() : cells_(kSize, 0xFF), stuck_(kSize, 0), pulsed_(kSize, false) {}

bool FlashMemory::Selected(std::uint32_t offset) const {
  const Block block = BlockOf(offset);
  return (ReadEbr(block.ebr) & block.mask) != 0;
}

void FlashMemory::Write(std::uint32_t offset, std::uint8_t value) {
  offset %= kSize;
  if (!(flmcr_ & kVppe) || !Selected(offset)) {
    ++stats_.ignoredWrites;
    return;
  }
  ++stats_.latchedWrites;
  latchValid_ = true;
  latchPulsed_ = false;
  latchOffset_ = offset;
  latchValue_ = value;
}

void FlashMemory::WriteFlmcr(std::uint8_t value) {
  value &= static_cast<std::uint8_t>(~kVpp);
  const bool pulseStarts = (value & kVppe) && (value & kP) && !(flmcr_ & kP);
  if ((flmcr_ & kPv) && !(value & kPv) && latchValid_ && latchPulsed_) {
    const auto weak = weak_.find(latchOffset_);
    if (weak != weak_.end()) {
      cells_[latchOffset_] ^= weak->second;
      weak_.erase(weak);  // it flips once
    }
  }
  flmcr_ = value;
  if (!(flmcr_ & kVppe)) latchValid_ = false;  // leaving program mode drops the latch
  if (pulseStarts) Pulse();
}

void FlashMemory::WriteEbr(int ebr, std::uint8_t value) { (ebr == 1 ? ebr1_ : ebr2_) = value; }

void FlashMemory::Pulse() {
  ++stats_.pulses;
  if (!latchValid_ || !Selected(latchOffset_)) return;
  cells_[latchOffset_] &= static_cast<std::uint8_t>(latchValue_ | stuck_[latchOffset_]);
  pulsed_[latchOffset_] = true;
  if (!latchPulsed_) {
    latchPulsed_ = true;
    ++stats_.bytesProgrammed;
  }
}

void FlashMemory::EraseAll() {
  cells_.assign(kSize, 0xFF);
  pulsed_.assign(kSize, false);
}

void FlashMemory::Load(std::uint32_t offset, const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) cells_[(offset + i) % kSize] = data[i];
}

void FlashMemory::SetWeakByte(std::uint32_t offset, std::uint8_t mask) { weak_[offset % kSize] = mask; }

void FlashMemory::SetStuckBit(std::uint32_t offset, int bit) {
  stuck_[offset % kSize] |= static_cast<std::uint8_t>(1u << (bit & 7));
}
