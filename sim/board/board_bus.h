// The address space of the virtual H8/3048F as its CPU sees it in the
// boot mode's single-chip operating mode: 1 MB, decoded on the low 20 bits
// of the 24-bit address (so H'FFFFBC and H'0FFFBC are the same register).
//
//   H'00000-H'1FFFF  flash memory (FlashMemory)
//   H'FEF10-H'FFF0F  on-chip RAM, 4 KB
//   H'FFF40          FLMCR        H'FFF42/43  EBR1, EBR2
//   H'FFFA8          WDT TCSR/TCNT (written only as 16-bit words with the
//                    H'A5 / H'5A password in the upper byte); TCNT counts
//                    at the clock TCSR selects (see WatchdogResetAt)
//   H'FFFB8-H'FFFBD  SCI1 SMR, BRR, SCR, TDR, SSR, RDR
//
// Other I/O registers read 0 and ignore writes; addresses outside all of
// these read H'FF. Both are counted, and reported through the log hook.
#ifndef KORVEL_SIM_BOARD_BUS_H
#define KORVEL_SIM_BOARD_BUS_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "board_wire.h"
#include "flash.h"
#include "flash_envelope.h"
#include "line_gaps.h"
#include "sci.h"

class BoardBus {
 public:
  static constexpr std::uint32_t kAddressMask = 0xFFFFF;
  static constexpr std::uint32_t kRamStart = 0xFEF10;
  static constexpr std::uint32_t kRamSize = 0x1000;
  static constexpr std::uint32_t kIoStart = 0xFFF1C;
  static constexpr std::uint32_t kFlmcr = 0xFFF40;
  static constexpr std::uint32_t kEbr1 = 0xFFF42;
  static constexpr std::uint32_t kEbr2 = 0xFFF43;
  static constexpr std::uint32_t kTcsr = 0xFFFA8;
  static constexpr std::uint32_t kRstcsr = 0xFFFAA;
  static constexpr std::uint32_t kSci1 = 0xFFFB8;

  struct Stats {
    std::uint64_t unknownIoAccesses = 0;  // I/O addresses this board has no register for
    std::uint64_t unmappedAccesses = 0;   // addresses with nothing behind them
    std::uint64_t refusedWatchdogWrites = 0;  // byte writes or a wrong password
    std::uint64_t unguardedPulses = 0;        // program pulses with the watchdog stopped
    BoardWire::Clock::duration lastPulse{};   // from setting FLMCR's P to clearing it, on the chip's clock
    std::uint64_t watchdogResets = 0;         // TCNT overflows in watchdog mode
  };

  // chipNow: the moment the chip has reached (the CPU's clock), at which
  // SCI1 meets the line; unset, the wire's clock.
  // clockHz: the system clock φ, which the watchdog's counter divides.
  explicit BoardBus(BoardWire& wire, std::function<BoardWire::Time()> chipNow = {}, double clockHz = 16e6);

  std::uint8_t Read8(std::uint32_t address);
  void Write8(std::uint32_t address, std::uint8_t value);
  std::uint16_t Read16(std::uint32_t address);
  void Write16(std::uint32_t address, std::uint16_t value);

  // Moves bytes between SCI1 and the wire at the chip's present moment:
  // the characters that have arrived go to the receiver (paced, as they
  // come, so one not read in time is overrun; unpaced, when the receiver
  // can take one); TDR goes out when the transmitter is free. Runs by
  // itself around every access to SCI1; the board calls it when time has
  // passed.
  void ServiceSci();
  // What SCI1 sends passes through filter on its way to the wire (one byte
  // in, the bytes to send out); without one it goes as it is.
  void SetTransmitFilter(std::function<std::vector<std::uint8_t>(std::uint8_t)> filter) {
    transmitFilter_ = std::move(filter);
  }

  // Bytes lost or held back between SCI1 and the wire from now on; the
  // counter counts the bytes of both directions either way.
  void SetLineGaps(LineGaps gaps) { gaps_ = LineGapCounter(std::move(gaps)); }
  const LineGapCounter& Gaps() const { return gaps_; }

  // Plain memory under address (flash reads, RAM), for fast CPU access:
  // the start of the 20-bit region in the 1 MB mirror that address lies in.
  struct Region {
    std::uint8_t* data;
    std::uint32_t begin;  // in the caller's (24-bit) addressing
    std::uint32_t size;
    bool writable;
  };
  std::optional<Region> PlainRegion(std::uint32_t address);
  // States a CPU access of bytes (1, 2, 4) at address takes beyond the 2 a
  // byte or word of on-chip memory takes: on-chip I/O is slower.
  static unsigned ExtraStates(std::uint32_t address, unsigned bytes);

  FlashMemory& Flash() { return flash_; }
  // The boot program's erase of every block, taking ms; logged with the pulses.
  void EraseFlash(unsigned ms) {
    flash_.EraseAll();
    envelope_.Erased(ms);
  }
  const FlashEnvelope& Envelope() const { return envelope_; }
  // Called when flash reads start or stop being plain memory (VPPE set or
  // cleared: reads are then the verifying reads the envelope times).
  void SetOnFlashMode(std::function<void()> changed) { flashModeChanged_ = std::move(changed); }
  const FlashMemory& Flash() const { return flash_; }
  Sci& Sci1() { return sci_; }
  std::uint8_t* Ram() { return ram_.data(); }
  bool WatchdogRunning() const { return (tcsr_ & kTme) != 0; }
  // The moment TCNT overflows in watchdog mode and resets the chip; nothing
  // while TME or WT/IT is clear. A write to TCNT or TCSR moves it.
  std::optional<BoardWire::Time> WatchdogResetAt() const;
  // The internal reset of a watchdog overflow as the bus sees it: the
  // watchdog stops with WRST set, SCI1 and the flash's registers take their
  // reset values (so nothing more is sent or received, no voltage stays on).
  void WatchdogReset();
  const Stats& GetStats() const { return stats_; }

  void SetLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }

 private:
  static constexpr std::uint8_t kOvf = 0x80;
  static constexpr std::uint8_t kWtIt = 0x40;
  static constexpr std::uint8_t kTme = 0x20;

  // States of φ per TCNT count for TCSR's clock select bits.
  unsigned WatchdogDivision() const;
  // Brings TCNT up to now: counts since the last look, OVF on an interval
  // overflow. Returns the value TCNT holds now.
  std::uint8_t WatchdogCount();

  void Note(const char* what, std::uint32_t address);

  BoardWire::Time ChipNow() const { return chipNow_ ? chipNow_() : wire_.Now(); }

  BoardWire& wire_;
  std::function<BoardWire::Time()> chipNow_;
  std::optional<BoardWire::Time> pulseStart_;
  FlashMemory flash_;
  FlashEnvelope envelope_;
  std::function<void()> flashModeChanged_;
  Sci sci_;
  std::vector<std::uint8_t> ram_;
  std::uint8_t tcsr_ = 0x00;
  std::uint8_t tcnt_ = 0x00;        // at tcntSince_
  BoardWire::Time tcntSince_{};
  double nsPerState_;
  bool ovfReadAsOne_ = false;
  std::uint8_t rstcsr_ = 0x00;
  std::optional<BoardWire::Time> transmitReadySince_;
  std::function<std::vector<std::uint8_t>(std::uint8_t)> transmitFilter_;
  LineGapCounter gaps_;
  Stats stats_;
  std::function<void(const std::string&)> log_;
  int logged_ = 0;
};

#endif
