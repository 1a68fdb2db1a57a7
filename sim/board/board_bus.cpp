#include "board_bus.h"

#include <cstdio>

namespace {
constexpr int kLogLimit = 20;  // messages about odd accesses, then silence

bool InSci1(std::uint32_t a) { return a >= BoardBus::kSci1 && a < BoardBus::kSci1 + Sci::kRegisterCount; }
bool InRam(std::uint32_t a) { return a >= BoardBus::kRamStart && a < BoardBus::kRamStart + BoardBus::kRamSize; }
}  // namespace

BoardBus::BoardBus(BoardWire& wire, std::function<BoardWire::Time()> chipNow)
    : wire_(wire), chipNow_(std::move(chipNow)), ram_(kRamSize, 0) {}

void BoardBus::Note(const char* what, std::uint32_t address) {
  if (!log_ || logged_ >= kLogLimit) return;
  char text[96];
  std::snprintf(text, sizeof text, "%s at H'%05X%s", what, static_cast<unsigned>(address),
                ++logged_ == kLogLimit ? " (no more of these are shown)" : "");
  log_(text);
}

std::uint8_t BoardBus::Read8(std::uint32_t address) {
  const std::uint32_t a = address & kAddressMask;
  if (a < FlashMemory::kSize) return flash_.Read(a);
  if (InRam(a)) return ram_[a - kRamStart];
  if (InSci1(a)) {
    ServiceSci();
    return sci_.Read(static_cast<int>(a - kSci1));
  }
  switch (a) {
    case kFlmcr: return flash_.ReadFlmcr();
    case kEbr1: return flash_.ReadEbr(1);
    case kEbr2: return flash_.ReadEbr(2);
    case kTcsr: return static_cast<std::uint8_t>(tcsr_ | 0x18);
    case kTcsr + 1: return tcnt_;
    case kRstcsr + 1: return static_cast<std::uint8_t>(rstcsr_ | 0x3F);
    default: break;
  }
  if (a >= kIoStart) {
    ++stats_.unknownIoAccesses;
    Note("read of an I/O register this board does not have", a);
    return 0x00;
  }
  ++stats_.unmappedAccesses;
  Note("read of unmapped memory", a);
  return 0xFF;
}

void BoardBus::Write8(std::uint32_t address, std::uint8_t value) {
  const std::uint32_t a = address & kAddressMask;
  if (a < FlashMemory::kSize) {
    flash_.Write(a, value);
    return;
  }
  if (InRam(a)) {
    ram_[a - kRamStart] = value;
    return;
  }
  if (InSci1(a)) {
    ServiceSci();
    sci_.Write(static_cast<int>(a - kSci1), value);
    ServiceSci();
    return;
  }
  switch (a) {
    case kFlmcr: {
      const bool pulseStarts = (value & FlashMemory::kVppe) && (value & FlashMemory::kP) &&
                               !(flash_.ReadFlmcr() & FlashMemory::kP);
      if (pulseStarts && !WatchdogRunning()) ++stats_.unguardedPulses;
      if (pulseStarts) pulseStart_ = ChipNow();
      if (pulseStart_ && !(value & FlashMemory::kP)) {
        stats_.lastPulse = ChipNow() - *pulseStart_;
        pulseStart_.reset();
      }
      flash_.WriteFlmcr(value);
      return;
    }
    case kEbr1: flash_.WriteEbr(1, value); return;
    case kEbr2: flash_.WriteEbr(2, value); return;
    case kTcsr:
    case kTcsr + 1:
    case kRstcsr:
    case kRstcsr + 1:
      // The watchdog's registers take only word writes with a password.
      ++stats_.refusedWatchdogWrites;
      Note("byte write to a watchdog register (refused)", a);
      return;
    default: break;
  }
  if (a >= kIoStart) {
    ++stats_.unknownIoAccesses;
    Note("write to an I/O register this board does not have", a);
    return;
  }
  ++stats_.unmappedAccesses;
  Note("write to unmapped memory", a);
}

std::uint16_t BoardBus::Read16(std::uint32_t address) {
  const std::uint16_t hi = Read8(address);
  return static_cast<std::uint16_t>(hi << 8 | Read8(address + 1));
}

void BoardBus::Write16(std::uint32_t address, std::uint16_t value) {
  const std::uint32_t a = address & kAddressMask;
  const std::uint8_t hi = static_cast<std::uint8_t>(value >> 8), lo = static_cast<std::uint8_t>(value);
  if (a == kTcsr || a == kRstcsr) {
    if (a == kTcsr && hi == 0xA5) {
      tcsr_ = static_cast<std::uint8_t>(lo & ~0x18);
    } else if (a == kTcsr && hi == 0x5A) {
      tcnt_ = lo;
    } else if (a == kRstcsr && hi == 0x5A) {
      rstcsr_ = static_cast<std::uint8_t>(lo & 0xC0);
    } else if (!(a == kRstcsr && hi == 0xA5)) {  // H'A5 to RSTCSR clears WRST: nothing to clear here
      ++stats_.refusedWatchdogWrites;
      Note("watchdog write with a wrong password (refused)", a);
    }
    return;
  }
  Write8(address, hi);
  Write8(address + 1, lo);
}

void BoardBus::ServiceSci() {
  const BoardWire::Time now = ChipNow();
  std::uint8_t byte;
  bool framingError = false;
  if (wire_.Paced()) {
    while (wire_.TakeArrived(now, &byte, &framingError))
      if (gaps_.PassReceived()) sci_.ByteArrived(byte, framingError);
  } else if (sci_.ReadyToReceive() && wire_.TakeArrived(now, &byte, &framingError) && gaps_.PassReceived()) {
    sci_.ByteArrived(byte, framingError);
  }
  if (sci_.TransmitPending()) {
    if (!transmitReadySince_) transmitReadySince_ = wire_.Paced() ? now : BoardWire::Time{};
    if (wire_.TransmitterFree(now)) {
      const BoardWire::Time since = *transmitReadySince_;
      transmitReadySince_.reset();
      const std::uint8_t out = sci_.StartTransmit();
      const std::vector<std::uint8_t> sent = transmitFilter_ ? transmitFilter_(out) : std::vector<std::uint8_t>{out};
      for (std::uint8_t b : sent) {
        unsigned lateMs;
        if (!gaps_.PassSent(&lateMs)) continue;
        wire_.Transmit(b, (wire_.Paced() ? since : now) + std::chrono::milliseconds(lateMs));
      }
    }
  } else if (wire_.TransmitterIdle(now)) {
    sci_.TransmitIdle();
  }
}

std::optional<BoardBus::Region> BoardBus::PlainRegion(std::uint32_t address) {
  const std::uint32_t a = address & kAddressMask;
  const std::uint32_t mirror = address & ~kAddressMask;
  if (a < FlashMemory::kSize) return Region{flash_.Cells(), mirror, FlashMemory::kSize, false};
  if (InRam(a)) return Region{ram_.data(), mirror | kRamStart, kRamSize, true};
  return std::nullopt;
}
