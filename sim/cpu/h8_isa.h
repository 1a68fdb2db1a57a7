// The decode tables shared by the CPU core and the disassembler. Internal to
// the core: boards use h8_cpu.h and h8_disasm.h. The instructions
// themselves (encoding, mnemonic, operands and handler, one entry each) are
// listed in h8_instructions.cpp.
//
// Decoding walks a small tree of 65536-entry tables, one word at a time.
// Node 0 is indexed by an instruction's first word. Its entry names a form;
// a form either is an instruction (next == 0) or says that the following
// word decides (next = the node to index with it): that is how the prefixed
// encodings (01 00 .., 01 40 .., 01 C0 .., 01 D0 .., 01 F0 .., 78 .., 7C ..
// to 7F ..) are told apart, and 01 00 78 .. / 01 40 78 .. take a third
// level. Form 0 is the unknown instruction, so every word that no form
// claims stops the CPU.
#ifndef KORVEL_SIM_H8_ISA_H
#define KORVEL_SIM_H8_ISA_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class H8Cpu;

namespace h8isa {

// Runs an instruction. op holds the last two words decoded (for a form of
// one word, just that word); the PC already points past them, and the
// handler fetches any further words (immediates, displacements, addresses).
using Exec = void (*)(H8Cpu& cpu, std::uint32_t op);

struct Form {
  Exec exec = nullptr;
  std::uint16_t next = 0;        // 0: an instruction; else the node the next word indexes
  std::uint8_t length = 0;       // bytes; 0 for the unknown instruction and for prefixes
  // Execution states beyond the 2 states of each word fetched and each
  // byte or word of data moved, which the CPU counts as it goes (see
  // H8Cpu::States()): internal operations and a branch's extra fetch.
  std::uint8_t extraStates = 0;
  const char* mnemonic = "";     // "mov.b", "bne"
  const char* operands = "";     // operand template, rendered by h8_disasm.cpp
};

struct Tables {
  std::vector<Form> forms;                             // forms[0]: unknown
  std::vector<std::unique_ptr<std::uint16_t[]>> nodes;  // 65536 form indices each
  std::vector<const std::uint16_t*> node_pointers;      // nodes[i].get()
};

// One instruction form as h8_instructions.cpp lists it. words: up to three
// 16-bit patterns, one character a nibble:
//   0-9 A-F  that nibble
//   x        any value
//   r        0-7 (a 3-bit register or bit-number field, top bit clear)
//   R        8-F (the same field with the top bit set)
//   q        0-3
// operands: the template h8_disasm.cpp renders (described there).
struct FormSpec {
  const char* words[3];
  std::uint8_t length;
  const char* mnemonic;
  const char* operands;
  Exec exec;
};

// The tree of tables for a list of forms; every word no form claims runs
// unknown. Two forms that claim the same encoding abort, so the list cannot
// silently shadow itself.
Tables BuildDecodeTree(const FormSpec* forms, std::size_t count, Exec unknown);

// The core's tables (h8_instructions.cpp): built on first use, then shared
// and never changed.
const Tables& GetTables();

}  // namespace h8isa

#endif
