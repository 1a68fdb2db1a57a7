// The decoder against the GNU disassembler (h8300-hms-objdump -m h8300h):
// lengths, mnemonics and operands of every first word plus the prefixed
// second and third words. (The write-control program's code runs in every
// row of the run table.)
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "subprocess.h"
#include "transfer_test_files.h"
#include "h8_disasm.h"

namespace {

using Bytes8 = std::vector<std::uint8_t>;

// Runs "h8300-hms-objdump args"; fails the test unless it exits with 0.
std::string Objdump(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"h8300-hms-objdump"};
  all.insert(all.end(), args.begin(), args.end());
  const ProcessResult result = RunProcess("/usr/bin/env", all, 120);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return result.out;
}

#define REQUIRE_CROSS_TOOLS()                                                      \
  if (!ToolAvailable("h8300-hms-objdump")) GTEST_SKIP() << "h8300-hms-objdump is not installed"

// One instruction of "h8300-hms-objdump -d" output: address, length (the
// bytes objdump lists) and text in the decoder's spelling: "inc" is
// "inc.b", ":32" fields are ":24" cut to 24 bits, a branch shows only its
// target, "@@83 (0x53)" is "@@0x53"; "" for ".word".
struct ObjdumpLine { std::uint32_t address = 0; int length = 0; std::string text; };

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// Every "0xV:32" becomes "0xV':24" with V' = V cut to 24 bits.
std::string Fields24(std::string s) {
  static const std::regex field("0x([0-9a-f]+):32");
  std::string out;
  for (std::smatch m; std::regex_search(s, m, field); s = m.suffix().str()) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx:24", std::strtoul(m[1].str().c_str(), nullptr, 16) & 0xFFFFFF);
    out += m.prefix().str() + text;
  }
  return out + s;
}

// ".+12 (0xff31a)" -> "0xff31a", "@@83 (0x53)" -> "@@0x53".
std::string Targets(const std::string& s) {
  const std::size_t open = s.find(" (0x");
  if (open == std::string::npos) return s;
  const std::size_t close = s.find(')', open);
  std::size_t start = open;
  while (start > 0 && s[start - 1] != ',' && s[start - 1] != '\t' && s[start - 1] != '@') --start;
  return s.substr(0, start) + s.substr(open + 2, close - open - 2) + s.substr(close + 1);
}

std::string Normalise(const std::string& text) {
  if (text.empty() || text.compare(0, 5, ".word") == 0) return "";
  const std::size_t tab = text.find('\t');
  std::string mnemonic = text.substr(0, tab);
  std::string operands = tab == std::string::npos ? "" : text.substr(tab + 1);
  while (!operands.empty() && (operands.back() == ' ' || operands.back() == '\t')) operands.pop_back();
  if (mnemonic == "inc") mnemonic = "inc.b";
  operands = Targets(Fields24(operands));
  return operands.empty() ? mnemonic : mnemonic + "\t" + operands;
}

std::vector<ObjdumpLine> ParseObjdump(const std::string& output) {
  std::vector<ObjdumpLine> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    // "   ff300:\t7a 07 00 0f \tmov.l\t#0xff300,er7"; continuation lines
    // carry bytes only.
    const std::size_t colon = line.find(":\t"), first = line.find_first_not_of(' ');
    if (colon == std::string::npos || first >= colon) continue;
    if (line.find_first_not_of("0123456789abcdef", first) != colon) continue;
    const auto address = static_cast<std::uint32_t>(std::strtoul(line.c_str() + first, nullptr, 16));
    const std::size_t text_tab = line.find('\t', colon + 2);
    const std::string bytes = line.substr(colon + 2, text_tab == std::string::npos ? std::string::npos : text_tab - colon - 2);
    int count = 0;
    for (std::size_t k = 0; k + 1 < bytes.size(); ++k) {
      if (IsHex(bytes[k]) && IsHex(bytes[k + 1]) && (k + 2 == bytes.size() || bytes[k + 2] == ' ')) ++count, ++k;
    }
    const std::string text = text_tab == std::string::npos ? "" : line.substr(text_tab + 1);
    if (text.empty() && !lines.empty() && address == lines.back().address + static_cast<std::uint32_t>(lines.back().length)) {
      lines.back().length += count;  // continuation
    } else {
      lines.push_back({address, count, Normalise(text)});
    }
  }
  return lines;
}

std::string Hex(const std::uint8_t* p, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += HexByte(p[i]);
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string Text(const H8Instruction& insn) { return insn.Known() ? insn.Text() : ""; }

std::vector<ObjdumpLine> ObjdumpBinary(const Bytes8& bytes, std::uint32_t base) {
  TempFolder dir;
  const std::string file = dir.Write("code.bin", std::string(bytes.begin(), bytes.end()));
  return ParseObjdump(Objdump({"-D", "-b", "binary", "-m", "h8300h", "--adjust-vma=" + std::to_string(base), file}));
}

// objdump knows the H8S and H8SX extensions even with -m h8300h, and it
// ignores some bits the H8/300H defines as zero. Where the decoder rejects
// an encoding that objdump decodes, it must be one of these:
bool ObjdumpOnlyExtension(const std::uint8_t* bytes, const std::string& text) {
  const std::string hex = Hex(bytes, 10);
  static const std::set<std::string> kExtensionMnemonics = {
      "bfld",     "bfst",     "bra/bc",   "bra/bs",  "bsr/bc",  "bsr/bs",  "bra/s",   "rts/l",
      "rte/l",    "stmac",    "ldmac",    "clrmac",  "mova/b.l", "mova/w.l", "mova/l.l", "bpt",
      "movsd.b",  "movmd.b",  "movmd.w",  "movmd.l", "ldm.l",   "stm.l",   "addx.b",  "subx.b",
      "tas",      "mac",      "bset/eq",  "bset/ne", "bclr/eq", "bclr/ne", "bstz",    "bistz"};
  static const std::regex kExtensionOperands(
      // EXR/VBR/SBR/MAC registers; shift counts; H8SX register-indirect
      // branches; memory operands of the ALU instructions; memory to memory
      // and immediate to memory moves; vectors above H'FF for @@.
      R"(exr|vbr|sbr|mac|^(sh|rot|ext)\S*\t#|^(bra|bsr)\t(r|e)|)"
      R"(^(add|sub|cmp|and|or|xor|not|neg|sh|rot|ext|inc|dec|da|mul|div)\S*\t.*@|^mov\S*\t[@#].*,@|)"
      R"(@@0x[1-9a-f][0-9a-f][0-9a-f])");
  // H8SX encodings that read like H8/300H text: short immediates (#xx:3 in
  // the register forms 0A/0F/1A/1F), JMP/JSR @aa:32 (59 08 / 5D 08), and
  // the 78 prefix with the top bit of its register field set.
  static const std::regex kExtensionEncodings(R"(^((0a|0f|1a|1f)([1-7].|[9a-f][89a-f])|(59|5d)08|78[89a-f]0))");
  const std::string mnemonic = text.substr(0, text.find('\t'));
  if (kExtensionMnemonics.count(mnemonic) != 0) return true;
  if (std::regex_search(text, kExtensionOperands)) return true;
  if (std::regex_search(hex, kExtensionEncodings)) return true;
  // With one or two set bits of a byte cleared it is an instruction the
  // decoder knows and objdump writes the same: objdump ignored bits that
  // must be 0 (the top bit of a 3-bit register field, the bits above
  // TRAPA's #x, ...).
  for (int byte = 0; byte < 6; ++byte) {
    for (int a = 0; a < 8; ++a) {
      for (int b = a; b < 8; ++b) {
        const int mask = (0x80 >> a) | (0x80 >> b);
        if ((bytes[byte] & mask) != mask) continue;
        std::uint8_t copy[16] = {};
        std::copy(bytes, bytes + 16, copy);
        copy[byte] = static_cast<std::uint8_t>(copy[byte] & ~mask);
        const H8Instruction insn = H8Disassemble(copy, sizeof copy, 0);
        if (insn.Known() && insn.Text() == text) return true;
      }
    }
  }
  return false;
}

// Bcc and BSR: their operand is the target address (bst, bor and bld take "#n,").
bool Branch(const H8Instruction& insn) {
  const std::string& m = insn.mnemonic;
  return (m.size() == 3 && m[0] == 'b' && insn.operands.compare(0, 2, "0x") == 0) || m == "bsr";
}

bool OddBranch(const H8Instruction& insn) {
  return Branch(insn) && (std::stoul(insn.operands, nullptr, 16) & 1) != 0;
}

constexpr std::uint32_t kSlot = 32;

// A 32-byte slot a candidate: its words, then (when the decoder knows it)
// random operand bytes up to its length, then zeros.
Bytes8 SlotProgram() {
  // First words: all of them, except that where the first byte alone
  // decides (2x, 3x, 4x, 8x-Fx: register and 8-bit fields only) a sample of
  // second bytes does.
  const std::uint8_t samples[] = {0x00, 0x01, 0x07, 0x08, 0x0F, 0x10, 0x5A, 0x70,
                                  0x7F, 0x80, 0x88, 0x8F, 0xA5, 0xF0, 0xF8, 0xFF};
  std::vector<std::vector<std::uint16_t>> candidates;
  for (std::uint32_t hi = 0; hi < 256; ++hi) {
    const bool uniform = (hi >= 0x20 && hi < 0x50) || hi >= 0x80;
    for (std::uint32_t lo = 0; lo < 256; ++lo) {
      if (uniform && std::find(std::begin(samples), std::end(samples), lo) == std::end(samples)) continue;
      candidates.push_back({static_cast<std::uint16_t>(hi << 8 | lo)});
    }
  }
  // Prefixed forms: every high byte of the next word, with low bytes that
  // set and clear the register fields' top bits.
  const std::uint8_t lows[] = {0x00, 0x07, 0x08, 0x10, 0x20, 0x2F, 0x80, 0x90, 0xA0, 0xF0};
  const std::uint16_t prefixes[] = {0x0100, 0x0140, 0x01C0, 0x01D0, 0x01F0, 0x0110, 0x7800, 0x7810, 0x7890,
                                    0x7C00, 0x7C50, 0x7D00, 0x7D60, 0x7E12, 0x7F34, 0x7B5C, 0x7BD4, 0x7C08};
  for (std::uint16_t p : prefixes)
    for (std::uint32_t hi = 0; hi < 256; ++hi)
      for (std::uint8_t lo : lows) candidates.push_back({p, static_cast<std::uint16_t>(hi << 8 | lo)});
  for (std::uint16_t p : {0x7810, 0x7890, 0x7818})
    for (std::uint16_t first : {0x0100, 0x0140})
      for (std::uint32_t hi = 0; hi < 256; ++hi)
        for (std::uint8_t lo : lows) candidates.push_back({first, p, static_cast<std::uint16_t>(hi << 8 | lo)});
  Bytes8 bytes(candidates.size() * kSlot);
  std::mt19937 random(20240607);
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    std::uint8_t* slot = &bytes[i * kSlot];
    for (std::size_t k = 0; k < candidates[i].size(); ++k) {
      slot[2 * k] = static_cast<std::uint8_t>(candidates[i][k] >> 8);
      slot[2 * k + 1] = static_cast<std::uint8_t>(candidates[i][k]);
    }
    if (i == 0) slot[2] = 0xF8;  // after NOP, not a run of zeros (objdump would skip it)
    const H8Instruction insn = H8Disassemble(slot, kSlot, static_cast<std::uint32_t>(i * kSlot));
    for (int k = static_cast<int>(2 * candidates[i].size()); k < insn.length; ++k) slot[k] = static_cast<std::uint8_t>(random());
    // A random 16-bit displacement made even: objdump shows an odd one as
    // data, so only the 8-bit forms keep odd targets.
    const H8Instruction filled = H8Disassemble(slot, kSlot, static_cast<std::uint32_t>(i * kSlot));
    if (filled.length > 2 && OddBranch(filled)) slot[filled.length - 1] ^= 1;
  }
  return bytes;
}

TEST(DisasmObjdump, EveryFirstWordAndEveryPrefixedForm) {
  REQUIRE_CROSS_TOOLS();
  const Bytes8 bytes = SlotProgram();
  std::map<std::uint32_t, ObjdumpLine> objdump;
  for (const ObjdumpLine& line : ObjdumpBinary(bytes, 0))
    if (line.address % kSlot == 0) objdump[line.address] = line;

  int known = 0, both_reject = 0, extensions = 0, odd_branches = 0;
  for (std::uint32_t address = 0; address < bytes.size(); address += kSlot) {
    const H8Instruction insn = H8Disassemble(&bytes[address], kSlot, address);
    const auto found = objdump.find(address);
    ASSERT_NE(found, objdump.end()) << "objdump lost the slot of " << Hex(&bytes[address], 6);
    const std::string& theirs = found->second.text;
    if (insn.Known() && insn.length == 2 && Text(insn) != theirs && OddBranch(insn)) {
      ++odd_branches;  // objdump reads an odd one as H8SX "bra/s"; the chip takes it
    } else if (insn.Known()) {
      ++known;
      EXPECT_EQ(insn.Text(), theirs) << Hex(&bytes[address], insn.length);
      EXPECT_EQ(insn.length, found->second.length) << "length of " << theirs;
    } else if (theirs.empty()) {
      ++both_reject;
    } else if (ObjdumpOnlyExtension(&bytes[address], theirs)) {
      ++extensions;
    } else {
      ADD_FAILURE() << "objdump decodes " << Hex(&bytes[address], 10) << " as \"" << theirs << "\" but the decoder does not know it";
    }
  }
  // Sanity of the sweep itself.
  EXPECT_GT(known, 10000);
  EXPECT_GT(both_reject, 1000);
  EXPECT_GT(extensions, 1000);
  EXPECT_GT(odd_branches, 100);
}

// The text of a form with its numbers and register numbers left out:
// "mov.b\tr0l,@0xbb:8" and "mov.b\tr3l,@0x12:8" are one form.
std::string Shape(const H8Instruction& insn) {
  static const std::regex kNumber("0x[0-9a-f]+|[0-9]+");
  return insn.mnemonic + "\t" + std::regex_replace(insn.operands, kNumber, "N");
}

// The decoder's text as assembler source: a branch target relative to the
// instruction (".+6", ".-4"), as it has no label.
std::string Source(const H8Instruction& insn) {
  if (!Branch(insn)) return insn.Text();
  const long offset = static_cast<long>(std::stoul(insn.operands, nullptr, 16)) - static_cast<long>(insn.address);
  return insn.mnemonic + "\t." + (offset < 0 ? "" : "+") + std::to_string(offset);
}

// One instance of every form the decoder knows, written as source,
// assembled by h8300-hms-as and linked at 0; the decoder then steps through
// the program from its first byte, each time by the length it decoded, and
// each step must land on an instruction of objdump's and read as it does.
TEST(DisasmObjdump, ALinearProgramOfEveryFormAsTheAssemblerWritesIt) {
  REQUIRE_CROSS_TOOLS();
  if (!ToolAvailable("h8300-hms-as") || !ToolAvailable("h8300-hms-ld")) GTEST_SKIP() << "no H8 assembler";
  const Bytes8 slots = SlotProgram();
  std::map<std::string, std::string> forms;  // shape -> source line
  for (std::uint32_t address = 0; address < slots.size(); address += kSlot) {
    const H8Instruction insn = H8Disassemble(&slots[address], kSlot, address);
    if (insn.Known() && !OddBranch(insn)) forms.emplace(Shape(insn), Source(insn));
  }
  std::string source = "\t.h8300h\n\t.section .text\n";
  for (const auto& form : forms) source += "\t" + form.second + "\n";
  TempFolder dir;
  dir.Write("forms.s", source);
  dir.Write("at0.ld", "OUTPUT_FORMAT(\"coff-h8300\")\nOUTPUT_ARCH(h8300h)\nSECTIONS { .text 0 : { *(.text) } }\n");
  const std::string s = dir.Path("forms.s"), o = dir.Path("forms.o"), x = dir.Path("forms.x");
  for (const auto& step : std::vector<std::vector<std::string>>{{"h8300-hms-as", s, "-o", o},
                                                                {"h8300-hms-ld", "-T", dir.Path("at0.ld"), o, "-o", x},
                                                                {"h8300-hms-objcopy", "-O", "binary", x, x + ".bin"}}) {
    const ProcessResult result = RunProcess("/usr/bin/env", step, 120);
    ASSERT_EQ(result.exitCode, 0) << step[0] << ": " << result.err;
  }
  const std::string binary = ReadWholeFile(x + ".bin");
  const Bytes8 bytes(binary.begin(), binary.end());
  std::map<std::uint32_t, ObjdumpLine> objdump;
  for (const ObjdumpLine& line : ParseObjdump(Objdump({"-d", "-m", "h8300h", x}))) objdump[line.address] = line;

  std::uint32_t address = 0;
  while (address < bytes.size()) {
    const H8Instruction insn = H8Disassemble(&bytes[address], bytes.size() - address, address);
    const auto found = objdump.find(address);
    ASSERT_NE(found, objdump.end()) << "the sweep left objdump's instructions at " << address;
    ASSERT_TRUE(insn.Known()) << found->second.text;
    EXPECT_EQ(insn.Text(), found->second.text) << Hex(&bytes[address], insn.length);
    ASSERT_EQ(insn.length, found->second.length) << "length of " << found->second.text;
    address += static_cast<std::uint32_t>(insn.length);
  }
  EXPECT_GT(forms.size(), 300u);
}

}  // namespace
