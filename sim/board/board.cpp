#include "board.h"

#include <algorithm>
#include <cstdio>

#include "h8_cpu.h"

// The bus as the CPU core sees it, with plain memory handed out as windows.
class Board::Memory : public H8Memory {
 public:
  explicit Memory(BoardBus& bus) : bus_(bus) {}
  std::uint8_t Read8(std::uint32_t a) override { return bus_.Read8(a); }
  void Write8(std::uint32_t a, std::uint8_t v) override { bus_.Write8(a, v); }
  std::uint16_t Read16(std::uint32_t a) override { return bus_.Read16(a); }
  void Write16(std::uint32_t a, std::uint16_t v) override { bus_.Write16(a, v); }
  std::uint32_t Read32(std::uint32_t a) override {
    const std::uint32_t hi = bus_.Read16(a);
    return hi << 16 | bus_.Read16(a + 2);
  }
  void Write32(std::uint32_t a, std::uint32_t v) override {
    bus_.Write16(a, static_cast<std::uint16_t>(v >> 16));
    bus_.Write16(a + 2, static_cast<std::uint16_t>(v));
  }
  unsigned ExtraStates(std::uint32_t a, unsigned bytes) override { return BoardBus::ExtraStates(a, bytes); }
  bool Window(std::uint32_t a, H8Window& w) override {
    const auto region = bus_.PlainRegion(a);
    if (!region) return false;
    w.data = region->data;
    w.begin = region->begin;
    w.size = region->size;
    w.writable = region->writable;
    return true;
  }

 private:
  BoardBus& bus_;
};

Board::Board(const BoardConfig& config, std::function<HostLine()> hostLine, std::function<BoardWire::Time()> clock)
    : config_(config),
      nsPerState_(1000.0 / config.clockMhz),
      wire_(config.pace, std::move(clock), config.latencyMs),
      bus_(wire_, [this] { return ChipNow(); }, config.clockMhz * 1e6),
      boot_(bus_, config.boot, hostLine, config.clockMhz * 1e6),
      records_(config.records),
      memory_(std::make_unique<Memory>(bus_)),
      cpu_(std::make_unique<H8Cpu>(*memory_)) {
  wire_.SetLineFaults(config.line);
  auto hostBit = [hostLine](bool receive) {
    const HostLine line = hostLine ? hostLine() : HostLine{};
    const long rate = receive && line.receiveRate != 0 ? line.receiveRate : line.bitRate;
    return 1e9 / static_cast<double>(rate > 0 ? rate : 9600);
  };
  hostBitNs_ = [hostBit] { return hostBit(false); };
  wire_.SetBitTimes([this] { return bus_.Sci1().BitNs(config_.clockMhz * 1e6); }, hostBitNs_,
                    [hostBit] { return hostBit(true); });
  FlashMemory& flash = bus_.Flash();
  if (config.preload) {
    for (std::uint32_t a = 0; a < FlashMemory::kSize; ++a)
      if (config.preloadImage.present[a]) flash.Load(a, &config.preloadImage.bytes[a], 1);
  } else if (config.boot.noErase) {
    // A chip that was programmed before and is not erased now: all zeros,
    // so any byte with a 1 bit fails to program.
    const std::vector<std::uint8_t> zeros(FlashMemory::kSize, 0x00);
    flash.Load(0, zeros.data(), zeros.size());
  }
  for (const StuckBit& s : config.stuckBits) flash.SetStuckBit(s.address, s.bit);
  for (const WeakByte& w : config.weakBytes) flash.SetWeakByte(w.address, w.mask);
  bus_.SetLineGaps(config.gaps);
  bus_.SetOnFlashMode([this] { cpu_->InvalidateWindows(); });
  if (config.records.Any()) bus_.SetTransmitFilter([this](std::uint8_t byte) { return records_.Pass(byte); });
}

Board::~Board() = default;

void Board::SetLog(std::function<void(const std::string&)> log) {
  log_ = log;
  bus_.SetLog(log);
  boot_.SetLog(std::move(log));
}

std::uint64_t Board::Instructions() const { return cpu_->InstructionCount(); }

Board::Activity Board::Run(std::uint64_t maxInstructions) {
  if (!fault_.empty()) return Activity::kFault;
  if (!cpuStarted_) return RunBoot();
  return RunCpu(maxInstructions);
}

Board::Activity Board::RunBoot() {
  std::uint8_t byte;
  const BoardWire::Time now = wire_.Now();
  BoardWire::Time arrived, startAt = now;
  while (!boot_.Started() && wire_.TakeArrived(now, &byte, nullptr, &arrived)) {
    // The boot program echoes through TDR: with one echo being shifted out
    // and one waiting in TDR it waits for TDRE with the next byte's echo in
    // hand and the byte after in RDR; one more overruns and is lost.
    if (wire_.TransmitBacklog(arrived) > 3) {
      boot_.Overrun();
      continue;
    }
    const std::vector<std::uint8_t> answer = boot_.Receive(byte);
    if (boot_.Aligned()) wire_.ChipAligned();
    // It answers as the byte arrives (paced, the board may take it later).
    const BoardWire::Time ready = arrived + std::chrono::milliseconds(boot_.AnswerDelayMs());
    // The start signal, the last answer to the last byte, waits for the
    // erase, and so does the program.
    startAt = ready + std::chrono::milliseconds(boot_.EraseMs());
    for (std::size_t i = 0; i < answer.size(); ++i)
      wire_.Transmit(answer[i], boot_.Started() && i + 1 == answer.size() ? startAt : ready);
  }
  if (!boot_.Started()) return Activity::kIdle;
  wire_.ArmLineFaults();
  cpuStarted_ = true;
  cpu_->Reset(BootProgram::kLoadAddress);
  SetCpuTime(std::max(now, startAt));
  return Activity::kBusy;
}

BoardWire::Time Board::CpuTime() const {
  const double ns = static_cast<double>(cpu_->States() - statesBase_) * nsPerState_;
  return timeBase_ + std::chrono::duration_cast<BoardWire::Clock::duration>(
                         std::chrono::nanoseconds(static_cast<long long>(ns + 0.5)));
}

void Board::SetCpuTime(BoardWire::Time t) {
  timeBase_ = t;
  statesBase_ = cpu_->States();
}

BoardWire::Clock::duration Board::RunAhead() const {
  const BoardWire::Clock::duration least = std::chrono::microseconds(10);
  if (!config_.pace) return least;
  return std::max(least, std::chrono::duration_cast<BoardWire::Clock::duration>(
                             std::chrono::duration<double, std::nano>(9 * hostBitNs_())));
}

BoardWire::Time Board::ChipNow() const { return cpuStarted_ ? CpuTime() : wire_.Now(); }

std::optional<BoardWire::Time> Board::NextEvent() {
  std::optional<BoardWire::Time> next = wire_.NextEvent();
  if (watchdogReset_) return next;
  if (const auto reset = bus_.WatchdogResetAt(); cpuStarted_ && idle_ && reset && (!next || *reset < *next))
    next = reset;
  if (cpuStarted_ && !idle_ && !spinning_ && !cpu_->Stopped()) {
    // Half the stretch it may run ahead: from then on it gets as far again.
    const BoardWire::Time goOn = CpuTime() - RunAhead() / 2;
    if (!next || goOn < *next) next = goOn;
  }
  return next;
}

// A branch to itself (BRA/Bcc with displacement -2, 8- or 16-bit) that was
// taken: with no interrupts on this board nothing can ever leave it.
bool Board::SpinsOnItself(std::uint32_t pc) {
  const std::uint8_t op = bus_.Read8(pc), disp = bus_.Read8(pc + 1);
  if ((op & 0xF0) == 0x40 && disp == 0xFE) return true;
  return op == 0x58 && (disp & 0x0F) == 0 && bus_.Read8(pc + 2) == 0xFF && bus_.Read8(pc + 3) == 0xFC;
}

bool Board::SameRegistersAsLastPoll() const {
  for (int r = 0; r < 8; ++r)
    if (cpu_->Er(r) != pollRegisters_[r]) return false;
  return true;
}

bool Board::WatchdogOverflows(std::optional<BoardWire::Time> by) {
  const std::optional<BoardWire::Time> reset = bus_.WatchdogResetAt();
  if (!reset || *reset > (by ? *by : CpuTime())) return false;
  // The H8/3008's manual (section 11.3.1; the H8/3048's section 12 was not
  // reached) gives a watchdog reset the vector of a reset at the RES pin.
  // The chip is in boot mode, so its boot program would start again and
  // wait for the host's H'00s in the middle of korvel's records: on this
  // board the chip stops there, its line silent.
  if (by) SetCpuTime(*reset);
  watchdogReset_ = true;
  stopPc_ = cpu_->Pc() & 0xFFFFF;
  bus_.WatchdogReset();
  char text[64];
  std::snprintf(text, sizeof text, "watchdog reset at H'%05X", static_cast<unsigned>(stopPc_));
  if (log_) log_(text);
  return true;
}

Board::Activity Board::RunCpu(std::uint64_t maxInstructions) {
  if (spinning_ || watchdogReset_ || cpu_->Sleeping()) return Activity::kStopped;
  Sci& sci = bus_.Sci1();
  const BoardWire::Time now = wire_.Now();
  const BoardWire::Clock::duration ahead = RunAhead();
  const auto aheadNs = std::chrono::duration<double, std::nano>(now + ahead - timeBase_).count();
  statesLimit_ = statesBase_ + static_cast<std::uint64_t>(std::max(0.0, aheadNs / nsPerState_));
  bool wokeAtNow = false;
  for (std::uint64_t n = 0; n < maxInstructions; ++n) {
    if (idle_) {
      // Nothing changes for the program before the line does: it goes on
      // at that moment, or at the clock's when the host has done something.
      const std::optional<BoardWire::Time> event = wire_.NextChipEvent(CpuTime());
      if (WatchdogOverflows(event && *event < now ? *event : now)) return Activity::kStopped;
      if (event && *event <= now) {
        SetCpuTime(*event);
      } else if (!wokeAtNow && wire_.HostActivity() != hostActivityIdle_) {
        wokeAtNow = true;
        if (CpuTime() < now) SetCpuTime(now);
      } else {
        if (CpuTime() < now) SetCpuTime(now);
        return Activity::kIdle;
      }
      idle_ = false;
      const auto left = std::chrono::duration<double, std::nano>(now + ahead - timeBase_).count();
      statesLimit_ = statesBase_ + static_cast<std::uint64_t>(std::max(0.0, left / nsPerState_));
      bus_.ServiceSci();
      sci.ResetUnchangedStatusReads();
    }
    if (cpu_->States() > statesLimit_) return Activity::kIdle;  // ahead of the clock: NextEvent() says until when
    if (WatchdogOverflows()) return Activity::kStopped;
    const std::uint32_t pc = cpu_->Pc();
    if (!cpu_->Step()) {
      if (!cpu_->Fault().empty()) {
        fault_ = cpu_->Fault();
        return Activity::kFault;
      }
      stopPc_ = pc;
      return Activity::kStopped;  // SLEEP: no interrupt will come
    }
    // With the watchdog counting toward a reset the spin does end.
    if (cpu_->Pc() == pc && !bus_.WatchdogResetAt() && SpinsOnItself(pc)) {
      spinning_ = true;
      stopPc_ = pc;
      return Activity::kStopped;
    }
    if (sci.UnchangedStatusReads() != pollReads_) {
      // A poll loop that counts down as it polls is a time-out, no idle
      // wait: its passes take their time on the chip, so they run here.
      if (sci.UnchangedStatusReads() > 1 && !SameRegistersAsLastPoll()) sci.ResetUnchangedStatusReads();
      for (int r = 0; r < 8; ++r) pollRegisters_[r] = cpu_->Er(r);
      pollReads_ = sci.UnchangedStatusReads();
    }
    if (sci.UnchangedStatusReads() >= config_.idlePolls) {
      idle_ = true;
      hostActivityIdle_ = wire_.HostActivity();
    }
  }
  return Activity::kBusy;
}

std::string Board::Describe() const {
  if (!cpuStarted_) return boot_.Describe();
  char text[160];
  if (!fault_.empty()) {
    std::snprintf(text, sizeof text, "CPU stopped: %s", fault_.c_str());
  } else if (watchdogReset_) {
    std::snprintf(text, sizeof text, "watchdog reset at H'%05X: the chip is silent", static_cast<unsigned>(stopPc_));
  } else if (spinning_) {
    std::snprintf(text, sizeof text, "program stopped (branch to itself at H'%05X)", static_cast<unsigned>(stopPc_));
  } else if (cpu_->Sleeping()) {
    std::snprintf(text, sizeof text, "program asleep (SLEEP at H'%05X)", static_cast<unsigned>(stopPc_));
  } else {
    std::snprintf(text, sizeof text, "program running at H'%05X", static_cast<unsigned>(cpu_->Pc() & 0xFFFFF));
  }
  return text;
}

std::string Board::Summary() const {
  const FlashMemory::Stats& f = bus_.Flash().GetStats();
  const BoardBus::Stats& b = bus_.GetStats();
  char text[256];
  std::snprintf(text, sizeof text,
                "%llu bytes programmed, %llu pulses, %llu instructions, %llu ignored flash writes",
                static_cast<unsigned long long>(f.bytesProgrammed), static_cast<unsigned long long>(f.pulses),
                static_cast<unsigned long long>(Instructions()), static_cast<unsigned long long>(f.ignoredWrites));
  std::string line = text;
  if (b.unguardedPulses) line += ", " + std::to_string(b.unguardedPulses) + " pulses without the watchdog";
  if (bus_.Envelope().Flags())
    line += ", " + std::to_string(bus_.Envelope().Flags()) + " outside the flash's timing envelope";
  if (b.unknownIoAccesses || b.unmappedAccesses)
    line += ", " + std::to_string(b.unknownIoAccesses + b.unmappedAccesses) + " stray accesses";
  return line + "; " + Describe();
}
