// An instruction-set simulator of the H8/300H CPU core in advanced mode:
// eight 32-bit registers ER0-ER7 (ER7 is the stack pointer), a 24-bit
// program counter and the condition code register. Memory is reached only
// through H8Memory, so the same core runs under any board.
#ifndef KORVEL_SIM_H8_CPU_H
#define KORVEL_SIM_H8_CPU_H

#include <cstdint>
#include <string>

// A stretch of the address space that is plain memory: reading a byte gives
// the byte stored there, with no side effect. A board may hand such windows
// to the CPU (H8Memory::Window) so that instruction fetch and data access
// there skip the virtual calls. data points at the byte for address begin;
// the window covers begin .. begin + size - 1 (24-bit CPU addresses, as the
// CPU issues them). When writable is false the CPU still reads through the
// window but sends every write to Write8/16/32, so a board can watch writes
// (e.g. to flash) while reads stay fast.
struct H8Window {
  std::uint8_t* data = nullptr;
  std::uint32_t begin = 0;
  std::uint32_t size = 0;
  bool writable = false;
};

// The address space as the CPU sees it. Addresses are 24 bits; the board
// decides how it decodes them. Word and long accesses are big-endian and
// made of byte accesses unless a board overrides them.
//
// The CPU issues word and long accesses at even addresses only: like the
// chip, it ignores bit 0 of the address of a word or long operand and of an
// instruction fetch.
class H8Memory {
 public:
  virtual ~H8Memory() = default;
  virtual std::uint8_t Read8(std::uint32_t address) = 0;
  virtual void Write8(std::uint32_t address, std::uint8_t value) = 0;
  virtual std::uint16_t Read16(std::uint32_t address);
  virtual void Write16(std::uint32_t address, std::uint16_t value);
  virtual std::uint32_t Read32(std::uint32_t address);
  virtual void Write32(std::uint32_t address, std::uint32_t value);

  // Optional fast path. Asked for an address the CPU is about to fetch
  // from or access; a board that holds plain memory there fills window
  // (which must contain address and be at least 4 bytes long) and returns
  // true. The default returns false, and everything then goes through
  // Read8/Write8 and the word/long functions above, which is always
  // correct. The CPU keeps a window (one for fetch, one for data) until it
  // misses it or until H8Cpu::InvalidateWindows(); the board must keep the
  // bytes at window.data alive and meaning plain memory until then, and
  // call InvalidateWindows() when that stops being true (e.g. a region is
  // remapped or its reads start to have side effects).
  virtual bool Window(std::uint32_t address, H8Window& window);

  // States a data access of bytes (1, 2 or 4) at address takes beyond
  // on-chip memory's 2 a byte or word (a long is two words), for memory
  // that is slower, e.g. on-chip I/O registers. Asked only for addresses
  // outside the windows; the default is 0.
  virtual unsigned ExtraStates(std::uint32_t address, unsigned bytes);
};

// CCR bits.
constexpr std::uint8_t kCcrC = 0x01;
constexpr std::uint8_t kCcrV = 0x02;
constexpr std::uint8_t kCcrZ = 0x04;
constexpr std::uint8_t kCcrN = 0x08;
constexpr std::uint8_t kCcrU = 0x10;
constexpr std::uint8_t kCcrH = 0x20;
constexpr std::uint8_t kCcrUI = 0x40;
constexpr std::uint8_t kCcrI = 0x80;

namespace h8isa {
struct Form;
struct Tables;
const Tables& GetTables();
}

class H8Cpu {
 public:
  explicit H8Cpu(H8Memory& memory);

  // Starts execution at pc with interrupts masked (CCR = I), registers 0.
  // Clears a stop (unknown opcode or SLEEP) and the fetch/data windows.
  void Reset(std::uint32_t pc);

  // Executes one instruction. False when the CPU has stopped: an opcode it
  // does not know (Fault() then names the address and the bytes), or SLEEP.
  bool Step();

  // Executes up to count instructions; returns how many ran. Stops early
  // when Step() returns false.
  std::uint64_t Run(std::uint64_t count);

  std::uint32_t Pc() const;
  void SetPc(std::uint32_t pc);
  std::uint32_t Er(int n) const;
  void SetEr(int n, std::uint32_t value);
  std::uint8_t Ccr() const;
  void SetCcr(std::uint8_t ccr);

  // Instructions executed since construction (Reset does not clear it, so
  // a board may use it as its clock). SLEEP counts; an unknown opcode does
  // not.
  std::uint64_t InstructionCount() const;
  // Execution states since construction, as the H8/300H programming
  // manual counts them for on-chip memory: 2 for each instruction word
  // fetched, each byte or word of data read or written (a long is two
  // words) and each stack or branch-address word; 1 for each internal
  // operation; and what H8Memory::ExtraStates adds for slower memory. The
  // chip runs one state per cycle of its system clock.
  std::uint64_t States() const { return states_; }
  bool Stopped() const;
  const std::string& Fault() const;  // empty unless stopped on an unknown opcode

  // True when stopped by SLEEP (Pc() is then the address after it).
  bool Sleeping() const;

  // Exception handling as the chip does it for an interrupt or trap: pushes
  // the CCR and the PC as one long (CCR in the top byte), sets I, and
  // continues at the address in the vector table entry (4 bytes at
  // vector * 4). Wakes the CPU from SLEEP (not from an unknown opcode).
  // Masking (I, UI), priorities and UI itself (which the chip also sets
  // when SYSCR.UE is 0) are the board's business: this always takes the
  // exception and changes only I. TRAPA #n goes through here with vector
  // 8 + n.
  void TakeException(unsigned vector);

  // Forgets the fetch and data windows; the next accesses ask
  // H8Memory::Window again.
  void InvalidateWindows();

  // Everything below is the simulator's own.
 private:
  struct Ops;  // every instruction, with the decode table (h8_instructions.cpp)
  friend const h8isa::Tables& h8isa::GetTables();

  void ExecuteOne();
  std::uint16_t Fetch16();
  std::uint32_t Fetch32();
  std::uint16_t FetchMiss(std::uint32_t address);

  std::uint8_t Read8(std::uint32_t address);
  std::uint16_t Read16(std::uint32_t address);
  std::uint32_t Read32(std::uint32_t address);
  void Write8(std::uint32_t address, std::uint8_t value);
  void Write16(std::uint32_t address, std::uint16_t value);
  void Write32(std::uint32_t address, std::uint32_t value);
  bool DataWindow(std::uint32_t address);

  // The registers as instruction fields name them: a 4-bit field picks
  // R0H-R7H (0-7) or R0L-R7L (8-15) for bytes, R0-R7 or E0-E7 for words;
  // a 3-bit field picks ER0-ER7.
  std::uint32_t RegB(unsigned n) const {
    return (er_[n & 7] >> (~n & 8)) & 0xFF;
  }
  void SetRegB(unsigned n, std::uint32_t v) {
    const unsigned shift = ~n & 8;
    std::uint32_t& r = er_[n & 7];
    r = (r & ~(0xFFu << shift)) | ((v & 0xFF) << shift);
  }
  std::uint32_t RegW(unsigned n) const {
    return (er_[n & 7] >> ((n & 8) << 1)) & 0xFFFF;
  }
  void SetRegW(unsigned n, std::uint32_t v) {
    const unsigned shift = (n & 8) << 1;
    std::uint32_t& r = er_[n & 7];
    r = (r & ~(0xFFFFu << shift)) | ((v & 0xFFFF) << shift);
  }

  // One window as the CPU keeps it: off = address - begin is inside for an
  // n-byte access when off < limit[n] (limit = size - n + 1).
  struct Window {
    std::uint8_t* data = nullptr;
    std::uint32_t begin = 0;
    std::uint32_t limit1 = 0;
    std::uint32_t limit2 = 0;
    std::uint32_t limit4 = 0;
    bool writable = false;
    void Set(const H8Window& w);
    void Clear() { *this = Window(); }
  };
  // The data window holds an access of the size Limit stands for at a:
  // off is then its offset in the window (asking the board once on a miss).
  template <std::uint32_t Window::*Limit>
  bool DataHit(std::uint32_t a, std::uint32_t& off);

  H8Memory& memory_;
  std::uint32_t er_[8] = {};
  std::uint32_t pc_ = 0;
  std::uint32_t insn_pc_ = 0;  // address of the instruction being executed
  std::uint8_t ccr_ = kCcrI;
  bool stopped_ = false;
  bool sleeping_ = false;
  std::uint64_t count_ = 0;
  std::uint64_t states_ = 0;
  std::string fault_;
  Window fetch_;
  Window data_;
  const h8isa::Form* forms_;            // the decode tables (h8_isa.h)
  const std::uint16_t* const* nodes_;
};
// ---------------------------------------------------------------------------
// Fetch and data access, inline because every instruction goes through
// them. Every path first tries the cached window, then asks the board for
// one, then falls back to the H8Memory calls.

inline std::uint16_t H8Cpu::Fetch16() {
  states_ += 2;
  const std::uint32_t a = pc_ & 0xFFFFFE;
  pc_ = (a + 2) & 0xFFFFFF;
  const std::uint32_t off = a - fetch_.begin;
  if (off < fetch_.limit2) {
    return static_cast<std::uint16_t>((fetch_.data[off] << 8) | fetch_.data[off + 1]);
  }
  return FetchMiss(a);
}

inline std::uint32_t H8Cpu::Fetch32() {
  const std::uint32_t hi = Fetch16();
  return (hi << 16) | Fetch16();
}

template <std::uint32_t H8Cpu::Window::*Limit>
inline bool H8Cpu::DataHit(std::uint32_t a, std::uint32_t& off) {
  off = a - data_.begin;
  return off < data_.*Limit || (DataWindow(a) && (off = a - data_.begin) < data_.*Limit);
}

inline std::uint8_t H8Cpu::Read8(std::uint32_t address) {
  states_ += 2;
  const std::uint32_t a = address & 0xFFFFFF;
  std::uint32_t off = 0;
  if (DataHit<&Window::limit1>(a, off)) {
    return data_.data[off];
  }
  states_ += memory_.ExtraStates(a, 1);
  return memory_.Read8(a);
}

inline std::uint16_t H8Cpu::Read16(std::uint32_t address) {
  states_ += 2;
  const std::uint32_t a = address & 0xFFFFFE;
  std::uint32_t off = 0;
  if (DataHit<&Window::limit2>(a, off)) {
    return static_cast<std::uint16_t>((data_.data[off] << 8) | data_.data[off + 1]);
  }
  states_ += memory_.ExtraStates(a, 2);
  return memory_.Read16(a);
}

inline std::uint32_t H8Cpu::Read32(std::uint32_t address) {
  states_ += 4;
  const std::uint32_t a = address & 0xFFFFFE;
  std::uint32_t off = 0;
  if (DataHit<&Window::limit4>(a, off)) {
    const std::uint8_t* p = data_.data + off;
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
  }
  states_ += memory_.ExtraStates(a, 4);
  return memory_.Read32(a);
}

inline void H8Cpu::Write8(std::uint32_t address, std::uint8_t value) {
  states_ += 2;
  const std::uint32_t a = address & 0xFFFFFF;
  std::uint32_t off = 0;
  if (DataHit<&Window::limit1>(a, off) && data_.writable) {
    data_.data[off] = value;
    return;
  }
  states_ += memory_.ExtraStates(a, 1);
  memory_.Write8(a, value);
}

inline void H8Cpu::Write16(std::uint32_t address, std::uint16_t value) {
  states_ += 2;
  const std::uint32_t a = address & 0xFFFFFE;
  std::uint32_t off = 0;
  if (DataHit<&Window::limit2>(a, off) && data_.writable) {
    data_.data[off] = static_cast<std::uint8_t>(value >> 8);
    data_.data[off + 1] = static_cast<std::uint8_t>(value);
    return;
  }
  states_ += memory_.ExtraStates(a, 2);
  memory_.Write16(a, value);
}

inline void H8Cpu::Write32(std::uint32_t address, std::uint32_t value) {
  states_ += 4;
  const std::uint32_t a = address & 0xFFFFFE;
  std::uint32_t off = 0;
  if (DataHit<&Window::limit4>(a, off) && data_.writable) {
    std::uint8_t* p = data_.data + off;
    p[0] = static_cast<std::uint8_t>(value >> 24);
    p[1] = static_cast<std::uint8_t>(value >> 16);
    p[2] = static_cast<std::uint8_t>(value >> 8);
    p[3] = static_cast<std::uint8_t>(value);
    return;
  }
  states_ += memory_.ExtraStates(a, 4);
  memory_.Write32(a, value);
}

#endif
