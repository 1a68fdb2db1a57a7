// Shared by the CPU core tests: a flat 16 MB memory, a runner for small
// hand-assembled snippets, and the h8300-hms disassembler.
#ifndef KORVEL_TESTS_SIM_CPU_TEST_SUPPORT_H
#define KORVEL_TESTS_SIM_CPU_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "h8_cpu.h"
#include "subprocess.h"
#include "transfer_test_files.h"

using Bytes8 = std::vector<std::uint8_t>;

// The whole 24-bit space as plain memory, handed to the CPU as one window.
class FlatMemory : public H8Memory {
 public:
  FlatMemory() : bytes_(1u << 24) {}
  std::uint8_t Read8(std::uint32_t a) override { return bytes_.at(a); }
  void Write8(std::uint32_t a, std::uint8_t v) override { bytes_.at(a) = v; }
  bool Window(std::uint32_t, H8Window& w) override {
    w = H8Window{bytes_.data(), 0, static_cast<std::uint32_t>(bytes_.size()), true};
    return true;
  }
  void Load(std::uint32_t at, const Bytes8& data) { std::copy(data.begin(), data.end(), bytes_.begin() + at); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Runs code placed at kSnippetAddress until the PC leaves it (at most 1000
// instructions); fails the test if the CPU stops.
constexpr std::uint32_t kSnippetAddress = 0x1000;
void RunSnippet(H8Cpu& cpu, FlatMemory& memory, const Bytes8& code);
// The disassembler's text for each instruction of code, joined with "; ".
std::string DisassembleAll(const Bytes8& code, std::uint32_t address);

// Skips the test when the cross toolchain (binutils-h8300-hms,
// gcc-h8300-hms) is not on PATH.
std::string MissingCrossTools();
#define REQUIRE_CROSS_TOOLS()                                                                    \
  do {                                                                                           \
    if (const std::string missing = MissingCrossTools(); !missing.empty())                       \
      GTEST_SKIP() << "H8 cross toolchain not installed (missing: " << missing << ")";           \
  } while (0)

// Runs h8300-hms-<tool>; fails the test (with its output) unless it exits 0,
// and then sets *ok false. Returns its standard output.
std::string Cross(const std::string& tool, const std::vector<std::string>& args, bool* ok = nullptr);

// One instruction of "h8300-hms-objdump -d" output: address, length (the
// bytes objdump lists) and text in the disassembler's spelling: "inc" is
// "inc.b", ":32" fields are ":24" cut to 24 bits, a branch shows only its
// target, "@@83 (0x53)" is "@@0x53"; "" for ".word".
struct ObjdumpLine {
  std::uint32_t address = 0;
  int length = 0;
  std::string text;
};
std::vector<ObjdumpLine> ParseObjdump(const std::string& output);  // skips "..." runs

#endif
