// Walks the decode tables of h8_isa.h over bytes and renders the operand
// template of the form it reaches. Templates (h8_instructions.cpp); N is a
// hex digit giving a nibble position (registers) or a byte offset
// (everything else):
//   %bN %wN %lN     byte / word / long register in nibble N
//   %kN             bit number #n in nibble N (low 3 bits)
//   %IN %JN %KN     #imm 8 / 16 / 32 bits at byte N
//   %AN %BN %CN     @aa:8 / @aa:16 / @aa:24 (24 bits from byte N)
//   %DNM %ENM       @(d:16,ERm) / @(d:24,ERm): displacement at byte N,
//                   register in nibble M
//   %PN %QN         branch target, 8-/16-bit displacement at byte N
//   %VN             @@aa:8 at byte N
#include "h8_disasm.h"

#include <cstdio>
#include <functional>

#include "h8_isa.h"

namespace {

const char* const kByteRegs[16] = {"r0h", "r1h", "r2h", "r3h", "r4h", "r5h", "r6h", "r7h",
                                   "r0l", "r1l", "r2l", "r3l", "r4l", "r5l", "r6l", "r7l"};
const char* const kWordRegs[16] = {"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7",
                                   "e0", "e1", "e2", "e3", "e4", "e5", "e6", "e7"};

std::string Hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(v));
  return text;
}

int Digit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return 0;
}

// The instruction's bytes b[0..length-1].
std::string Render(const char* t, const std::uint8_t* b, std::uint32_t address, int length) {
  auto nibble = [b](int n) { return (n & 1) ? b[n / 2] & 0xF : b[n / 2] >> 4; };
  auto u16 = [b](int i) { return static_cast<std::uint32_t>((b[i] << 8) | b[i + 1]); };
  auto u24 = [b](int i) { return static_cast<std::uint32_t>((b[i] << 16) | (b[i + 1] << 8) | b[i + 2]); };
  const std::uint32_t next = address + static_cast<std::uint32_t>(length);
  std::string out;
  for (; *t != '\0'; ++t) {
    if (*t != '%') {
      out += *t;
      continue;
    }
    const char code = *++t;
    const int n = Digit(*++t);
    switch (code) {
      case 'b': out += kByteRegs[nibble(n)]; break;
      case 'w': out += kWordRegs[nibble(n)]; break;
      case 'l': out += "er" + std::to_string(nibble(n) & 7); break;
      case 'k': out += "#" + Hex(nibble(n) & 7); break;
      case 'I': out += "#" + Hex(b[n]); break;
      case 'J': out += "#" + Hex(u16(n)); break;
      case 'K': out += "#" + Hex((u16(n) << 16) | u16(n + 2)); break;
      case 'A': out += "@" + Hex(b[n]) + ":8"; break;
      case 'B': out += "@" + Hex(u16(n)) + ":16"; break;
      case 'C': out += "@" + Hex(u24(n)) + ":24"; break;
      case 'D':
      case 'E': {
        const int reg = Digit(*++t);
        out += "@(" + (code == 'D' ? Hex(u16(n)) + ":16" : Hex(u24(n)) + ":24") + ",er" +
               std::to_string(nibble(reg) & 7) + ")";
        break;
      }
      case 'P': out += Hex((next + static_cast<std::uint32_t>(static_cast<std::int8_t>(b[n]))) & 0xFFFFFF); break;
      case 'Q':
        out += Hex((next + static_cast<std::uint32_t>(static_cast<std::int16_t>(u16(n)))) & 0xFFFFFF);
        break;
      case 'V': out += "@@" + Hex(b[n]); break;
      default: out += '?'; break;
    }
  }
  return out;
}

H8Instruction Decode(const std::function<bool(std::uint32_t offset, std::uint8_t& byte)>& read,
                     std::uint32_t address) {
  H8Instruction insn;
  insn.address = address;
  const h8isa::Tables& tables = h8isa::GetTables();
  std::uint8_t bytes[10] = {};
  std::uint32_t have = 0;
  auto word = [&](std::uint32_t at, std::uint16_t& w) {
    if (!read(at, bytes[at]) || !read(at + 1, bytes[at + 1])) return false;
    have = at + 2;
    w = static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
    return true;
  };
  std::uint16_t w = 0;
  if (!word(0, w)) return insn;
  const h8isa::Form* form = &tables.forms[tables.nodes[0][w]];
  while (form->next != 0) {
    if (!word(have, w)) return insn;
    form = &tables.forms[tables.nodes[form->next][w]];
  }
  if (form->length == 0) return insn;
  for (std::uint32_t i = have; i < form->length; ++i) {
    if (!read(i, bytes[i])) return insn;
  }
  insn.length = form->length;
  insn.mnemonic = form->mnemonic;
  insn.operands = Render(form->operands, bytes, address, form->length);
  return insn;
}

}  // namespace

std::string H8Instruction::Text() const {
  if (!Known()) return "(unknown)";
  return operands.empty() ? mnemonic : mnemonic + "\t" + operands;
}

H8Instruction H8Disassemble(H8Memory& memory, std::uint32_t address) {
  return Decode(
      [&memory, address](std::uint32_t offset, std::uint8_t& byte) {
        byte = memory.Read8((address + offset) & 0xFFFFFF);
        return true;
      },
      address);
}

H8Instruction H8Disassemble(const std::uint8_t* bytes, std::size_t size, std::uint32_t address) {
  return Decode(
      [bytes, size](std::uint32_t offset, std::uint8_t& byte) {
        if (offset >= size) return false;
        byte = bytes[offset];
        return true;
      },
      address);
}
