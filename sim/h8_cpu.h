// An instruction-set simulator of the H8/300H CPU core in advanced mode:
// eight 32-bit registers ER0-ER7 (ER7 is the stack pointer), a 24-bit
// program counter and the condition code register. Memory is reached only
// through H8Memory, so the same core runs under any board.
#ifndef KORVEL_SIM_H8_CPU_H
#define KORVEL_SIM_H8_CPU_H

#include <cstdint>
#include <string>

// The address space as the CPU sees it. Addresses are 24 bits; the board
// decides how it decodes them. Word and long accesses are big-endian and
// made of byte accesses unless a board overrides them.
class H8Memory {
 public:
  virtual ~H8Memory() = default;
  virtual std::uint8_t Read8(std::uint32_t address) = 0;
  virtual void Write8(std::uint32_t address, std::uint8_t value) = 0;
  virtual std::uint16_t Read16(std::uint32_t address);
  virtual void Write16(std::uint32_t address, std::uint16_t value);
  virtual std::uint32_t Read32(std::uint32_t address);
  virtual void Write32(std::uint32_t address, std::uint32_t value);
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

class H8Cpu {
 public:
  explicit H8Cpu(H8Memory& memory);

  // Starts execution at pc with interrupts masked (CCR = I), registers 0.
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

  std::uint64_t InstructionCount() const;
  bool Stopped() const;
  const std::string& Fault() const;  // empty unless stopped on an unknown opcode

  // ... (private state and the decode table are the implementer's)
};

#endif
