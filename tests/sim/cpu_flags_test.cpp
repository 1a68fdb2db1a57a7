// Condition codes of the arithmetic, logic, shift and bit instructions on
// boundary values, worked by hand from the instruction definitions. Each
// case also checks the disassembly of its bytes, so that a mistyped
// encoding shows up as such rather than as a wrong flag.
#include <gtest/gtest.h>

#include <vector>

#include "h8_cpu.h"
#include "h8_disasm.h"

namespace {

using Bytes8 = std::vector<std::uint8_t>;
constexpr std::uint32_t kSnippetAddress = 0x1000;

// The whole 24-bit space as plain memory, handed to the CPU as one window
// but for the top page (the chip's I/O), which goes through the calls.
class FlatMemory : public H8Memory {
 public:
  FlatMemory() : bytes_(1u << 24) {}
  std::uint8_t Read8(std::uint32_t a) override { return bytes_.at(a); }
  void Write8(std::uint32_t a, std::uint8_t v) override { bytes_.at(a) = v; }
  bool Window(std::uint32_t a, H8Window& w) override {
    w = H8Window{bytes_.data(), 0, 0xFFFF00, true};
    return a < 0xFFFF00;
  }
  std::vector<std::uint8_t> bytes_;
};

// Runs code placed at kSnippetAddress until the PC leaves it.
void RunSnippet(H8Cpu& cpu, FlatMemory& memory, const Bytes8& code) {
  std::copy(code.begin(), code.end(), memory.bytes_.begin() + kSnippetAddress);
  cpu.SetPc(kSnippetAddress);
  for (int i = 0; i < 1000 && cpu.Pc() >= kSnippetAddress && cpu.Pc() < kSnippetAddress + code.size(); ++i) {
    ASSERT_TRUE(cpu.Step()) << cpu.Fault();
  }
}

// The disassembler's text for each instruction, joined with "; ".
std::string DisassembleAll(const Bytes8& code, std::uint32_t address) {
  std::string out;
  for (std::size_t off = 0; off < code.size();) {
    const H8Instruction insn = H8Disassemble(code.data() + off, code.size() - off, address + static_cast<std::uint32_t>(off));
    out += (out.empty() ? "" : "; ") + (insn.Known() ? insn.Text() : "?");
    off += insn.Known() ? static_cast<std::size_t>(insn.length) : 2;
  }
  for (char& c : out) c = c == '\t' ? ' ' : c;
  return out;
}

constexpr std::uint8_t H = kCcrH, N = kCcrN, Z = kCcrZ, V = kCcrV, C = kCcrC;

struct FlagCase {
  const char* text;  // disassembly of code
  Bytes8 code;
  std::uint32_t er0, er1;
  std::uint8_t ccr_in;
  std::uint32_t er0_out;
  std::uint8_t ccr_out;
  std::uint8_t care = H | N | Z | V | C;  // CCR bits the instruction defines
  std::uint8_t undefined = 0;             // bits the manual leaves undefined
  std::uint64_t states = 0;               // the snippet's execution states (0: not counted)
};

std::string Flags(std::uint8_t ccr) {
  std::string s;
  for (int bit = 7; bit >= 0; --bit) s += (ccr >> bit) & 1 ? "IUHUNZVC"[7 - bit] : '-';
  return s;
}

void Check(const std::vector<FlagCase>& cases) {
  for (const FlagCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(DisassembleAll(c.code, kSnippetAddress), c.text);
    FlatMemory memory;
    H8Cpu cpu(memory);
    cpu.Reset(kSnippetAddress);
    cpu.SetEr(0, c.er0);
    cpu.SetEr(1, c.er1);
    cpu.SetCcr(c.ccr_in);
    RunSnippet(cpu, memory, c.code);
    EXPECT_EQ(cpu.Er(0), c.er0_out) << std::hex << cpu.Er(0);
    EXPECT_EQ(Flags(cpu.Ccr() & c.care), Flags(c.ccr_out & c.care));
    const std::uint8_t untouched = static_cast<std::uint8_t>(~(c.care | c.undefined));
    EXPECT_EQ(Flags(cpu.Ccr() & untouched), Flags(c.ccr_in & untouched)) << "bits the instruction must leave alone";
    EXPECT_EQ(cpu.Er(1), c.er1);
    EXPECT_TRUE(c.states == 0 || cpu.States() == c.states) << cpu.States() << " states";
  }
}

TEST(CpuFlags, OfEachInstructionOnBoundaryValues) {
  const std::uint8_t defined = N | Z | C;
  Check({
      // ADD carries from bits 3 and 7 (11 and 15, 27 and 31).
      {"add.b r1l,r0l", {0x08, 0x98}, 0x7F, 0x01, 0, 0x80, N | V | H},
      {"add.b r1l,r0l", {0x08, 0x98}, 0xFF, 0x01, 0, 0x00, H | Z | C}, {"add.b r1l,r0l", {0x08, 0x98}, 0x80, 0x80, 0, 0x00, Z | V | C},
      {"add.w r1,r0", {0x09, 0x10}, 0x0FFF, 0x0001, 0, 0x1000, H}, {"add.w #0x8000,e0", {0x79, 0x18, 0x80, 0x00}, 0x80001234, 0, 0, 0x00001234, Z | V | C},
      {"add.l er1,er0", {0x0A, 0x90}, 0x0FFFFFFF, 1, 0, 0x10000000, H}, {"add.l er1,er0", {0x0A, 0x90}, 0xFFFFFFFF, 1, 0, 0, H | Z | C},
      // SUB, CMP and NEG borrow.
      {"sub.b r1l,r0l", {0x18, 0x98}, 0x00, 0x01, 0, 0xFF, H | N | C}, {"sub.b r1l,r0l", {0x18, 0x98}, 0x80, 0x01, 0, 0x7F, H | V},
      {"sub.l er1,er0", {0x1A, 0x90}, 0, 1, 0, 0xFFFFFFFF, H | N | C},
      // CMP sets the flags of the subtraction and writes nothing.
      {"cmp.b #0x42,r0l", {0xA8, 0x42}, 0x42, 0, N | C, 0x42, Z}, {"cmp.w r1,r0", {0x1D, 0x10}, 0x8000, 0x0001, 0, 0x8000, H | V}, {"cmp.l er1,er0", {0x1F, 0x90}, 5, 6, 0, 5, H | N | C},
      {"neg.b r0l", {0x17, 0x88}, 0x80, 0, 0, 0x80, N | V | C}, {"neg.b r0l", {0x17, 0x88}, 0x00, 0, N | C, 0x00, Z},
      {"neg.l er0", {0x17, 0xB0}, 0x80000000, 0, 0, 0x80000000, N | V | C},
      // INC and DEC keep H and C; ADDS and SUBS keep all.
      {"inc.b r0l", {0x0A, 0x08}, 0x7F, 0, H | C, 0x80, N | V | H | C}, {"inc.w #2,r0", {0x0B, 0xD0}, 0x7FFE, 0, C, 0x8000, N | V | C}, {"inc.l #1,er0", {0x0B, 0x70}, 0xFFFFFFFF, 0, H, 0, Z | H},
      {"dec.b r0l", {0x1A, 0x08}, 0x80, 0, C, 0x7F, V | C}, {"dec.w #1,e0", {0x1B, 0x58}, 0x00010000, 0, Z, 0, Z},
      {"dec.l #1,er0", {0x1B, 0x70}, 0, 0, H | C, 0xFFFFFFFF, N | H | C}, {"adds #4,er0", {0x0B, 0x90}, 0xFFFFFFFE, 0, H | N | Z | V | C, 2, H | N | Z | V | C},
      {"subs #1,er0", {0x1B, 0x00}, 0, 0, 0, 0xFFFFFFFF, 0}, {"adds #2,er0", {0x0B, 0x80}, 0xFFFFFFFF, 0, 0, 1, 0},
      // Moves and logic set N and Z, clear V and keep C.
      {"mov.b #0x0,r0l", {0xF8, 0x00}, 0x12345678, 0, V | C | N, 0x12345600, Z | C}, {"mov.w r1,r0", {0x0D, 0x10}, 0xAAAA0000, 0x8000, Z | V, 0xAAAA8000, N},
      {"mov.l #0x80000000,er0", {0x7A, 0x00, 0x80, 0, 0, 0}, 0, 0, H, 0x80000000, N | H}, {"and.b #0xf,r0l", {0xE8, 0x0F}, 0xF0, 0, V | C, 0x00, Z | C},
      {"xor.l er1,er0", {0x01, 0xF0, 0x65, 0x10}, 0x1234, 0x1234, N | C, 0, Z | C},
      {"xor.b #0xff,r0l", {0xD8, 0xFF}, 0x120F, 0, V | C, 0x12F0, N | C}, {"not.l er0", {0x17, 0x30}, 0, 0, 0, 0xFFFFFFFF, N},
      // Registers by number (r1h is 1), a word stored and read back, a multiply, subs' length.
      {"mov.b r1h,@0x20:8; mov.b @0x20:8,r0l; mulxs.b r1h,r0; mov.w r0,@er1; mov.w @er1,e0; subs #4,er0; adds #1,er0",
       {0x31, 0x20, 0x28, 0x20, 0x01, 0xC0, 0x50, 0x10, 0x69, 0x90, 0x69, 0x18, 0x1B, 0x90, 0x0B, 0x00}, 0x300, 0x1000,
       C | N | Z, 0x010000FD, C},
      // Jumps, LE taken with every flag set, a return from an exception (its CCR with the PC), a block move; each jump skips a 2-byte instruction.
      {"jmp @0x1006:24; inc.b r0l; inc.b r0l", {0x5A, 0x00, 0x10, 0x06, 0x0A, 0x08, 0x0A, 0x08}, 0, 0, 0, 1, 0}, {"jmp @0x1007:24; inc.b r0l; inc.b r0l", {0x5A, 0x00, 0x10, 0x07, 0x0A, 0x08, 0x0A, 0x08}, 0, 0, 0, 1, 0},  // an odd PC: fetches ignore bit 0
      {"ble 0x1004; inc.b r0l; inc.b r0l", {0x4F, 0x02, 0x0A, 0x08, 0x0A, 0x08}, 0, 0, N | Z | V | C, 1, C},
      {"mov.l er1,@0x20:16; jsr @@0x20; inc.b r0l; inc.b r0l; inc.b r0l", {0x01, 0x00, 0x6B, 0x81, 0x00, 0x20, 0x5F, 0x20, 0x0A, 0x08, 0x0A, 0x08, 0x0A, 0x08}, 0, 0x100C, 0, 1, 0, N | Z | V, 0, 24},
      {"mov.l er1,@0x20:16; jmp @@0x20; inc.b r0l; inc.b r0l", {0x01, 0x00, 0x6B, 0x81, 0x00, 0x20, 0x5B, 0x20, 0x0A, 0x08, 0x0A, 0x08}, 0, 0x100A, 0, 1, 0, N | Z | V, 0, 22},
      {"mov.l er1,@-er7; rte; inc.b r0l; inc.b r0l", {0x01, 0x00, 0x6D, 0xF1, 0x56, 0x70, 0x0A, 0x08, 0x0A, 0x08}, 0, 0x8F001008, 0, 1, 0x81, 0xFF, 0, 22},
      {"mov.l er0,@er1; mov.l er1,er5; mov.l er1,er6; adds #4,er6; mov.w #0x103,r4; eepmov.b; mov.l @er6,er0; mov.w r4,r0",  // 3 bytes on, read from H'2006; R4H kept
       {0x01, 0x00, 0x69, 0x90, 0x0F, 0x95, 0x0F, 0x96, 0x0B, 0x96, 0x79, 0x04, 0x01, 0x03, 0x7B, 0x5C, 0x59, 0x8F, 0x01, 0x00, 0x69, 0x60, 0x0D, 0x40}, 0x11223344, 0x2000, 0, 0x33000100, 0},
      {"mov.l er1,er5; mov.l er1,er6; adds #4,er6; mov.w #0x100,r4; eepmov.w; mov.w r4,e0; mov.w r6,r0", {0x0F, 0x95, 0x0F, 0x96, 0x0B, 0x96, 0x79, 0x04, 0x01, 0x00, 0x7B, 0xD4, 0x59, 0x8F, 0x0D, 0x48, 0x0D, 0x60}, 0x11223344, 0x2000, 0, 0x2104, 0, H | N | Z | V | C, 0, 14 + 4 + 4 * 256 + 4},  // all of R4 counts, then cleared; 2n + 2 byte accesses
      // Divides: N and Z of the divisor (unsigned), of the quotient (signed); by zero the dividend stays.
      {"divxu.b r1l,r0", {0x51, 0x90}, 0x0107, 0x80, V | C, 0x0702, N | V | C, N | Z, 0, 14}, {"divxu.b r1l,r0", {0x51, 0x90}, 0x0107, 0, N, 0x0107, Z, N | Z},
      {"divxu.w r1,er0", {0x53, 0x10}, 0x00018001, 0x8000, Z, 0x00010003, N, N | Z, 0, 22}, {"divxs.b r1l,r0", {0x01, 0xD0, 0x51, 0x90}, 0xFFF9, 2, Z, 0xFFFD, N, N | Z, 0, 16},
      {"divxs.w r1,er0", {0x01, 0xD0, 0x53, 0x10}, 0x00000007, 0xFFFE, N, 0x0001FFFD, N, N | Z, 0, 24},
      {"divxs.b r1l,r0", {0x01, 0xD0, 0x51, 0x90}, 0x1234, 0, N, 0x1234, Z, N | Z}, {"divxs.w r1,er0", {0x01, 0xD0, 0x53, 0x10}, 7, 0, N, 7, Z, N | Z},
      // Shifts put the outgoing bit in C; EXTU and EXTS clear or copy the sign.
      {"shll.b r0l", {0x10, 0x08}, 0x81, 0, V, 0x02, C},
      {"shal.b r0l", {0x10, 0x88}, 0x40, 0, 0, 0x80, N | V},  // sign changed: overflow
      {"shal.b r0l", {0x10, 0x88}, 0xC0, 0, 0, 0x80, N | C}, {"shll.w r0", {0x10, 0x10}, 0x4000, 0, 0, 0x8000, N},  // SHLL never sets V
      {"shal.w r0", {0x10, 0x90}, 0x4080, 0, 0, 0x8100, N | V}, {"shll.l er0", {0x10, 0x30}, 0x80000000, 0, 0, 0, Z | C},
      {"shar.b r0l", {0x11, 0x88}, 0x81, 0, 0, 0xC0, N | C}, {"shar.l er0", {0x11, 0xB0}, 0x80000000, 0, 0, 0xC0000000, N},
      {"rotr.l er0", {0x13, 0xB0}, 1, 0, 0, 0x80000000, N | C}, {"rotl.b r0l", {0x12, 0x88}, 0x0180, 0, 0, 0x0101, C},
      {"rotr.b r0l; rotr.b r0l", {0x13, 0x88, 0x13, 0x88}, 0x0102, 0, 0, 0x0180, N | C},
      {"rotxl.b r0l", {0x12, 0x08}, 0x00, 0, C, 0x01, 0}, {"rotxr.l er0", {0x13, 0x30}, 1, 0, C, 0x80000000, N | C},
      {"extu.w r0", {0x17, 0x50}, 0x1234FF80, 0, N | C, 0x12340080, C}, {"exts.w r0", {0x17, 0xD0}, 0x00000080, 0, 0, 0x0000FF80, N}, {"exts.l er0", {0x17, 0xF0}, 0xFFFF7FFF, 0, N, 0x00007FFF, 0},
      // ADDX and SUBX use C and only ever clear Z.
      {"addx r1l,r0l", {0x0E, 0x98}, 0xFF, 0x00, Z | C, 0x00, H | Z | C},
      {"addx r1l,r0l", {0x0E, 0x98}, 0xFF, 0x00, C, 0x00, H | C},  // Z stays clear
      {"addx r1l,r0l", {0x0E, 0x98}, 0x0F, 0x00, Z | C, 0x10, H},
      {"addx #0x7f,r0l", {0x98, 0x7F}, 0x00, 0, C, 0x80, N | V | H}, {"subx r1l,r0l", {0x1E, 0x98}, 0x00, 0x00, Z | C, 0xFF, H | N | C},
      {"subx #0x1,r0l", {0xB8, 0x01}, 0x01, 0, Z, 0x00, Z},  // Z stays set on a zero result
      // Decimal adjust after add and subtract: 58 + 67 = 125 and 25 - 67 = -42 (58 with a borrow), in BCD. H and V
      // are left undefined by DAA/DAS.
      {"add.b r1l,r0l; daa r0l", {0x08, 0x98, 0x0F, 0x08}, 0x58, 0x67, 0, 0x25, C, defined, H | V},
      {"add.b r1l,r0l; daa r0l", {0x08, 0x98, 0x0F, 0x08}, 0x50, 0x50, 0, 0x00, Z | C, defined, H | V},
      {"sub.b r1l,r0l; das r0l", {0x18, 0x98, 0x1F, 0x08}, 0x25, 0x67, 0, 0x58, C, defined, H | V},
      {"sub.b r1l,r0l; das r0l", {0x18, 0x98, 0x1F, 0x08}, 0x42, 0x17, 0, 0x25, 0, defined, H | V},
      // Bit instructions work on Z or C, control instructions on the whole CCR.
      {"btst #0x3,r0l", {0x73, 0x38}, 0x08, 0, Z | C, 0x08, C}, {"btst #0x3,r0l", {0x73, 0x38}, 0xF7, 0, N, 0xF7, N | Z},
      {"btst r1l,r0l", {0x63, 0x98}, 0x80, 0x0F, 0, 0x80, 0},  // bit number = r1l & 7
      {"bld #0x0,r0l", {0x77, 0x08}, 0x01, 0, Z, 0x01, Z | C}, {"biand #0x1,r0l", {0x76, 0x98}, 0x02, 0, C, 0x02, 0},
      {"bor #0x1,r0l", {0x74, 0x18}, 0x02, 0, 0, 0x02, C}, {"bst #0x7,r0l", {0x67, 0x78}, 0x00, 0, C, 0x80, C},
      {"bist #0x7,r0l", {0x67, 0xF8}, 0xFF, 0, C, 0x7F, C}, {"bnot r1l,r0l", {0x61, 0x98}, 0x0F, 0x03, 0, 0x07, 0},
      {"bild #0x0,r0l", {0x77, 0x88}, 0x02, 0, 0, 0x02, C}, {"band #0x2,r0l", {0x76, 0x28}, 0x02, 0, C, 0x02, 0},
      {"bior #0x1,r0l", {0x74, 0x98}, 0x00, 0, 0, 0, C}, {"bxor #0x1,r0l", {0x75, 0x18}, 0x02, 0, C, 0x02, 0}, {"bixor #0x1,r0l", {0x75, 0x98}, 0x02, 0, C, 0x02, C},
      {"ldc r0l,ccr; orc #0x41,ccr", {0x03, 0x08, 0x04, 0x41}, 0x85, 0, 0, 0x85, 0xC5, 0xFF},
      {"mov.w r0,@er1; ldc @er1,ccr", {0x69, 0x90, 0x01, 0x40, 0x69, 0x10}, 0x8A00, 0x2000, 0, 0x8A00, 0x8A, 0xFF},
      {"ldc #0x8f,ccr", {0x07, 0x8F}, 0, 0, 0x00, 0, 0x8F, 0xFF}, {"andc #0xf,ccr", {0x06, 0x0F}, 0, 0, 0xFF, 0, 0x0F, 0xFF},
      {"xorc #0xff,ccr", {0x05, 0xFF}, 0, 0, 0x0F, 0, 0xF0, 0xFF}, {"stc ccr,r0l", {0x02, 0x08}, 0x1200, 0, 0xA5, 0x12A5, 0xA5, 0xFF},
      // Memory operands: bits of absolute bytes (@aa:8 is H'FFFFaa), the CCR stored as a word (high byte).
      {"bnot #0x0,@0x20:8; bnot #0x7,@0x21:8; mov.w @0xff20:16,r0",
       {0x7F, 0x20, 0x71, 0x00, 0x7F, 0x21, 0x71, 0x70, 0x6B, 0x00, 0xFF, 0x20},
       0, 0, C, 0x0180, C},
      {"bnot #0x0,@er1; mov.b @er1,r0l", {0x7D, 0x10, 0x71, 0x00, 0x68, 0x18}, 0, 0x2000, C, 0x01, C},
      {"mov.b r0l,@0xff20:16; mov.w @0xff20:16,r0", {0x6A, 0x88, 0xFF, 0x20, 0x6B, 0x00, 0xFF, 0x20}, 0xAB12, 0, C, 0x1200, C},
      {"mov.l er0,@er1; mov.l @er1,er0", {0x01, 0x00, 0x69, 0x90, 0x01, 0x00, 0x69, 0x10}, 0x12345678, 0x2000, C, 0x12345678, C},
      {"mov.w r0,@0xff20:16; mov.b @0xff21:16,r0h", {0x6B, 0x80, 0xFF, 0x20, 0x6A, 0x00, 0xFF, 0x21}, 0x1234, 0, C, 0x3434, C},
      {"stc ccr,@er1; mov.b @er1,r0l", {0x01, 0x40, 0x69, 0x90, 0x68, 0x18}, 0, 0x2000, 0x85, 0x85, N | C, N | Z | V},
      // Execution states as the H8/300H programming manual's table gives them for on-chip memory in advanced mode (2 states
      // a word fetched or moved, 1 an internal operation), for the kinds of instruction the write-control program is made of.
      {"mov.b r4l,@0x40:8", {0x3C, 0x40}, 0, 0x2000, 0, 0, 0, 0, 0xFF, 4}, {"mov.w r4,@0xffa8:16", {0x6B, 0x84, 0xFF, 0xA8}, 0, 0x2000, 0, 0, 0, 0, 0xFF, 6},
      {"mov.l er0,@-er7", {0x01, 0x00, 0x6D, 0xF0}, 0, 0x2000, 0, 0, 0, 0, 0xFF, 10}, {"mov.l @er7+,er0", {0x01, 0x00, 0x6D, 0x70}, 0, 0x2000, 0, 0, 0, 0, 0xFF, 10},
      {"mov.b @er0+,r0l", {0x6C, 0x08}, 0x2000, 0x2000, 0, 0x2000, 0, 0, 0xFF, 6}, {"and.l #0x1ffff,er2", {0x7A, 0x62, 0x00, 0x01, 0xFF, 0xFF}, 0, 0x2000, 0, 0, 0, 0, 0xFF, 6},
      {"beq 0x1014", {0x58, 0x70, 0x00, 0x10}, 0, 0x2000, 0, 0, 0, 0, 0xFF, 6}, {"bra 0x1002", {0x40, 0x00}, 0, 0x2000, 0, 0, 0, 0, 0xFF, 4},
      {"bsr 0x1004", {0x5C, 0x00, 0x00, 0x00}, 0, 0x2000, 0, 0, 0, 0, 0xFF, 10}, {"rts", {0x54, 0x70}, 0, 0x2000, 0, 0, 0, 0, 0xFF, 10},
      {"jsr @er1", {0x5D, 0x10}, 0, 0x2000, 0, 0, 0, 0, 0xFF, 8}, {"mulxu.b r1h,r0", {0x50, 0x10}, 0, 0x2000, 0, 0, 0, 0, 0xFF, 14},
      {"bset #0x0,@er1", {0x7D, 0x10, 0x70, 0x00}, 0, 0x2000, 0, 0, 0, 0, 0xFF, 8}, {"btst #0x7,@0xbc:8", {0x7E, 0xBC, 0x73, 0x70}, 0, 0x2000, 0, 0, 0, 0, 0xFF, 6},
      {"bld #0x0,@0x20:8; bild #0x1,@0x20:8; band #0x2,@0x20:8; bior #0x5,@0x20:8; biand #0x3,@0x20:8; bor #0x4,@0x20:8; bxor #0x6,@0x20:8; bixor #0x7,@0x20:8",  // nothing written back
       {0x7E, 0x20, 0x77, 0x00, 0x7E, 0x20, 0x77, 0x90, 0x7E, 0x20, 0x76, 0x20, 0x7E, 0x20, 0x74, 0xD0, 0x7E, 0x20, 0x76, 0xB0, 0x7E, 0x20, 0x74, 0x40, 0x7E, 0x20, 0x75, 0x60, 0x7E, 0x20, 0x75, 0xF0}, 0, 0x2000, 0, 0, 0, C, 0, 8 * 6},
  });
}

}  // namespace

// The write-control program's pulse loop, mov.w #N,e5 then N + 1 passes of
// dec.w #1,e5 (2 states) and bpl (4).
TEST(CpuStates, ThePulseLoopsPasses) {
  for (std::uint8_t passes : {1, 16, 41}) {
    FlatMemory memory;
    H8Cpu cpu(memory);
    cpu.Reset(kSnippetAddress);
    RunSnippet(cpu, memory, {0x79, 0x0D, 0x00, static_cast<std::uint8_t>(passes - 1), 0x1B, 0x5D, 0x4A, 0xFC});
    EXPECT_EQ(cpu.States(), 4u + 6u * passes) << passes << " passes";
  }
}
