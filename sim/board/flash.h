// The H8/3048F's 128 KB of on-chip flash memory with its control
// registers FLMCR, EBR1 and EBR2, as far as byte programming needs them.
//
// Programming a byte on the chip: set VPPE, select the byte's block in
// EBR1 or EBR2, write the byte to its address (the write only latches it),
// give a program pulse with P, then read the cell back in program-verify
// mode (PV). A pulse can only turn 1 bits into 0 bits; only an erase, which
// this model does from the board side (EraseAll), brings them back to 1.
// Writes to the array without VPPE, or outside the selected blocks, change
// nothing and are counted.
#ifndef KORVEL_SIM_FLASH_H
#define KORVEL_SIM_FLASH_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

class FlashMemory {
 public:
  static constexpr std::uint32_t kSize = 0x20000;

  // FLMCR bits.
  static constexpr std::uint8_t kVpp = 0x80;   // read-only: 12 V on FVPP (always, in boot mode)
  static constexpr std::uint8_t kVppe = 0x40;
  static constexpr std::uint8_t kEv = 0x08;
  static constexpr std::uint8_t kPv = 0x04;
  static constexpr std::uint8_t kE = 0x02;
  static constexpr std::uint8_t kP = 0x01;

  // The erase block of an offset: which register selects it and its bit.
  // Large blocks LB0-LB7 in EBR1 (16 KB each, LB7 12 KB), small blocks
  // SB0-SB7 of 512 bytes from H'1F000 in EBR2.
  struct Block {
    int ebr;            // 1 or 2
    std::uint8_t mask;  // the block's bit in that register
  };
  static Block BlockOf(std::uint32_t offset);

  struct Stats {
    std::uint64_t latchedWrites = 0;   // writes that latched a byte
    std::uint64_t ignoredWrites = 0;   // writes without VPPE or outside the selected blocks
    std::uint64_t pulses = 0;          // program pulses given (P set while VPPE on)
    std::uint64_t bytesProgrammed = 0; // latched bytes that received at least one pulse
  };

  FlashMemory();  // erased: every cell H'FF

  // --- the array, offsets 0 .. kSize-1 ---
  std::uint8_t Read(std::uint32_t offset) const { return cells_[offset % kSize]; }
  void Write(std::uint32_t offset, std::uint8_t value);

  // --- the registers ---
  std::uint8_t ReadFlmcr() const { return static_cast<std::uint8_t>(flmcr_ | kVpp); }
  void WriteFlmcr(std::uint8_t value);
  std::uint8_t ReadEbr(int ebr) const { return ebr == 1 ? ebr1_ : ebr2_; }
  void WriteEbr(int ebr, std::uint8_t value);
  // The byte the last write latched, while VPPE holds it.
  std::optional<std::uint32_t> LatchedOffset() const {
    return latchValid_ ? std::optional<std::uint32_t>(latchOffset_) : std::nullopt;
  }
  std::uint8_t LatchedValue() const { return latchValue_; }

  // --- the board's side ---
  void EraseAll();
  // Sets cells directly, as an earlier programming run would have left them.
  void Load(std::uint32_t offset, const std::uint8_t* data, std::size_t size);
  // This cell's bit never programs: it stays 1 whatever is pulsed.
  void SetStuckBit(std::uint32_t offset, int bit);
  // This cell holds what it was programmed to through program-verify, then
  // loses it: once program-verify ends, it reads back with mask flipped.
  void SetWeakByte(std::uint32_t offset, std::uint8_t mask);

  // Plain memory, kSize bytes: reading the array has no side effect.
  std::uint8_t* Cells() { return cells_.data(); }
  const std::uint8_t* Cells() const { return cells_.data(); }
  // Cells that received a program pulse since the last erase.
  bool Pulsed(std::uint32_t offset) const { return pulsed_[offset % kSize]; }
  const Stats& GetStats() const { return stats_; }

 private:
  bool Selected(std::uint32_t offset) const;
  void Pulse();

  std::vector<std::uint8_t> cells_;
  std::vector<std::uint8_t> stuck_;  // per cell: bits that stay 1
  std::map<std::uint32_t, std::uint8_t> weak_;  // cells that flip these bits after program-verify
  std::vector<bool> pulsed_;
  std::uint8_t flmcr_ = 0;
  std::uint8_t ebr1_ = 0;
  std::uint8_t ebr2_ = 0;
  bool latchValid_ = false;
  bool latchPulsed_ = false;
  std::uint32_t latchOffset_ = 0;
  std::uint8_t latchValue_ = 0xFF;
  Stats stats_;
};

#endif
