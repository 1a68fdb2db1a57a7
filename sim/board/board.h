// The virtual H8/3048F board in boot mode: the boot program first, then
// the H8/300H CPU running what it loaded, with flash, RAM and SCI1 on the
// bus and the serial line to the host (BoardWire).
//
// The board runs in slices: Run() takes the bytes that have reached the
// chip, lets the boot program or the CPU work on them, and returns when
// nothing more can happen without the host or the clock (the CPU busy-polls
// the serial status with nothing to do, spins on a branch to itself, or
// sleeps), when the slice is used up, or when the CPU meets an opcode it
// does not know.
//
// The CPU keeps its own time: each instruction takes its execution states
// at the system clock (one state a cycle). It runs up to a short stretch
// ahead of the board's clock, then waits for it (NextEvent() says until
// when); while it only polls the serial status, its time follows the
// clock, and it goes on at the moment the line next changes for it.
#ifndef KORVEL_SIM_BOARD_H
#define KORVEL_SIM_BOARD_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board_bus.h"
#include "board_wire.h"
#include "boot_program.h"
#include "flash_srec.h"
#include "host_line.h"
#include "record_faults.h"

class H8Cpu;

struct StuckBit {
  std::uint32_t address;
  int bit;
};

struct WeakByte {
  std::uint32_t address;
  std::uint8_t mask;
};

struct BoardConfig {
  BootFaults boot;
  RecordFaults records;              // the write-control program's answers to the records
  LineGaps gaps;                     // bytes lost or late on the line once the program runs
  LineFaults line;                   // noise and a bandwidth limit on the line
  double clockMhz = 16;              // the system clock: the CPU's states and SCI1's bit rate
  bool pace = false;                 // real time on both directions of the line
  unsigned latencyMs = 0;            // a USB adapter's latency timer on the answers (0: none)
  std::vector<StuckBit> stuckBits;
  std::vector<WeakByte> weakBytes;
  bool preload = false;              // start with preloadImage's present bytes in the flash
  FlashImage preloadImage;
  // Status reads in a row with nothing changed, the CPU's registers the same
  // at each, before the CPU counts as idle.
  std::uint64_t idlePolls = 64;
};

class Board {
 public:
  enum class Activity {
    kBusy,     // the slice ran out: call again
    kIdle,     // waiting for the host or the clock
    kStopped,  // the CPU will do nothing more (branch to itself, sleep)
    kFault,    // the CPU met an unknown opcode: Fault() says which
  };

  // hostLine tells how the host's end of the line is set (see BootProgram;
  // empty: taken as right); clock is for the paced wire, late echoes and
  // the tests.
  explicit Board(const BoardConfig& config, std::function<HostLine()> hostLine = {},
                 std::function<BoardWire::Time()> clock = BoardWire::Clock::now);
  ~Board();
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  Activity Run(std::uint64_t maxInstructions = 200000);
  // The next moment the board has something to do by itself: the line
  // changes, or the CPU may go on; nothing when only the host can wake it.
  std::optional<BoardWire::Time> NextEvent();
  // The moment the chip has reached: the CPU's time once it runs.
  BoardWire::Time ChipNow() const;
  // How far the CPU may run ahead of the board's clock. Paced, a byte the
  // host writes now reaches the chip ten bits later at the earliest, so the
  // CPU may run nine of the host's bits ahead without a byte reaching it in
  // the past; unpaced (bytes cross at once), 10 us.
  BoardWire::Clock::duration RunAhead() const;

  BoardWire& Wire() { return wire_; }
  BoardBus& Bus() { return bus_; }
  FlashMemory& Flash() { return bus_.Flash(); }
  const BootProgram& Boot() const { return boot_; }
  H8Cpu& Cpu() { return *cpu_; }

  bool CpuStarted() const { return cpuStarted_; }
  std::uint64_t Instructions() const;
  const std::string& Fault() const { return fault_; }
  // The board has closed its end of the line (a record fault).
  bool HungUp() const { return records_.HungUp(); }
  // Where things stand, in words: the boot program's state or the CPU's.
  std::string Describe() const;
  // One line: bytes programmed, pulses, instructions, ignored flash writes,
  // and the state.
  std::string Summary() const;

  void SetLog(std::function<void(const std::string&)> log);

 private:
  class Memory;
  Activity RunBoot();
  Activity RunCpu(std::uint64_t maxInstructions);
  bool SpinsOnItself(std::uint32_t pc);
  bool SameRegistersAsLastPoll() const;
  // The watchdog's overflow has come by the CPU's time (or by `by` when
  // given): the chip resets, and the board stops.
  bool WatchdogOverflows(std::optional<BoardWire::Time> by = std::nullopt);
  void SetCpuTime(BoardWire::Time t);
  BoardWire::Time CpuTime() const;

  BoardConfig config_;
  double nsPerState_;
  BoardWire::Time timeBase_{};     // the CPU's time at statesBase_
  std::uint64_t statesBase_ = 0;
  std::uint64_t statesLimit_ = 0;  // the CPU stops past this many states: RunAhead() reached
  std::function<double()> hostBitNs_;  // the host's sending bit time
  bool idle_ = false;              // the CPU polls the serial status and nothing changes
  std::uint64_t pollReads_ = 0;          // the status reads counted at the last one
  std::uint32_t pollRegisters_[8] = {};  // ER0-ER7 at the last status read
  std::uint64_t hostActivityIdle_ = 0;  // the wire's host activity when the CPU went idle
  BoardWire wire_;
  BoardBus bus_;
  BootProgram boot_;
  RecordFilter records_;
  std::unique_ptr<Memory> memory_;
  std::unique_ptr<H8Cpu> cpu_;
  bool cpuStarted_ = false;
  bool spinning_ = false;
  std::uint32_t stopPc_ = 0;
  bool watchdogReset_ = false;     // stopped by a watchdog reset at stopPc_
  std::function<void(const std::string&)> log_;
  std::string fault_;
};

#endif
