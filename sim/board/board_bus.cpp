#include "board_bus.h"

#include <chrono>
#include <cstdio>

namespace {
constexpr int kLogLimit = 20;  // messages about odd accesses, then silence

bool InSci1(std::uint32_t a) { return a >= BoardBus::kSci1 && a < BoardBus::kSci1 + Sci::kRegisterCount; }
bool InRam(std::uint32_t a) { return a >= BoardBus::kRamStart && a < BoardBus::kRamStart + BoardBus::kRamSize; }
}  // namespace

BoardBus::BoardBus(BoardWire& wire, std::function<BoardWire::Time()> chipNow, double clockHz)
    : wire_(wire), chipNow_(std::move(chipNow)), ram_(kRamSize, 0), nsPerState_(1e9 / clockHz) {}

void BoardBus::Note(const char* what, std::uint32_t address) {
  if (!log_ || logged_ >= kLogLimit) return;
  char text[96];
  std::snprintf(text, sizeof text, "%s at H'%05X%s", what, static_cast<unsigned>(address),
                ++logged_ == kLogLimit ? " (no more of these are shown)" : "");
  log_(text);
}

std::uint8_t BoardBus::Read8(std::uint32_t address) {
  const std::uint32_t a = address & kAddressMask;
  if (a < FlashMemory::kSize) {
    if (flash_.ReadFlmcr() & FlashMemory::kVppe)
      envelope_.VerifyRead(a, ChipNow(), flash_.Read(a) == flash_.LatchedValue());
    return flash_.Read(a);
  }
  if (InRam(a)) return ram_[a - kRamStart];
  if (InSci1(a)) {
    ServiceSci();
    return sci_.Read(static_cast<int>(a - kSci1));
  }
  switch (a) {
    case kFlmcr: return flash_.ReadFlmcr();
    case kEbr1: return flash_.ReadEbr(1);
    case kEbr2: return flash_.ReadEbr(2);
    case kTcsr:
      WatchdogCount();
      ovfReadAsOne_ = (tcsr_ & kOvf) != 0;
      return static_cast<std::uint8_t>(tcsr_ | 0x18);
    case kTcsr + 1: return WatchdogCount();
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
      const std::uint8_t before = flash_.ReadFlmcr() & static_cast<std::uint8_t>(~FlashMemory::kVpp);
      envelope_.Flmcr(before, value, ChipNow(), flash_.LatchedOffset());
      flash_.WriteFlmcr(value);
      if (((before ^ value) & FlashMemory::kVppe) && flashModeChanged_) flashModeChanged_();
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
      WatchdogCount();
      // OVF is cleared by writing 0 after reading it as 1; a 1 written leaves it.
      const bool clearOvf = ovfReadAsOne_ && !(lo & kOvf);
      const std::uint8_t ovf = clearOvf ? 0 : tcsr_ & kOvf;
      if (clearOvf) ovfReadAsOne_ = false;
      tcsr_ = static_cast<std::uint8_t>((lo & ~(0x18 | kOvf)) | ovf);
      if (!(tcsr_ & kTme)) tcnt_ = 0;  // TME clear: TCNT is H'00 and stops
    } else if (a == kTcsr && hi == 0x5A) {
      WatchdogCount();
      tcnt_ = lo;
    } else if (a == kRstcsr && hi == 0x5A) {
      rstcsr_ = static_cast<std::uint8_t>((rstcsr_ & 0x80) | (lo & 0x40));  // RSTOE only: WRST is the chip's
    } else if (a == kRstcsr && hi == 0xA5) {
      if (lo == 0x00) rstcsr_ &= 0x7F;  // H'A500 clears WRST
    } else {
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

// The on-chip supporting modules' registers take 3 states a bus cycle
// against on-chip memory's 2, a byte a cycle on an 8-bit bus, a word on a
// 16-bit one. The H8/3048's own table of bus widths and access states
// (its bus controller section and the register list of its appendix) was
// not reached through the search tools; the 3 states are the H8/300
// family's for its on-chip register field (3 a byte, 6 a word), and the
// watchdog's registers, which take only word writes, are taken as on the
// 16-bit bus, all others (SCI1, the flash's, the rest) on the 8-bit one.
unsigned BoardBus::ExtraStates(std::uint32_t address, unsigned bytes) {
  const std::uint32_t a = address & kAddressMask;
  if (a < kIoStart) return 0;
  const bool wideBus = a >= kTcsr && a < kRstcsr + 2;
  const unsigned cycles = wideBus ? (bytes + 1) / 2 : bytes;
  return 3 * cycles - (bytes == 4 ? 4 : 2);
}

std::optional<BoardBus::Region> BoardBus::PlainRegion(std::uint32_t address) {
  const std::uint32_t a = address & kAddressMask;
  const std::uint32_t mirror = address & ~kAddressMask;
  if (a < FlashMemory::kSize) {
    if (flash_.ReadFlmcr() & FlashMemory::kVppe) return std::nullopt;  // every read a verifying read
    return Region{flash_.Cells(), mirror, FlashMemory::kSize, false};
  }
  if (InRam(a)) return Region{ram_.data(), mirror | kRamStart, kRamSize, true};
  return std::nullopt;
}

// The watchdog timer of the H8/3048 hardware manual's section 12: TCNT
// counts up at φ divided as TCSR's CKS2-CKS0 select: φ/2, /32, /64, /128,
// /256, /512, /2048, /4096 (the table of TCSR's bits 2-0; the search tools
// reached this table in the Hitachi manual of the same watchdog on the
// H8/500 series and in the H8/3008's, not in the H8/3048's own). The
// prescaler's phase is taken as starting at each write, so an overflow
// comes (256 - TCNT) x division states after TCNT was written.
unsigned BoardBus::WatchdogDivision() const {
  static constexpr unsigned kDivision[8] = {2, 32, 64, 128, 256, 512, 2048, 4096};
  return kDivision[tcsr_ & 7];
}

std::uint8_t BoardBus::WatchdogCount() {
  const BoardWire::Time now = ChipNow();
  if (!(tcsr_ & kTme)) {
    tcntSince_ = now;
    return tcnt_;
  }
  const double nsPerCount = nsPerState_ * WatchdogDivision();
  auto counts = static_cast<std::uint64_t>(
      std::chrono::duration<double, std::nano>(now - tcntSince_).count() / nsPerCount);
  if (counts == 0) return tcnt_;
  // In interval mode an overflow sets OVF (the WOVI interrupt this board
  // does not model). In watchdog mode the board resets the chip at the
  // first instruction boundary from WatchdogResetAt() on; an access inside
  // the instruction that overflows sees H'FF.
  if (tcnt_ + counts > 0xFF) {
    if (tcsr_ & kWtIt) counts = 0xFF - tcnt_;
    else tcsr_ |= kOvf;
  }
  tcnt_ = static_cast<std::uint8_t>(tcnt_ + counts);
  tcntSince_ += std::chrono::duration_cast<BoardWire::Clock::duration>(
      std::chrono::duration<double, std::nano>(static_cast<double>(counts) * nsPerCount));
  return tcnt_;
}

std::optional<BoardWire::Time> BoardBus::WatchdogResetAt() const {
  if ((tcsr_ & (kTme | kWtIt)) != (kTme | kWtIt)) return std::nullopt;
  const double ns = nsPerState_ * WatchdogDivision() * (0x100 - tcnt_);
  return tcntSince_ + std::chrono::duration_cast<BoardWire::Clock::duration>(std::chrono::duration<double, std::nano>(ns));
}

void BoardBus::WatchdogReset() {
  ++stats_.watchdogResets;
  tcsr_ = 0x00;
  tcnt_ = 0x00;
  rstcsr_ = static_cast<std::uint8_t>(0x80 | (rstcsr_ & 0x40));  // WRST: the reset came from the watchdog
  ServiceSci();
  sci_.Write(Sci::kScr, 0x00);
  sci_.Write(Sci::kSmr, 0x00);
  sci_.Write(Sci::kBrr, 0xFF);
  Write8(kFlmcr, 0x00);
}
