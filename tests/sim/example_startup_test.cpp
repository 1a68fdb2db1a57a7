// examples/blink as a template: built by its Makefile around a main() of
// its own (example_startup.c), the program runs from the reset vector on
// the board, whose RAM held H'A5 before. Its initialised data must be in
// RAM, its cleared buffer zero and its long multiply and divide right.
#include <gtest/gtest.h>

#include "board.h"
#include "subprocess.h"
#include "transfer_test_files.h"

TEST(ExampleStartup, DataCopiedBssClearedLongArithmeticRight) {
  if (!ToolAvailable("h8300-hms-gcc")) GTEST_SKIP() << "no h8300-hms-gcc";
  TempFolder dir;
  const std::string out = dir.Path(""), main = SourcePath("tests/sim/example_startup.c");
  ASSERT_TRUE(RunTool("make -s -C " + SourcePath("examples/blink") + " O=" + out + " MAIN=" + main + " " + out + "/blink.mot"));
  BoardConfig config;
  config.preload = config.boot.noErase = true;  // the program in the flash, kept by the boot program
  std::string why;
  ASSERT_TRUE(LoadFlashFile(out + "/blink.mot", &config.preloadImage, &why)) << why;
  BoardWire::Time now{};
  Board board(config, {}, [&now] { return now; });
  std::fill(board.Bus().Ram(), board.Bus().Ram() + BoardBus::kRamSize, 0xA5);
  const std::vector<std::uint8_t> host = {0x00, 0x55, 0x00, 2, 0x5B, 0x00};  // loads jmp @@H'00: to the reset vector
  board.Wire().FromHost(host.data(), host.size());
  for (int i = 0; i < 1000 && board.Run() != Board::Activity::kStopped; ++i) {
    board.Wire().HandedToHost(board.Wire().ForHost().size());
    if (const auto next = board.NextEvent(); next && *next > now) now = *next;
  }
  const auto ram = [&board](std::uint32_t address, int size) {  // big-endian, as the H8 keeps it
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i) value = value << 8 | board.Bus().Ram()[address + i - BoardBus::kRamStart];
    return value;
  };
  EXPECT_EQ(ram(0xFEF10, 2), 1234u) << board.Describe();
  for (std::uint32_t i = 0; i < 32; ++i) EXPECT_EQ(ram(0xFEF20 + 20 + i, 1), 0u) << i;
  const std::uint32_t un = static_cast<std::uint32_t>(-100000), ud = 7;
  const std::uint32_t expected[] = {un * ud, un / ud, un % ud, static_cast<std::uint32_t>(-100000 / 7),
                                    static_cast<std::uint32_t>(-100000 % 7)};
  for (std::uint32_t i = 0; i < 5; ++i) EXPECT_EQ(ram(0xFEF20 + 4 * i, 4), expected[i]) << i;
}
