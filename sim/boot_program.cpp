#include "boot_program.h"

#include <cstdio>

#include "board_bus.h"

namespace {

long Speed(speed_t s) {
  switch (s) {
    case B300: return 300;
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return -1;
  }
}

std::string SpeedText(speed_t s) {
  const long bps = Speed(s);
  return bps < 0 ? "an unusual bit rate" : std::to_string(bps) + " bit/s";
}

}  // namespace

std::string LineProblem(const termios& t) {
  std::string problems;
  auto add = [&](const std::string& p) { problems += (problems.empty() ? "" : ", ") + p; };
  if (cfgetospeed(&t) != B9600) add("sends at " + SpeedText(cfgetospeed(&t)) + ", not 9600");
  if (cfgetispeed(&t) != B9600 && cfgetispeed(&t) != B0) add("receives at " + SpeedText(cfgetispeed(&t)) + ", not 9600");
  if ((t.c_cflag & CSIZE) != CS8) add("not 8 data bits");
  if (t.c_cflag & PARENB) add("parity on");
  if (t.c_cflag & CSTOPB) add("2 stop bits");
  const struct {
    tcflag_t flag;
    const char* name;
  } lflags[] = {{ICANON, "ICANON"}, {ECHO, "ECHO"}, {ECHONL, "ECHONL"}, {ISIG, "ISIG"}},
    iflags[] = {{ICRNL, "ICRNL"}, {INLCR, "INLCR"}, {IGNCR, "IGNCR"}, {ISTRIP, "ISTRIP"},
                {IXON, "IXON"},   {IXOFF, "IXOFF"}, {PARMRK, "PARMRK"}},
    oflags[] = {{OPOST, "OPOST"}};
  for (const auto& f : lflags)
    if (t.c_lflag & f.flag) add(std::string(f.name) + " on");
  for (const auto& f : iflags)
    if (t.c_iflag & f.flag) add(std::string(f.name) + " on");
  for (const auto& f : oflags)
    if (t.c_oflag & f.flag) add(std::string(f.name) + " on");
  return problems;
}

BootProgram::BootProgram(BoardBus& bus, BootFaults faults, std::function<std::string()> lineProblem)
    : bus_(bus), faults_(std::move(faults)), lineProblem_(std::move(lineProblem)) {}

void BootProgram::Log(const std::string& text) {
  if (log_) log_(text);
}

std::vector<std::uint8_t> BootProgram::Receive(std::uint8_t byte) {
  if (faults_.silent || state_ == State::kStarted || state_ == State::kHalted) return {};
  if (lineProblem_) {
    // A line the boot program cannot measure garbles every byte it gets.
    const std::string problem = lineProblem_();
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
      if (byte == 0x00) {
        if (state_ == State::kBitRate) Log("boot program: bit rate measured");
        state_ = State::kSynced;
        return {faults_.syncAnswer.value_or(0x00)};
      }
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

std::vector<std::uint8_t> BootProgram::Finish() {
  if (faults_.noStart) {
    state_ = State::kHalted;
    haltReason_ = "program received, not started";
    return {};
  }
  if (!faults_.noErase) bus_.Flash().EraseAll();
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
             " program bytes";
    case State::kStarted: return "program started";
    case State::kHalted: return "boot program stopped: " + haltReason_;
  }
  return "";
}
