// The CPU against a second opinion: cpu_oracle.c, built by h8300-hms-gcc
// -mh at -O0, -O2 and -Os around examples/blink's start-up and run on the
// board from its reset vector, RAM all H'A5 before, must leave the hashes
// the host's build of the same source computes. The
// instruction forms the board executed are printed, so what the compiler
// never asks of the CPU shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "board.h"
#include "flash_srec.h"
#include "h8_disasm.h"
#include "transfer_test_files.h"

namespace oracle {
#include "cpu_oracle.c"
}  // namespace oracle

namespace {
// "mov.b\tr0l,@(0x10:16,er1)" -> "mov.b rNb,@(x:16,erN)": the form, not the operands.
std::string Form(const H8Instruction& in) {
  static const std::vector<std::pair<std::regex, std::string>> shapes = {
      {std::regex("0x[0-9a-f]+"), "x"}, {std::regex("er[0-7]"), "erN"}, {std::regex("r[0-7][hl]"), "rNb"},
      {std::regex("\\be[0-7]\\b"), "eN"}, {std::regex("\\br[0-7]\\b"), "rN"}};
  std::string operands = in.operands;
  for (const auto& [pattern, shape] : shapes) operands = std::regex_replace(operands, pattern, shape);
  return in.mnemonic + " " + operands;
}
}  // namespace

TEST(CpuOracle, CompiledIntegerWorkAgreesWithTheHost) {
  if (!ToolAvailable("h8300-hms-gcc")) GTEST_SKIP() << "no h8300-hms-gcc";
  std::vector<std::uint8_t> expected(4 * 3 * SLOTS);
  ASSERT_EQ(oracle::cpu_oracle_run(expected.data()), static_cast<int>(expected.size()));
  std::map<std::string, std::uint64_t> forms;  // executed, over all three builds
  const std::string source = KORVEL_SOURCE_DIR;
  for (const std::string opt : {"-O0", "-O2", "-Os"}) {
    SCOPED_TRACE(opt);
    TempFolder dir;
    const std::string out = dir.Path("");
    ASSERT_TRUE(RunTool("make -s -C " + source + "/examples/blink O=" + out + " MAIN=" + source +
                        "/tests/sim/cpu_oracle.c OPT=" + opt + " " + out + "/blink.mot"));
    BoardConfig config;
    config.preload = true;
    std::string why;
    ASSERT_TRUE(LoadFlashFile(out + "/blink.mot", &config.preloadImage, &why)) << why;
    const std::vector<std::uint8_t>& flash = config.preloadImage.bytes;
    BoardWire::Time now{};
    Board board(config, {}, [&now] { return now; });
    std::fill(board.Bus().Ram(), board.Bus().Ram() + BoardBus::kRamSize, 0xA5);  // start.s copies .data and clears .bss
    H8Cpu& cpu = board.Cpu();
    cpu.Reset(static_cast<std::uint32_t>(flash[0] << 24 | flash[1] << 16 | flash[2] << 8 | flash[3]));
    // Until main returns to start.s's branch to itself.
    std::map<std::uint32_t, std::uint64_t> visits;
    std::uint32_t pc = 0;
    for (std::uint64_t n = 0; n < 50000000 && cpu.Pc() != pc; ++n) {
      ++visits[pc = cpu.Pc()];
      ASSERT_TRUE(cpu.Step()) << cpu.Fault();
    }
    for (const auto& [at, count] : visits) forms[Form(H8Disassemble(flash.data() + at, flash.size() - at, at))] += count;
    const std::uint8_t* hashes = board.Bus().Ram() + (0xFF400 - BoardBus::kRamStart);
    for (std::size_t s = 0; s < 3 * SLOTS; ++s) {
      const std::vector<std::uint8_t> want(&expected[4 * s], &expected[4 * s + 4]), got(hashes + 4 * s, hashes + 4 * s + 4);
      EXPECT_EQ(got, want) << (s == SLOTS - 1 ? "mixed(): " : s == SLOTS - 2 ? "bits(): " : "") << (s / SLOTS == 0 ? "8" : s / SLOTS == 1 ? "16" : "32")
                           << "-bit slot " << s % SLOTS << " (the source's puts in order)";
    }
  }
  std::printf("%zu instruction forms executed (times over the three builds):\n", forms.size());
  for (const auto& [form, count] : forms) std::printf("  %-32s %llu\n", form.c_str(), static_cast<unsigned long long>(count));
}
