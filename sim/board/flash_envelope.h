// The flash's timing envelope: a log of every program pulse the CPU gives,
// with the waits around it, checked against the limits below.
//
// The H8/3048F hardware manual's table of flash programming times (the
// settle after VPPE, the pulse, the wait before program-verify and before
// the verifying read) was not reached through the search tools. The limits
// are therefore the write-control program's own timing at 16 MHz, the
// fastest clock the boot program aligns at: no wait may be shorter than
// its wait there, and no pulse longer than its pulse of the same try at
// 8 MHz, the slowest clock at which it aligns at 9600 bit/s (the program
// counts loop passes, so its times double from 16 to 8 MHz). A byte may
// take 6 pulses, as the program's flow allows, and none once it verified.
#ifndef KORVEL_SIM_FLASH_ENVELOPE_H
#define KORVEL_SIM_FLASH_ENVELOPE_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "board_wire.h"

class FlashEnvelope {
 public:
  using Time = BoardWire::Time;
  static constexpr int kMaxPulses = 6;
  // The write-control program at 16 MHz, in nanoseconds (its --flash-log
  // at --clock 16), less the rounding of the log's times: VPPE on to the
  // pulse (199 states), the pulse end to PV (22), PV to the read (82); and
  // its first pulse at 8 MHz, 251 states (31375 ns), and the rounding.
  static constexpr long long kVppeToPulseNs = 12430;
  static constexpr long long kPulseToVerifyNs = 1370;
  static constexpr long long kVerifyToReadNs = 5120;
  static constexpr long long kFirstPulseMaxNs = 31380;

  struct Pulse {
    std::uint32_t offset = 0;
    int attempt = 0;  // 1 for the byte's first pulse since the erase
    long long lengthNs = 0, vppeToPulseNs = 0, pulseToVerifyNs = -1, verifyToReadNs = -1;
    std::string flags;  // what lies outside the envelope, in words
  };

  // FLMCR changed from before to after at now; offset is the latched byte.
  void Flmcr(std::uint8_t before, std::uint8_t after, Time now, std::optional<std::uint32_t> offset);
  // A read of the array while VPPE is on; verified: it read the latched value.
  void VerifyRead(std::uint32_t offset, Time now, bool verified);
  // The boot program erased every block, taking ms.
  void Erased(unsigned ms);

  const std::vector<Pulse>& Pulses() const { return pulses_; }
  std::uint64_t Flags() const { return flags_; }
  // The log as text, one line a pulse.
  std::string Text() const;

 private:
  void Flag(Pulse& p, const std::string& what);

  std::optional<Time> vppeOn_, pulseOn_, pulseOff_, verifyOn_;
  std::map<std::uint32_t, int> attempts_;  // pulses since the erase; -1 once verified
  std::vector<Pulse> pulses_;
  std::vector<std::pair<std::size_t, unsigned>> erases_;  // each before pulse n, and its ms
  bool pulseOpen_ = false;  // the last pulse still waits for its verifying read
  std::uint64_t flags_ = 0;
};

#endif
