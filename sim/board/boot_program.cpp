#include "boot_program.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "board_bus.h"

BootProgram::BootProgram(BoardBus& bus, BootFaults faults, std::function<HostLine()> hostLine, double clockHz)
    : bus_(bus), faults_(std::move(faults)), hostLine_(std::move(hostLine)), clockHz_(clockHz) {}

void BootProgram::Log(const std::string& text) {
  if (log_) log_(text);
}

std::vector<std::uint8_t> BootProgram::Receive(std::uint8_t byte) {
  answerDelayMs_ = 0;
  if (faults_.silent || state_ == State::kStarted || state_ == State::kHalted) return {};
  if (hostLine_) {
    // A line the boot program cannot measure garbles every byte it gets.
    const std::string problem = LineProblem(hostLine_());
    if (!problem.empty()) {
      if (problem != lastProblem_) Log("boot program: byte ignored, the line " + problem);
      lastProblem_ = problem;
      return {};
    }
    lastProblem_.clear();
  }
  switch (state_) {
    case State::kBitRate:
    case State::kSynced:
      if (byte == 0x00) return Synchronise();
      if (byte == 0x55 && state_ == State::kSynced) {
        state_ = State::kLengthHigh;
        return {faults_.checkAnswer.value_or(0xAA)};
      }
      return {};
    case State::kLengthHigh:
      length_ = static_cast<std::size_t>(byte) << 8;
      state_ = State::kLengthLow;
      return {byte};
    case State::kLengthLow:
      length_ |= byte;
      if (length_ == 0 || length_ > kMaxLength) {
        state_ = State::kHalted;
        haltReason_ = "program length " + std::to_string(length_) + " does not fit the RAM";
        Log("boot program: " + haltReason_);
        return {0xFF};
      }
      state_ = State::kProgram;
      return {byte};
    case State::kProgram: {
      const std::size_t position = received_++;
      bus_.Ram()[kLoadAddress - BoardBus::kRamStart + position] = byte;
      std::vector<std::uint8_t> answer;
      const auto late = faults_.lateEchoMs.find(position);
      if (late != faults_.lateEchoMs.end()) answerDelayMs_ = late->second;
      if (faults_.corruptEcho.count(position)) {
        answer.push_back(static_cast<std::uint8_t>(~byte));
      } else if (!faults_.dropEcho.count(position)) {
        answer.push_back(byte);
      }
      if (received_ == length_) {
        const std::vector<std::uint8_t> more = Finish();
        answer.insert(answer.end(), more.begin(), more.end());
      }
      return answer;
    }
    default: return {};
  }
}

void BootProgram::Overrun() {
  if (overruns_++ == 0) Log("boot program: a byte overrun while it waited to send its echoes");
}

// One H'00 of the synchronisation: a try, answered with H'00 once the bit
// rate is measured, or as the faults say.
std::vector<std::uint8_t> BootProgram::Synchronise() {
  const std::size_t attempt = syncTries_++;
  std::vector<std::uint8_t> answer{faults_.syncAnswer.value_or(0x00)};
  if (attempt < faults_.syncAnswers.size()) {
    answer = faults_.syncAnswers[attempt];
    if (answer.empty()) return {};  // this try is not answered
  }
  if (state_ == State::kBitRate) {
    const long rate = hostLine_ ? hostLine_().bitRate : 9600;
    if (!CanAlign(rate, clockHz_)) {
      // Outside the table the chip's measurement is off by more than SCI1
      // can bear: its H'00 would come garbled, and no transfer works after.
      // This board leaves it unanswered.
      if (!misaligned_++) {
        char text[96];
        std::snprintf(text, sizeof text, "boot program: %ld bit/s at %g MHz is outside its table: no alignment", rate,
                      clockHz_ / 1e6);
        Log(text);
      }
      return {};
    }
    const long brr = std::clamp(std::lround(clockHz_ / (32.0 * static_cast<double>(rate))) - 1, 0L, 255L);
    Sci& sci = bus_.Sci1();
    sci.Write(Sci::kSmr, 0x00);
    sci.Write(Sci::kBrr, static_cast<std::uint8_t>(brr));
    sci.Write(Sci::kScr, Sci::kTe | Sci::kRe);
    aligned_ = true;
    Log("boot program: bit rate measured: " + std::to_string(rate) + " bit/s, BRR = " + std::to_string(brr));
    state_ = State::kSynced;
    answer.insert(answer.end(), faults_.afterSync.begin(), faults_.afterSync.end());
  }
  return answer;
}

// The H8/3048F hardware manual's table 18-13 (system clock frequencies
// permitting automatic bit-rate alignment): host rates of 2400, 4800 and
// 9600 bit/s only, from 2, 4 and 8 MHz up to 16 MHz.
bool BootProgram::CanAlign(long rate, double clockHz) {
  const double lowestMhz = rate == 9600 ? 8 : rate == 4800 ? 4 : rate == 2400 ? 2 : 0;
  return lowestMhz > 0 && clockHz >= lowestMhz * 1e6 && clockHz <= 16e6;
}

std::vector<std::uint8_t> BootProgram::Finish() {
  if (faults_.noStart) {
    state_ = State::kHalted;
    haltReason_ = "program received, not started";
    return {};
  }
  const std::uint8_t* cells = bus_.Flash().Cells();
  if (!faults_.noErase && std::any_of(cells, cells + FlashMemory::kSize, [](std::uint8_t b) { return b != 0xFF; })) {
    eraseMs_ = kEraseMs;
    bus_.EraseFlash(kEraseMs);
  }
  state_ = State::kStarted;
  Log("boot program: " + std::to_string(length_) + " bytes loaded, starting at H'FF300");
  return {faults_.startAnswer.value_or(0xAA)};
}

std::string BootProgram::Describe() const {
  switch (state_) {
    case State::kBitRate: return "boot program waiting for the bit-rate synchronisation";
    case State::kSynced: return "boot program synchronised, waiting for H'55";
    case State::kLengthHigh:
    case State::kLengthLow: return "boot program waiting for the program length";
    case State::kProgram:
      return "boot program received " + std::to_string(received_) + " of " + std::to_string(length_) +
             " program bytes" + (overruns_ ? ", " + std::to_string(overruns_) + " overrun" : "");
    case State::kStarted: return "program started";
    case State::kHalted: return "boot program stopped: " + haltReason_;
  }
  return "";
}
