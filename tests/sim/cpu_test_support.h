// Shared by the CPU core tests: a flat 16 MB memory, a runner for small
// hand-assembled snippets, and access to the h8300-hms cross toolchain.
#ifndef KORVEL_TESTS_SIM_CPU_TEST_SUPPORT_H
#define KORVEL_TESTS_SIM_CPU_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "h8_cpu.h"
#include "subprocess.h"

using Bytes8 = std::vector<std::uint8_t>;

// The whole 24-bit space as plain memory. With windows on it hands the CPU
// one window over everything; off, every access goes through Read8/Write8.
class FlatMemory : public H8Memory {
 public:
  explicit FlatMemory(bool windows = true) : bytes_(1u << 24), windows_(windows) {}

  std::uint8_t Read8(std::uint32_t a) override {
    ++reads_;
    return bytes_.at(a);
  }
  void Write8(std::uint32_t a, std::uint8_t v) override {
    ++writes_;
    bytes_.at(a) = v;
  }
  bool Window(std::uint32_t, H8Window& w) override {
    if (!windows_) return false;
    w.data = bytes_.data();
    w.begin = 0;
    w.size = static_cast<std::uint32_t>(bytes_.size());
    w.writable = true;
    return true;
  }

  void Load(std::uint32_t at, const Bytes8& data) {
    for (std::size_t i = 0; i < data.size(); ++i) bytes_.at(at + i) = data[i];
  }
  std::uint8_t Byte(std::uint32_t a) const { return bytes_.at(a); }
  std::uint16_t Word(std::uint32_t a) const {
    return static_cast<std::uint16_t>((bytes_.at(a) << 8) | bytes_.at(a + 1));
  }
  std::uint32_t Long(std::uint32_t a) const {
    return (std::uint32_t{Word(a)} << 16) | Word(a + 2);
  }
  void SetLong(std::uint32_t a, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.at(a + i) = static_cast<std::uint8_t>(v >> (24 - 8 * i));
  }

  std::uint64_t reads_ = 0;   // Read8 calls (not window accesses)
  std::uint64_t writes_ = 0;  // Write8 calls

 private:
  std::vector<std::uint8_t> bytes_;
  bool windows_;
};

// The mnemonics and operands of the instructions in code at address, as
// the disassembler writes them, joined with "; ".
std::string DisassembleAll(const Bytes8& code, std::uint32_t address);

// Runs code placed at kSnippetAddress until the PC leaves it (at most 1000
// instructions); fails the test if the CPU stops.
constexpr std::uint32_t kSnippetAddress = 0x1000;
void RunSnippet(H8Cpu& cpu, FlatMemory& memory, const Bytes8& code);

// The cross toolchain (binutils-h8300-hms, gcc-h8300-hms).
struct CrossTools {
  // Empty when every tool is on PATH; else the names of the missing ones.
  static std::string Missing();
  static std::string Path(const std::string& tool);  // e.g. "objdump" -> full path
};

// Skips the test, saying why, when the cross toolchain is not installed.
#define REQUIRE_CROSS_TOOLS()                                                          \
  do {                                                                                 \
    const std::string missing_tools = CrossTools::Missing();                           \
    if (!missing_tools.empty()) {                                                      \
      GTEST_SKIP() << "H8 cross toolchain not installed (missing: " << missing_tools   \
                   << "); install binutils-h8300-hms and gcc-h8300-hms to run this";   \
    }                                                                                  \
  } while (0)

// A fresh directory under the system's temporary directory, removed with
// its files when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Runs a cross tool with args; fails the test (with its output) unless it
// exits 0, and then sets *ok false. Returns its standard output.
std::string RunTool(const std::string& tool, const std::vector<std::string>& args, bool* ok = nullptr);

// A test program from tests/sim/cpu_programs, linked with cpu_start.s and
// cpu_runtime.c by cpu_programs.ld: code and data from kProgramBase, the
// longs of result[] at kProgramResults, SLEEP when main returns.
constexpr std::uint32_t kProgramBase = 0x10000;
constexpr std::uint32_t kProgramResults = 0x20000;
struct TestProgram {
  Bytes8 image;       // to load at kProgramBase
  std::string coff;   // the linked object, for objdump
};
// Builds sources (names in cpu_programs; .c through "h8300-hms-gcc -mh"
// with gcc_options, .s through the assembler) into dir. False, after
// recording the failure, when a tool fails.
bool BuildTestProgram(const TempDir& dir, const std::vector<std::string>& sources,
                      const std::string& gcc_options, TestProgram& program);

Bytes8 ReadBinaryFile(const std::string& path);
void WriteBinaryFile(const std::string& path, const Bytes8& data);

// One instruction of objdump -d output: its address, its length (the bytes
// objdump lists for it) and its text in the disassembler's spelling.
struct ObjdumpLine {
  std::uint32_t address = 0;
  int length = 0;
  std::string text;  // "" for .word (objdump does not know the bytes)
};
// Parses "h8300-hms-objdump -d" output (zero runs shown as "..." are
// skipped).
std::vector<ObjdumpLine> ParseObjdump(const std::string& output);
// objdump's spelling -> the disassembler's: "inc" is "inc.b", 24-bit
// fields (":32") are ":24" with the value cut to 24 bits, a branch shows
// only its target, "@@83 (0x53)" is "@@0x53". "" for ".word".
std::string NormaliseObjdumpText(const std::string& text);

#endif
