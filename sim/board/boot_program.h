// The H8/3048F's built-in boot program, as the host sees it over the line:
//
//   host sends                 boot program answers
//   H'00 (repeated)            H'00, once the bit rate is measured
//   H'55                       H'AA
//   length, high then low      each byte echoed
//   the program, N bytes       each byte echoed; stored from H'FF300
//   -                          flash erased when it holds data
//                              (kEraseMs), H'AA, program started at H'FF300
//
// The bit-rate measurement is modelled by the settings of the host's end
// of the line (HostLine): an 8N1, raw line is measured (a line that fails
// gets no answer at all; it is reported through the log hook). Having
// measured the host's rate R, the boot program sets SCI1 to asynchronous
// 8N1 at clock select 0 with BRR = round(phi / (32 R)) - 1, as near to R
// as the system clock phi allows, and talks through SCI1 from then on. Bytes other than H'00 before synchronisation and other than H'00
// or H'55 before the check are ignored. A length of 0 or one that does not
// fit the RAM from H'FF300 to the end of on-chip RAM is answered with H'FF
// instead of the echo of the low byte, and the boot program stops.
//
// Faults can be injected for testing hosts (BootFaults).
#ifndef KORVEL_SIM_BOOT_PROGRAM_H
#define KORVEL_SIM_BOOT_PROGRAM_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host_line.h"

class BoardBus;

struct BootFaults {
  bool silent = false;                     // never answers anything
  std::optional<std::uint8_t> syncAnswer;  // answers H'00 with this instead
  std::vector<std::vector<std::uint8_t>> syncAnswers; // the answer to each synchronisation try (each H'00 before the bit rate is measured) in turn: empty = no answer to that try; past the end of the list, the normal behaviour
  // afterSync goes out once, behind the answer that completes the bit-rate measurement.
  std::vector<std::uint8_t> afterSync;                // extra bytes sent right after the synchronisation answer
  std::optional<std::uint8_t> checkAnswer; // answers H'55 with this instead of H'AA
  std::optional<std::uint8_t> startAnswer; // sends this instead of H'AA before starting
  std::set<std::size_t> dropEcho;          // program positions whose echo is not sent
  std::set<std::size_t> corruptEcho;       // ... whose echo is sent inverted
  std::map<std::size_t, unsigned> lateEchoMs;          // program byte position (0-based) -> its echo is sent this many ms late (board clock)
  bool noStart = false;                    // after the last echo: nothing (no erase, no start)
  bool noErase = false;                    // starts the program without erasing the flash
};

class BootProgram {
 public:
  enum class State {
    kBitRate,     // waiting for H'00
    kSynced,      // answered H'00; waiting for H'55
    kLengthHigh,
    kLengthLow,
    kProgram,     // receiving the program bytes
    kStarted,     // the program runs
    kHalted,      // stopped: bad length, or told not to start
  };

  static constexpr std::uint32_t kLoadAddress = 0xFF300;
  // Room from kLoadAddress to the end of on-chip RAM (H'FFF0F).
  static constexpr std::size_t kMaxLength = 0xFFF10 - kLoadAddress;
  // The erase before the start signal. The boot program checks the flash
  // and erases every block only where data has been written: so the boot
  // mode execution procedure of the F-ZTAT parts' manuals (H8S/2148 F-ZTAT
  // hardware manual, Figure 23.8: "Check flash memory data, and if data has
  // already been written, erase all blocks"; the H8/3048F's own figure was
  // not reached through the search tools). A blank flash's check is given
  // no time here. The erase's own timing (erase pulse, number of pulses,
  // the flowchart's waits) was not found either, so this is the least the
  // erase can take by the flash timing envelope this board checks
  // (flash_envelope.h), at the write-control program's own timing at
  // 16 MHz: each of the 131072 bytes pre-programmed to H'00 with one pulse
  // (251 states, then 22 to program-verify and 82 to the verifying read) and
  // read once more in erase-verify (82 states): 437 states a byte,
  // 57278464 states, 3579.9 ms at 16 MHz. The erase pulses themselves are
  // not counted. It is the same at any clock: the boot program keeps to the
  // flash's times, not to a number of states.
  static constexpr unsigned kEraseMs = 3580;

  // hostLine tells how the host's end of the line is set now; without it
  // the line is taken as right.
  BootProgram(BoardBus& bus, BootFaults faults, std::function<HostLine()> hostLine = {}, double clockHz = 16e6);

  // One byte from the host; the bytes to send back (usually none or one).
  std::vector<std::uint8_t> Receive(std::uint8_t byte);
  // A byte arrived while the one before it still waited in RDR: lost.
  void Overrun();
  // How long the bytes the last Receive returned are held back before they
  // go out (a late echo); 0 for at once.
  unsigned AnswerDelayMs() const { return answerDelayMs_; }

  State GetState() const { return state_; }
  bool Started() const { return state_ == State::kStarted; }
  // How long the erase before the start signal took: kEraseMs where the
  // flash held data, 0 where it was blank or the board was told not to erase.
  unsigned EraseMs() const { return eraseMs_; }
  // SCI1 is set to the host's measured rate.
  bool Aligned() const { return aligned_; }
  std::size_t Length() const { return length_; }
  std::size_t Received() const { return received_; }
  std::string Describe() const;  // the state in words, for the run summary
  // Whether it aligns to a host sending at rate on a chip clocked at clockHz.
  static bool CanAlign(long rate, double clockHz);

  void SetLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }

 private:
  std::vector<std::uint8_t> Synchronise();
  std::vector<std::uint8_t> Finish();
  void Log(const std::string& text);

  BoardBus& bus_;
  BootFaults faults_;
  std::function<HostLine()> hostLine_;
  double clockHz_;
  bool aligned_ = false;
  std::function<void(const std::string&)> log_;
  std::string lastProblem_;
  State state_ = State::kBitRate;
  std::size_t length_ = 0;
  std::size_t received_ = 0;
  std::size_t syncTries_ = 0;
  std::size_t overruns_ = 0;
  std::size_t misaligned_ = 0;  // H'00s not answered: rate and clock outside the table
  unsigned answerDelayMs_ = 0;
  std::string haltReason_;
  unsigned eraseMs_ = 0;
};

#endif
