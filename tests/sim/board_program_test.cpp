// A small program of its own on the board, for the registers and rules the
// write-control program never meets: the reset register's reserved bits,
// long and word writes to the watchdog, a flash write with the block selected but
// no programming voltage, SCI1's multiprocessor bit, a read past the
// flash, and the 16-bit branch to itself that ends it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "board.h"
#include "flash_srec.h"
#include "h8board_options.h"
#include "transfer_test_files.h"

TEST(BoardProgram, RegistersTheWriteControlProgramNeverTouches) {
  const std::vector<std::uint8_t> program = {
      0x28, 0xAB,              // mov.b @H'FFAB:8,r0l     RSTCSR (its reserved bits read 1)
      0x6A, 0x88, 0xF0, 0x00,  // mov.b r0l,@H'F000:16
      0x7A, 0x01, 0xA5, 0x79, 0x5A, 0x00,  // mov.l #H'A5795A00,er1
      0x01, 0x00, 0x6B, 0x81, 0xFF, 0xA8,  // mov.l er1,@H'FFA8:16   TCSR and RSTCSR, each with its password
      0x79, 0x01, 0xA5, 0x00,  // mov.w #H'A500,r1
      0x6B, 0x81, 0xFF, 0xAA,  // mov.w r1,@H'FFAA:16     RSTCSR: clear WRST
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
  EXPECT_NE(board.Summary().find(", 1 stray accesses; program stopped (branch to itself at H'FF338)"),
            std::string::npos) << board.Summary();
  EXPECT_EQ(board.Bus().GetStats().refusedWatchdogWrites, 0u);
  EXPECT_EQ(board.Flash().GetStats().ignoredWrites, 1u);
  EXPECT_EQ(board.Flash().GetStats().latchedWrites, 0u);
}

// examples/blink as a template: built around a main() of its own (example_startup.c: .data at H'FEF10, .bss
// behind it at H'FEF20) and run from the reset vector with H'A5 in all RAM before, its initialised data must be in
// RAM and its cleared buffer zero.
TEST(BoardProgram, ExampleStartupCopiesDataAndClearsBss) {
  if (!ToolAvailable("h8300-hms-gcc")) GTEST_SKIP() << "no h8300-hms-gcc";
  TempFolder dir;
  const std::string out = dir.Path(""), source = KORVEL_SOURCE_DIR, main = source + "/tests/sim/example_startup.c";
  ASSERT_TRUE(RunTool("make -s -C " + source + "/examples/blink O=" + out + " MAIN=" + main + " " + out + "/blink.mot"));
  BoardConfig config;
  config.preload = config.boot.noErase = true;  // the program in the flash, kept by the boot program
  std::string why;
  ASSERT_TRUE(LoadFlashFile(out + "/blink.mot", &config.preloadImage, &why)) << why;
  BoardWire::Time now{};
  Board board(config, {}, [&now] { return now; });
  std::uint8_t* const ram = board.Bus().Ram();  // from H'FEF10
  std::fill(ram, ram + BoardBus::kRamSize, 0xA5);
  const std::uint8_t host[] = {0x00, 0x55, 0x00, 2, 0x5B, 0x00};  // loads jmp @@H'00: to the reset vector
  board.Wire().FromHost(host, sizeof host);
  for (int i = 0; i < 1000 && board.Run() != Board::Activity::kStopped; ++i) {
    board.Wire().HandedToHost(board.Wire().ForHost().size());
    if (const auto next = board.NextEvent(); next && *next > now) now = *next;
  }
  EXPECT_EQ(std::vector<std::uint8_t>(ram, ram + 2), std::vector<std::uint8_t>({0x04, 0xD2})) << board.Describe();  // 1234
  EXPECT_EQ(std::vector<std::uint8_t>(ram + 16, ram + 48), std::vector<std::uint8_t>(32, 0x00));
}

// At 3 MHz the boot program echoes at 9375 bit/s (BRR 9), 2.3% slow: a host
// sending without pause gains a character every 43 bytes and overruns it
// once three ahead; bursts of 16, their echoes read between, never do.
TEST(BoardProgram, TheBootProgramOverrunsWhenItsEchoesFallThreeBehind) {
  for (const std::size_t burst : {16, 200}) {
    SCOPED_TRACE(burst);
    BoardConfig config;
    config.clockMhz = 3;
    config.pace = true;
    BoardWire::Time now{};
    Board board(config, {}, [&now] { return now; });
    std::size_t handed = 0;
    const auto send = [&](std::vector<std::uint8_t> bytes, std::size_t answers) {
      board.Wire().FromHost(bytes.data(), bytes.size());
      answers += handed;
      for (int i = 0; i < 100000 && handed < answers && !board.Boot().Started(); ++i) {
        board.Run();
        handed += board.Wire().ForHost().size();
        board.Wire().HandedToHost(board.Wire().ForHost().size());
        const auto next = board.NextEvent();
        if (!next) break;
        now = std::max(now, *next);
      }
    };
    send({0x00}, 1);
    send({0x55, 0x00, 200}, 3);
    for (std::size_t sent = 0; sent < 200 && !board.Boot().Started(); sent += burst) {
      send(std::vector<std::uint8_t>(std::min<std::size_t>(burst, 200 - sent), 0x00), burst);
    }
    EXPECT_EQ(board.Boot().Started(), burst == 16) << board.Boot().Describe();
    EXPECT_EQ(board.Boot().Describe().find("overrun") != std::string::npos, burst != 16) << board.Boot().Describe();
  }
}

// What --preload takes: a raw image of up to 128 KB from offset 0, or
// S-records in either case of hex digit; what --dump writes reads back.
TEST(BoardFlashFile, RawImagesUpTo128KBAndSrecordsInEitherCase) {
  TempFolder dir;
  FlashImage raw, records;
  std::string why;
  EXPECT_TRUE(LoadFlashFile(dir.Write("small.bin", "\x12\x34"), &raw, &why)) << why;
  EXPECT_EQ(raw.PresentCount(), 2u);
  EXPECT_EQ(raw.bytes[1], 0x34);
  EXPECT_FALSE(LoadFlashFile(dir.Write("big.bin", std::string(128 * 1024 + 1, '\0')), &raw, &why));
  EXPECT_NE(why.find("larger than the 128 KB flash"), std::string::npos) << why;
  EXPECT_TRUE(ParseSrecords("S1050100ab5af4\r\n", &records, &why)) << why;
  EXPECT_EQ(records.bytes[0x100], 0xAB);
  std::vector<bool> one(FlashMemory::kSize);
  one[0x100] = true;
  EXPECT_TRUE(ParseSrecords(FormatSrecords(records.bytes.data(), one), &raw, &why) && raw.bytes[0x100] == 0xAB) << why;
}

// --verbose says so each time the host's line goes wrong, also when it goes
// wrong the same way again after a good byte.
TEST(BoardProgram, ALineProblemIsLoggedAgainAfterAGoodByte) {
  const BoardConfig config;
  HostLine line;
  Board board(config, [&line] { return line; });
  int notes = 0;
  board.SetLog([&notes](const std::string& text) { notes += text.find("byte ignored") != std::string::npos; });
  for (const int dataBits : {7, 7, 8, 7}) {
    line.dataBits = dataBits;
    const std::uint8_t zero = 0;
    board.Wire().FromHost(&zero, 1);
    board.Run();
  }
  EXPECT_EQ(notes, 2);
}

// h8board --help: each option's help starts in column 23, beside a name
// that leaves it room (21 characters at most), below a longer one.
TEST(H8BoardHelp, EachOptionsHelpStartsInColumn23) {
  std::istringstream text(H8BoardUsage());
  int options = 0;
  for (std::string line; std::getline(text, line);) {
    const std::string name = line.substr(0, line.find("  ", 2));
    if (line.compare(0, 4, "  --") == 0 && ++options && name.size() <= 21) {
      EXPECT_EQ(line.find_first_not_of(' ', name.size()), 23u) << line;
    }
  }
  EXPECT_GT(options, 30);
}
