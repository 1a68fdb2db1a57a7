// Real programs on the CPU core: C compiled by h8300-hms-gcc -mh at three
// optimisation levels and a hand-written assembler program, built at test
// time, run on a flat memory until SLEEP, results read back from memory.
// (Checksums also run once with every access through Read8/Write8.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "cpu_test_support.h"

namespace {

const char* const kOptimisations[] = {"-O2", "-Os", "-O0"};

class CpuProgramsTest : public ::testing::Test {
 protected:
  // Builds and runs; the results are then in memory_ at kProgramResults.
  void BuildAndRun(const std::vector<std::string>& sources, const std::string& options, bool windows = true) {
    TestProgram program;
    ASSERT_TRUE(BuildTestProgram(dir_, sources, options, program));
    memory_ = std::make_unique<FlatMemory>(windows);
    memory_->Load(kProgramBase, program.image);
    cpu_ = std::make_unique<H8Cpu>(*memory_);
    cpu_->Reset(kProgramBase);
    executed_ = cpu_->Run(200000000);
    ASSERT_TRUE(cpu_->Sleeping()) << "stopped after " << executed_ << " instructions at H'" << std::hex
                                  << cpu_->Pc() << ": " << cpu_->Fault();
  }
  std::uint32_t Result(int n) const { return memory_->Long(kProgramResults + 4 * n); }

  TempFolder dir_;
  std::unique_ptr<FlatMemory> memory_;
  std::unique_ptr<H8Cpu> cpu_;
  std::uint64_t executed_ = 0;
};

std::uint32_t Xorshift(std::uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

std::uint32_t Rotl(std::uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

TEST_F(CpuProgramsTest, ChecksumsGiveTheirPublishedCheckValues) {
  REQUIRE_CROSS_TOOLS();
  for (const char* options : {"-O2", "-Os", "-O0", "-O2 without windows"}) {
    SCOPED_TRACE(options);
    const bool windows = std::string(options).find("without") == std::string::npos;
    BuildAndRun({"cpu_checksums.c"}, std::string(options).substr(0, 3), windows);
    if (!windows) {
      EXPECT_GT(memory_->reads_, executed_) << "everything went through Read8";
    }
    EXPECT_EQ(Result(0), 0x29B1u) << "CRC-16/CCITT-FALSE";
    EXPECT_EQ(Result(1), 0xBB3Du) << "CRC-16/ARC";
    EXPECT_EQ(Result(2), 0xCBF43926u) << "CRC-32, bitwise";
    EXPECT_EQ(Result(3), 0xCBF43926u) << "CRC-32, table";
    EXPECT_EQ(Result(4), 0x091E01DEu) << "Adler-32";
    EXPECT_EQ(Result(5), 0x1EDEu) << "Fletcher-16";
    EXPECT_EQ(cpu_->Er(0) & 0xFFFF, 0x1234u) << "main's return value";
    EXPECT_EQ(cpu_->Er(7), 0x30000u) << "the stack is balanced";
  }
}

TEST_F(CpuProgramsTest, SortingMatchesTheHost) {
  REQUIRE_CROSS_TOOLS();
  std::uint32_t state = 2463534242u;
  std::vector<std::uint16_t> words(300);
  std::vector<std::int32_t> longs(200);
  for (auto& w : words) w = static_cast<std::uint16_t>(Xorshift(state));
  for (auto& l : longs) l = static_cast<std::int32_t>(Xorshift(state));
  std::sort(words.begin(), words.end());
  std::sort(longs.begin(), longs.end());
  std::uint32_t sum = 0, mix = 0, mix_longs = 0;
  for (auto w : words) {
    sum += w;
    mix = Rotl(mix, 3) ^ w;
  }
  for (auto l : longs) mix_longs = Rotl(mix_longs, 5) ^ static_cast<std::uint32_t>(l);

  for (const char* options : kOptimisations) {
    SCOPED_TRACE(options);
    BuildAndRun({"cpu_sort.c"}, options);
    EXPECT_EQ(Result(0), sum);
    EXPECT_EQ(Result(1), mix);
    EXPECT_EQ(Result(5), mix_longs);
    EXPECT_EQ(Result(6), static_cast<std::uint32_t>(longs[0]));
  }
}

TEST_F(CpuProgramsTest, ArithmeticMatchesTheHost) {
  REQUIRE_CROSS_TOOLS();
  // The same computations with the H8's C types: int is 16 bits, long 32.
  std::uint32_t c[12] = {};
  auto fold = [](std::uint32_t acc, std::uint32_t v) { return Rotl(acc, 7) ^ v; };
  std::uint32_t state = 88172645u;
  for (int i = 0; i < 100; ++i) {
    const std::uint32_t a = Xorshift(state), b = Xorshift(state);
    const std::uint32_t b32 = b | 1;
    const std::uint16_t a16 = static_cast<std::uint16_t>(a), b16 = static_cast<std::uint16_t>(b | 1);
    const std::int16_t s16 = static_cast<std::int16_t>(a);
    std::int16_t t16 = static_cast<std::int16_t>(b | 1);
    const std::uint8_t a8 = static_cast<std::uint8_t>(a), b8 = static_cast<std::uint8_t>(b | 1);
    const std::int64_t sa = static_cast<std::int32_t>(a), sb = static_cast<std::int32_t>(b32);
    const int n = static_cast<int>(b & 31);
    if (t16 == -1 && s16 == -32768) t16 = 1;
    c[0] = fold(c[0], a * b);
    c[1] = fold(c[1], a / b32);
    c[2] = fold(c[2], a % b32);
    c[3] = fold(c[3], static_cast<std::uint32_t>(sa / sb));
    c[4] = fold(c[4], static_cast<std::uint32_t>(sa % sb));
    c[5] = fold(c[5], static_cast<std::uint16_t>(std::uint32_t{a16} * b16));
    c[6] = fold(c[6], std::uint32_t{a16} * b16);
    c[7] = fold(c[7], std::uint32_t{static_cast<std::uint16_t>(a16 / b16)} << 16 | static_cast<std::uint16_t>(a16 % b16));
    c[8] = fold(c[8], static_cast<std::uint32_t>(static_cast<std::int16_t>(s16 / t16)) << 16 ^
                          static_cast<std::uint32_t>(static_cast<std::int16_t>(s16 % t16)));
    c[9] = fold(c[9], std::uint32_t{static_cast<std::uint8_t>(a8 * b8)} << 8 | static_cast<std::uint8_t>(a8 / b8));
    c[10] = fold(c[10], (a << n) ^ (a >> n) ^ static_cast<std::uint32_t>(static_cast<std::int32_t>(a) >> n));
    c[11] = fold(c[11], static_cast<std::uint32_t>(std::int32_t{s16} * t16));
  }
  for (const char* options : kOptimisations) {
    SCOPED_TRACE(options);
    BuildAndRun({"cpu_arith.c"}, options);
    const char* const names[12] = {"a*b",     "a/b",     "a%b",         "signed a/b", "signed a%b",  "u16 a*b",
                                   "u16 a*b to 32", "u16 / and %", "s16 / and %", "u8 * and /", "shifts", "s16*s16 to 32"};
    for (int k = 0; k < 12; ++k) EXPECT_EQ(Result(k), c[k]) << names[k];
  }
}

TEST_F(CpuProgramsTest, AssemblerChecks) {
  REQUIRE_CROSS_TOOLS();
  BuildAndRun({"cpu_asm_checks.s"}, "-O2");
  EXPECT_EQ(Result(0), 0u) << "0000FFFF + FFFF0001 by ADDX";
  EXPECT_EQ(Result(1), std::uint32_t{kCcrZ | kCcrC}) << "Z survives a zero ADDX chain";
  EXPECT_EQ(Result(2), 0xACF13568u) << "12345678 + 9ABCDEF0 by ADDX";
  EXPECT_EQ(Result(3), 0x2000u) << "BCD 1999 + 1";
  EXPECT_EQ(Result(4), 0x1999u) << "BCD 2000 - 1";
  EXPECT_EQ(Result(5), 0x4481u) << "bytes after the bit instructions: @aa:8 then @ERn";
  EXPECT_EQ(Result(6), 0xD1u) << "C from BLD BILD BAND BOR BXOR BIAND BIOR BIXOR";
  EXPECT_EQ(Result(7), 0x8Au) << "CCR through STC/LDC on the stack";
  EXPECT_EQ(cpu_->Er(7), 0x30000u);
}

}  // namespace
