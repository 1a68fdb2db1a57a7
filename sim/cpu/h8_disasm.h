// Decoding queries over the same tables the CPU executes from: the length
// and mnemonic of the instruction at an address, and its operands written
// the way the GNU disassembler writes them (registers r0h..r7l, r0..e7,
// er0..er7; "#0x12", "@0xbc:8", "@0x1234:16", "@0x123456:24",
// "@(0x10:16,er1)", "@er1+", "@-er7", "@@0x20"; a branch shows its target
// address, "0xff31a").
#ifndef KORVEL_SIM_H8_DISASM_H
#define KORVEL_SIM_H8_DISASM_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "h8_cpu.h"

struct H8Instruction {
  std::uint32_t address = 0;
  int length = 0;        // bytes; 0 when the CPU would stop on these bytes
  std::string mnemonic;  // "mov.b", "bne", "inc.b"; empty when unknown
  std::string operands;  // "r0l,@0xbb:8"; empty for rts, nop, ...
  bool Known() const { return length != 0; }
  // "mov.b\tr0l,@0xbb:8", or "(unknown)".
  std::string Text() const;
};

// Decodes the instruction at address. Reads the memory byte by byte through
// Read8 and only as far as the instruction goes, so aim it at memory whose
// reads have no side effects.
H8Instruction H8Disassemble(H8Memory& memory, std::uint32_t address);

// The same over a buffer that holds the bytes from address onward; an
// instruction that would run past size bytes is reported unknown.
H8Instruction H8Disassemble(const std::uint8_t* bytes, std::size_t size, std::uint32_t address);

#endif
