// The H8/3048F's built-in boot program, as the host sees it over the line:
//
//   host sends                 boot program answers
//   H'00 (repeated)            H'00, once the bit rate is measured
//   H'55                       H'AA
//   length, high then low      each byte echoed
//   the program, N bytes       each byte echoed; stored from H'FF300
//   -                          flash erased, H'AA, program started at H'FF300
//
// The bit-rate measurement is modelled by the line settings the host left
// on its end of the line: only a 9600 bit/s, 8N1, raw line is measured (a
// line that fails gets no answer at all; it is reported through the log
// hook). Bytes other than H'00 before synchronisation and other than H'00
// or H'55 before the check are ignored. A length of 0 or one that does not
// fit the RAM from H'FF300 to the end of on-chip RAM is answered with H'FF
// instead of the echo of the low byte, and the boot program stops.
//
// Faults can be injected for testing hosts (BootFaults).
#ifndef KORVEL_SIM_BOOT_PROGRAM_H
#define KORVEL_SIM_BOOT_PROGRAM_H

#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

class BoardBus;

struct BootFaults {
  bool silent = false;                     // never answers anything
  std::optional<std::uint8_t> syncAnswer;  // answers H'00 with this instead
  std::optional<std::uint8_t> checkAnswer; // answers H'55 with this instead of H'AA
  std::optional<std::uint8_t> startAnswer; // sends this instead of H'AA before starting
  std::set<std::size_t> dropEcho;          // program positions whose echo is not sent
  std::set<std::size_t> corruptEcho;       // ... whose echo is sent inverted
  bool noStart = false;                    // after the last echo: nothing (no erase, no start)
  bool noErase = false;                    // starts the program without erasing the flash
};

// What is wrong with the line for the boot program's bit-rate measurement:
// empty for 9600 bit/s, 8 data bits, no parity, 1 stop bit, raw (no
// canonical input, echo, signals, CR/LF translation, XON/XOFF, output
// processing); otherwise the problems, comma-separated.
std::string LineProblem(const termios& settings);

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

  // lineProblem says what is wrong with the host's line now (empty: fine);
  // without it the line is taken as right.
  BootProgram(BoardBus& bus, BootFaults faults, std::function<std::string()> lineProblem = {});

  // One byte from the host; the bytes to send back (none or one).
  std::vector<std::uint8_t> Receive(std::uint8_t byte);

  State GetState() const { return state_; }
  bool Started() const { return state_ == State::kStarted; }
  std::size_t Length() const { return length_; }
  std::size_t Received() const { return received_; }
  std::string Describe() const;  // the state in words, for the run summary

  void SetLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }

 private:
  std::vector<std::uint8_t> Finish();
  void Log(const std::string& text);

  BoardBus& bus_;
  BootFaults faults_;
  std::function<std::string()> lineProblem_;
  std::function<void(const std::string&)> log_;
  std::string lastProblem_;
  State state_ = State::kBitRate;
  std::size_t length_ = 0;
  std::size_t received_ = 0;
  std::string haltReason_;
};

#endif
