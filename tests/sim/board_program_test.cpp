// A small program of its own on the board, for the registers and rules the
// write-control program never meets: the reset register's reserved bits,
// a word write to the watchdog, a flash write with the block selected but
// no programming voltage, SCI1's multiprocessor bit, a read past the
// flash, and the 16-bit branch to itself that ends it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board.h"

TEST(BoardProgram, RegistersTheWriteControlProgramNeverTouches) {
  const std::vector<std::uint8_t> program = {
      0x28, 0xAB,              // mov.b @H'FFAB:8,r0l     RSTCSR (its reserved bits read 1)
      0x6A, 0x88, 0xF0, 0x00,  // mov.b r0l,@H'F000:16
      0x79, 0x01, 0xA5, 0x79,  // mov.w #H'A579,r1
      0x6B, 0x81, 0xFF, 0xA8,  // mov.w r1,@H'FFA8:16     TCSR, with its password
      0x28, 0xA8,              // mov.b @H'FFA8:8,r0l
      0x6A, 0x88, 0xF0, 0x01,  // mov.b r0l,@H'F001:16
      0xF8, 0x01,              // mov.b #1,r0l
      0x38, 0x42,              // mov.b r0l,@H'FF42:8     EBR1: the block of H'1000
      0x6A, 0x88, 0x10, 0x00,  // mov.b r0l,@H'1000:16    flash, no VPPE: ignored
      0xF8, 0x87,              // mov.b #H'87,r0l
      0x38, 0xBC,              // mov.b r0l,@H'FFBC:8     SSR: MPBT set
      0x28, 0xBC,              // mov.b @H'FFBC:8,r0l
      0x6A, 0x88, 0xF0, 0x02,  // mov.b r0l,@H'F002:16
      0x6A, 0x20, 0x00, 0x02, 0x00, 0x00,  // mov.b @H'20000:24,r0h    past the flash: a stray read
      0x58, 0x00, 0xFF, 0xFC,  // bra .  (16-bit displacement)
  };
  BoardWire::Time now{};
  const BoardConfig config;
  Board board(config, {}, [&now] { return now; });
  std::string log;
  board.SetLog([&log](const std::string& line) { log += line + "\n"; });
  std::vector<std::uint8_t> host = {0x00, 0x55, 0x00, static_cast<std::uint8_t>(program.size())};
  host.insert(host.end(), program.begin(), program.end());
  board.Wire().FromHost(host.data(), host.size());
  Board::Activity activity = Board::Activity::kBusy;
  for (int i = 0; i < 1000 && activity != Board::Activity::kStopped; ++i) {
    activity = board.Run();
    board.Wire().HandedToHost(board.Wire().ForHost().size());
    if (const auto next = board.NextEvent(); next && *next > now) now = *next;
  }
  ASSERT_EQ(activity, Board::Activity::kStopped) << board.Describe();
  EXPECT_NE(log.find("bytes loaded, starting at H'FF300"), std::string::npos) << log;
  const auto ram = [&board](std::uint32_t a) { return board.Bus().Ram()[a - BoardBus::kRamStart]; };
  EXPECT_EQ(ram(0xFF000), 0x3F);         // RSTCSR after reset
  EXPECT_EQ(ram(0xFF001), 0x79);         // TCSR: H'79 written, bits 3-4 read 1
  EXPECT_EQ(ram(0xFF002) & 0x01, 0x01);  // MPBT as written
  EXPECT_NE(board.Summary().find(", 1 stray accesses; program stopped (branch to itself at H'FF32C)"),
            std::string::npos) << board.Summary();
  EXPECT_EQ(board.Bus().GetStats().refusedWatchdogWrites, 0u);
  EXPECT_EQ(board.Flash().GetStats().ignoredWrites, 1u);
  EXPECT_EQ(board.Flash().GetStats().latchedWrites, 0u);
}
