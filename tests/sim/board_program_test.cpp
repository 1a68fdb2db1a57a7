// A small program of its own on the board, for the registers and rules the
// write-control program never meets: the reset register's reserved bits,
// long and word writes to the watchdog, a flash write with the block selected but
// no programming voltage, SCI1's multiprocessor bit, a read past the
// flash, and the 16-bit branch to itself that ends it.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "board.h"
#include "h8_cpu.h"
#include "flash_srec.h"
#include "h8board_options.h"
#include "transfer_test_files.h"

namespace {
// Boots program on board (loaded at H'FF300) and runs it on the virtual
// clock until it stops or faults, or nothing more comes (the boot program
// halted), the host sending `after` behind it; returns the chip's time from
// its start to then, and what the chip sent in *answers.
BoardWire::Clock::duration RunUntilStopped(Board& board, BoardWire::Time& now, const std::vector<std::uint8_t>& program,
                                           const std::vector<std::uint8_t>& after = {}, std::vector<std::uint8_t>* answers = nullptr) {
  std::vector<std::uint8_t> host = {0x00, 0x55, static_cast<std::uint8_t>(program.size() >> 8), static_cast<std::uint8_t>(program.size())};
  host.insert(host.end(), program.begin(), program.end());
  host.insert(host.end(), after.begin(), after.end());
  board.Wire().FromHost(host.data(), host.size());
  Board::Activity activity = Board::Activity::kBusy;
  std::optional<BoardWire::Time> start;
  for (int i = 0; i < 100000 && activity != Board::Activity::kStopped && activity != Board::Activity::kFault; ++i) {
    activity = board.Run();
    if (!start && board.CpuStarted()) start = board.ChipNow();
    if (answers) answers->insert(answers->end(), board.Wire().ForHost().begin(), board.Wire().ForHost().end());
    board.Wire().HandedToHost(board.Wire().ForHost().size());
    const auto next = board.NextEvent();
    if (!next && activity == Board::Activity::kIdle) break;
    if (next && *next > now) now = *next;
  }
  EXPECT_NE(activity, Board::Activity::kBusy) << board.Describe();
  return start ? board.ChipNow() - *start : BoardWire::Clock::duration{};
}
std::uint8_t RamAt(Board& board, std::uint32_t address) { return board.Bus().Ram()[address - BoardBus::kRamStart]; }
}  // namespace

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
      0x38, 0xA8, 0x6B, 0x80, 0xFF, 0xAA,  // mov.b r0l,@H'FFA8:8; mov.w r0,@H'FFAA:16   a byte to TCSR, H'FFxx to RSTCSR: refused
      0x6A, 0x88, 0xFF, 0x1C, 0x6A, 0x88, 0xFF, 0x10,  // mov.b r0l to H'FFF1C (an I/O register it lacks) and H'FFF10 (nothing)
      0x28, 0x42, 0x6A, 0x88, 0xF0, 0x03,  // mov.b @H'FF42:8,r0l; mov.b r0l,@H'F003:16   EBR1
      0x28, 0x40, 0x6A, 0x88, 0xF0, 0x04, 0x28, 0x43, 0x6A, 0x88, 0xF0, 0x05, 0x28, 0xB8, 0x6A, 0x88, 0xF0, 0x06,  // FLMCR, EBR2, SMR the same
      0x58, 0x00, 0xFF, 0xFC,  // bra .  (16-bit displacement)
  };
  BoardWire::Time now{};
  const BoardConfig config;
  Board board(config, {}, [&now] { return now; });
  std::string log;
  board.SetLog([&log](const std::string& line) { log += line + "\n"; });
  RunUntilStopped(board, now, program);
  EXPECT_EQ(RamAt(board, 0xFF000), 0x3F);         // RSTCSR after reset
  EXPECT_EQ(RamAt(board, 0xFF001), 0x79);         // TCSR: H'79 written, bits 3-4 read 1
  EXPECT_EQ(RamAt(board, 0xFF002) & 0x01, 0x01);  // MPBT as written
  EXPECT_EQ(RamAt(board, 0xFF003), 0x01);         // EBR1 as written
  EXPECT_EQ(RamAt(board, 0xFF004) << 16 | RamAt(board, 0xFF005) << 8 | RamAt(board, 0xFF006), 0x800000);  // VPP (12 V in boot mode); 8N1 at φ
  // It leaves the watchdog counting (H'79: watchdog mode, φ/32): the spin ends in a reset.
  EXPECT_NE(board.Summary().find(", 3 stray accesses; watchdog reset at H'FF35E: the chip is silent"),
            std::string::npos) << board.Summary();
  EXPECT_EQ(log, "boot program: bit rate measured: 9600 bit/s, BRR = 51\nboot program: 98 bytes loaded, starting at H'FF300\n"
                 "read of unmapped memory at H'20000\nbyte write to a watchdog register (refused) at H'FFFA8\n"
                 "watchdog write with a wrong password (refused) at H'FFFAA\nwrite to an I/O register this board does not have at H'FFF1C\n"
                 "write to unmapped memory at H'FFF10\nwatchdog reset at H'FF35E\n");
  EXPECT_EQ(board.Bus().GetStats().refusedWatchdogWrites, 2u);  // the byte to TCSR and RSTCSR's H'FFxx; the ones with passwords taken
  EXPECT_EQ(board.Flash().GetStats().ignoredWrites, 1u);
  EXPECT_EQ(board.Flash().GetStats().latchedWrites, 0u);
}

// The start and an exception as the chip takes them, and SCI1 with TE and
// RE clear: a byte in TDR is not sent, a byte from the host not received.
TEST(BoardProgram, ExceptionsAndSci1WithTransmitterAndReceiverOff) {
  const std::vector<std::uint8_t> program = {
      0x02, 0x08, 0x6A, 0x88, 0xF0, 0x00,  // stc ccr,r0l; mov.b r0l,@H'F000:16     CCR at the start
      0x7A, 0x07, 0x00, 0x0F, 0xFF, 0x00,  // mov.l #H'FFF00,er7
      0x18, 0x88, 0x38, 0xBA, 0xF8, 0x58, 0x38, 0xBB,  // sub.b r0l,r0l; mov.b r0l,@SCR:8 (TE, RE clear); TDR <- 'X'
      0x7F, 0xBC, 0x72, 0x70, 0x79, 0x01, 0x17, 0x70,  // bclr #7,@SSR:8 (TDRE clear); mov.w #6000,r1
      0x1B, 0x51, 0x46, 0xFC,              // 1: dec.w #1,r1; bne 1b      2.3 ms: the host's byte has come
      0x28, 0xBC, 0x6A, 0x88, 0xF0, 0x01,  // mov.b @H'FFBC:8,r0l; mov.b r0l,@H'F001:16   SSR
      0x06, 0x7F, 0x57, 0x10,              // andc #H'7F,ccr; trapa #1   (vector 9 at H'000024)
      0x02, 0x08, 0x6A, 0x88, 0xF0, 0x02, 0x40, 0xFE,  // H'FF32A: stc ccr,r0l; mov.b r0l,@H'F002:16; bra .
  };
  BoardConfig config;
  config.preload = config.boot.noErase = true;  // the vector survives the boot program
  config.pace = true;  // the host's byte behind the program arrives once RE is clear
  std::string why;
  ASSERT_TRUE(ParseSrecords("S1070024000FF32AA8\n", &config.preloadImage, &why)) << why;  // the vector: H'FF32A
  BoardWire::Time now{};
  Board board(config, {}, [&now] { return now; });
  RunUntilStopped(board, now, program, {0x41});
  EXPECT_EQ(RamAt(board, 0xFF000), 0x80);  // I, and nothing else
  EXPECT_EQ(RamAt(board, 0xFF001), 0x00);  // neither TDRE (sent) nor RDRF (received)
  EXPECT_EQ(RamAt(board, 0xFF002) & 0x80, 0x80);
  // The stack holds the CCR (I clear, Z from storing H'00) and the address after TRAPA, as one long.
  EXPECT_EQ(RamAt(board, 0xFFEFC), 0x04);
  EXPECT_EQ(board.Cpu().Er(7), 0xFFEFCu);  // SP below the long pushed
  EXPECT_EQ(RamAt(board, 0xFFEFD) << 16 | RamAt(board, 0xFFEFE) << 8 | RamAt(board, 0xFFEFF), 0xFF32A);
  EXPECT_NE(board.Describe().find("branch to itself at H'FF330"), std::string::npos) << board.Describe();
}

// How a program ends or never starts: a SLEEP no interrupt wakes, an instruction the CPU does not know (two words shown even
// where the first decides), a branch to itself in the last word the boot program loads; no length, or one past the RAM, is answered H'FF.
TEST(BoardProgram, HowAProgramEndsOrNeverStarts) {
  using Bytes = std::vector<std::uint8_t>;
  Bytes whole(0xFFF10 - 0xFF300);  // NOPs, then bra .
  whole.end()[-2] = 0x40, whole.end()[-1] = 0xFE;
  const struct { Bytes program; const char* ending; std::uint8_t lastAnswer; } rows[] = {
      {{0x00, 0x00, 0x01, 0x80}, "program asleep (SLEEP at H'FF302)", 0xAA}, {{0x00, 0x00, 0x57, 0x80, 0x12, 0x34}, "CPU stopped: unknown instruction at H'0FF302: 57 80 12 34", 0xAA},
      {{0x00, 0x00, 0x01, 0x00, 0x00, 0x00}, "CPU stopped: unknown instruction at H'0FF302: 01 00 00 00", 0xAA},
      {whole, "program stopped (branch to itself at H'FFF0E)", 0xAA}, {{}, "boot program stopped: program length 0 does not fit the RAM", 0xFF},
      {Bytes(whole.size() + 1), "boot program stopped: program length 3089 does not fit the RAM", 0xFF}};
  for (const auto& r : rows) {
    BoardWire::Time now{};
    Board board(BoardConfig{}, {}, [&now] { return now; });
    Bytes answers;
    RunUntilStopped(board, now, r.program, {}, &answers);
    EXPECT_EQ(board.Describe() + " " + std::to_string(answers.empty() ? -1 : answers.back()), r.ending + (" " + std::to_string(r.lastAnswer)));
  }
}

// TCNT counts at φ divided as TCSR selects, from what was written to it:
// in watchdog mode its overflow resets the chip (the poll for OVF never
// ends), in interval mode it sets OVF, which the program stores.
TEST(BoardProgram, TheWatchdogOverflowsAtItsDivisionOfTheClock) {
  // tcsr with its password; stored: TCSR and TCNT as the program stores them in interval mode (-1: in watchdog mode it never does).
  const struct { double mhz; std::uint16_t tcsr; std::uint8_t tcnt; std::uint64_t overflowStates; int stored; } rows[] = {
      {16, 0xA57F, 0x00, 256 * 4096, -1}, {10, 0xA578, 0xF0, 16 * 2, -1}, {12, 0xA57A, 0xF0, 16 * 64, -1},  // φ/4096 (65.5 ms), /2, /64
      {12, 0xA57B, 0xF0, 16 * 128, -1}, {8, 0xA57C, 0xF0, 16 * 256, -1}, {8, 0xA57D, 0xF0, 16 * 512, -1},  // φ/128, /256, /512
      {8, 0xA57E, 0xF0, 16 * 2048, -1}, {16, 0xA521, 0xF0, 16 * 32, 0xB900}, {16, 0xA520, 0xF0, 16 * 2, 0xB804}};  // φ/2048; interval mode at φ/32: OVF, TME, bits 3-4, CKS; at φ/2 TCNT read 8 states on
  for (const auto& r : rows) {
    const char* ending = r.stored < 0 ? "watchdog reset at H'FF31" : "program stopped (branch to itself at H'FF31A)";
    SCOPED_TRACE(r.tcsr);
    const std::vector<std::uint8_t> program = {
        0x79, 0x01, static_cast<std::uint8_t>(r.tcsr >> 8), static_cast<std::uint8_t>(r.tcsr),  // mov.w #tcsr,r1
        0x6B, 0x81, 0xFF, 0xA8, 0x79, 0x01, 0x5A, r.tcnt,  // mov.w r1,@H'FFA8:16 (TCSR); mov.w #H'5A<tcnt>,r1
        0x6B, 0x81, 0xFF, 0xA8, 0x6B, 0x00, 0xFF, 0xA8, 0x4A, 0xFA,  // mov.w r1,@H'FFA8:16 (TCNT); 1: mov.w @H'FFA8:16,r0 (TCSR, TCNT); bpl 1b
        0x6B, 0x80, 0xF0, 0x00, 0x58, 0xB0, 0xFF, 0xFC,    // mov.w r0,@H'F000:16; bmi . (N from the store)
    };
    BoardConfig config;
    config.clockMhz = r.mhz;
    BoardWire::Time now{};
    Board board(config, {}, [&now] { return now; });
    const double states = std::chrono::duration<double, std::nano>(RunUntilStopped(board, now, program)).count() *
                          r.mhz / 1000;
    EXPECT_NE(board.Describe().find(ending), std::string::npos) << board.Describe();
    // The counter starts at the TCNT write, which ends 22 states in; the read that sees OVF ends at most a pass
    // of 11 states after the overflow; then bpl (4), the store (6) and one bmi (6).
    EXPECT_GE(states, static_cast<double>(r.overflowStates)) << states;
    EXPECT_LE(states, static_cast<double>(r.overflowStates + 22 + 11 + 4 + 12));
    EXPECT_EQ(r.stored < 0 ? r.stored : RamAt(board, 0xFF000) << 8 | RamAt(board, 0xFF001), r.stored);  // TCSR, TCNT
    board.Bus().Write16(BoardBus::kRstcsr, 0x5A40);  // RSTOE set, WRST left as it was
    EXPECT_EQ(board.Bus().Read8(BoardBus::kRstcsr + 1), r.stored < 0 ? 0xFF : 0x7F);  // WRST: the watchdog reset the chip
    board.Bus().Write16(BoardBus::kRstcsr, 0xA500);
    EXPECT_EQ(board.Bus().Read8(BoardBus::kRstcsr + 1), 0x7F);  // H'A500 clears it
  }
}

// One pass of a poll loop in states: 2 a word fetched, 3 an I/O bus cycle,
// a byte a cycle on the 8-bit bus (SCI1), a word on the 16-bit one (the
// watchdog), RAM at 2; bra takes 4. The value read: the first byte the high one.
TEST(BoardProgram, APollLoopsPassTakesTheStatesOfItsBusCycles) {
  const struct { std::vector<std::uint8_t> read; std::uint64_t pass; std::uint32_t er0; } rows[] = {
      {{0x28, 0xBC}, 2 + 3 + 4, 0x84},                     // mov.b @H'FFBC:8,r0l    SSR: TDRE, TEND
      {{0x6B, 0x00, 0xFF, 0xBC}, 4 + 6 + 4, 0x8400},       // mov.w @H'FFBC:16,r0    SSR and RDR: two cycles
      {{0x6B, 0x00, 0xFF, 0xA8}, 4 + 3 + 4, 0x1800},       // mov.w @H'FFA8:16,r0    TCSR and TCNT: one
      {{0x6B, 0x00, 0xF0, 0x00}, 4 + 2 + 4, 0},            // mov.w @H'F000:16,r0    RAM
      {{0x6B, 0x00, 0xFF, 0xAA}, 4 + 3 + 4, 0x003F},       // mov.w @H'FFAA:16,r0    RSTCSR: the last word on the 16-bit bus
      {{0x6B, 0x00, 0xFF, 0xAC}, 4 + 6 + 4, 0}, {{0x6B, 0x00, 0xFF, 0xA6}, 4 + 6 + 4, 0},  // mov.w @H'FFAC:16,r0 past it, on the 8-bit bus again; H'FFA6, before TCSR, the same
      {{0x6B, 0x00, 0xFF, 0x1A}, 4 + 2 + 4, 0xFFFF},       // mov.w @H'FF1A:16,r0    below the I/O registers: nothing there
      {{0x6A, 0x08, 0xFF, 0x1C}, 4 + 3 + 4, 0},            // mov.b @H'FF1C:16,r0l   the first I/O address
      {{0x01, 0x00, 0x6B, 0x00, 0xFF, 0x0E}, 6 + 4 + 4, 0xFFFF},  // mov.l @H'FF0E:16,er0  the last RAM word and nothing
      {{0x01, 0x00, 0x6B, 0x00, 0xFF, 0xBA}, 6 + 12 + 4, 0x00FF8400}};  // mov.l @H'FFBA:16,er0  four cycles: SCR, TDR, SSR, RDR
  for (const auto& r : rows) {
    Board board(BoardConfig{});
    std::vector<std::uint8_t> loop = r.read;
    loop.insert(loop.end(), {0x40, static_cast<std::uint8_t>(-2 - static_cast<int>(r.read.size()))});  // bra 1b
    std::copy(loop.begin(), loop.end(), board.Bus().Ram() + (0xFF300 - BoardBus::kRamStart));
    board.Cpu().Reset(0xFF300);
    board.Cpu().Run(2);
    const std::uint64_t before = board.Cpu().States();
    board.Cpu().Run(20);
    EXPECT_EQ(board.Cpu().States() - before, 10 * r.pass) << r.pass;
    EXPECT_EQ(board.Cpu().Er(0), r.er0) << std::hex << board.Cpu().Er(0);
  }
}

// At 8.15 MHz the boot program echoes at 9433 bit/s (BRR 26), 1.7% slow: a
// host sending without pause gains a character every 57 bytes and overruns
// it once three ahead; bursts of 16, their echoes read between, never do.
TEST(BoardProgram, TheBootProgramOverrunsWhenItsEchoesFallThreeBehind) {
  for (const std::size_t burst : {16, 200}) {
    SCOPED_TRACE(burst);
    BoardConfig config;
    config.clockMhz = 8.15;
    config.pace = true;
    BoardWire::Time now{};
    Board board(config, {}, [&now] { return now; });
    std::string log;
    board.SetLog([&log](const std::string& line) { log += line + "\n"; });
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
    const std::size_t note = log.find("a byte overrun");  // noted once
    EXPECT_TRUE(burst == 16 ? note == std::string::npos : note != std::string::npos && log.find("a byte overrun", note + 1) == std::string::npos) << log;
  }
}

// What --preload takes: a raw image of up to 128 KB from offset 0, or
// S-records (S1 to S3) in either case of hex digit, a fault named with the file; what --dump writes
// (32 bytes a record at most) reads back.
TEST(BoardFlashFile, RawImagesUpTo128KBAndSrecordsInEitherCase) {
  TempFolder dir;
  FlashImage raw;
  std::string why;
  EXPECT_TRUE(LoadFlashFile(dir.Write("small.bin", "\x12\x34"), &raw, &why)) << why;
  EXPECT_EQ(raw.PresentCount(), 2u);
  EXPECT_EQ(raw.bytes[1], 0x34);
  EXPECT_FALSE(LoadFlashFile(dir.Write("big.bin", std::string(128 * 1024 + 1, '\0')), &raw, &why));
  EXPECT_NE(why.find("larger than the 128 KB flash"), std::string::npos) << why;
  EXPECT_TRUE(!LoadFlashFile(dir.Path("none.mot"), &raw, &why) && why == "cannot open " + dir.Path("none.mot")) << why;
  // Each data type, the header and end records passed over; the first bad line named.
  const struct { const char* text; const char* why; std::uint32_t at = 0; std::uint8_t byte = 0; std::size_t count = 0; } rows[] = {
      {"S0030000FC\nS20501FFFFCD2E\nS9030000FC\n", nullptr, 0x1FFFF, 0xCD, 1}, {"S30600000200EF08 \n", nullptr, 0x200, 0xEF, 1},
      {"S1050100ab5af4\r\n", nullptr, 0x100, 0xAB, 2}, {"S1030000FC\n", nullptr, 0, 0xFF, 0},  // a record with no data
      {"S9030000FC\nX1050100AB5AF4\n", "line 2: not an S-record"}, {"S1050100AB5AG4\n", "line 1: bad hex digits"},
      {"S1040100AB5AF4\n", "count does not match"}, {"S1050100AB5AF5\n", "bad checksum"}, {"S102FFFE\n", "record too short"},
      {"S100\n", "line 1: bad checksum"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text);
    FlashImage image, again;  // again: what --dump writes of it, read back
    EXPECT_EQ(LoadFlashFile(dir.Write("r.mot", r.text), &image, &why), r.why == nullptr);
    EXPECT_TRUE(r.why ? why.rfind(dir.Path("r.mot: "), 0) == 0 && why.find(r.why) != std::string::npos : image.bytes[r.at] == r.byte && image.PresentCount() == r.count &&
                ParseSrecords(FormatSrecords(image.bytes.data(), image.present), &again, &why) && again.bytes == image.bytes) << why;
  }
  std::vector<bool> forty(FlashMemory::kSize);
  std::fill_n(forty.begin() + 0x100, 40, true);
  const std::string dump = FormatSrecords(raw.bytes.data(), forty);
  EXPECT_TRUE(dump.find("\r\nS224000100") != std::string::npos && dump.find("\r\nS20C000120") != std::string::npos) << dump;
}

// Each H'00 on a line the boot program cannot measure is ignored; the log says so each time the
// problem changes, also when it comes back the same after a good byte, which is measured.
TEST(BoardProgram, ALineProblemIsLoggedEachTimeItChanges) {
  using P = HostLine::Parity;
  using S = HostLine::StopBits;
  const struct { long rate; int dataBits; P parity; S stop; bool raw; const char* logged; } rows[] = {
      {9600, 7, P::kNone, S::kOne, true, "byte ignored, the line not 8 data bits"}, {9600, 7, P::kNone, S::kOne, true, ""},
      {9600, 8, P::kNone, S::kOne, true, "bit rate measured: 9600 bit/s, BRR = 51"}, {9600, 7, P::kNone, S::kOne, true, "byte ignored, the line not 8 data bits"},
      {0, 8, P::kOdd, S::kOne, true, "byte ignored, the line sends at an unusual bit rate, parity on"},
      {9600, 8, P::kEven, S::kTwo, true, "byte ignored, the line parity on, 2 stop bits"}, {9600, 8, P::kNone, S::kOneAndHalf, false, "byte ignored, the line 1.5 stop bits, not raw"}};
  HostLine line;
  Board board(BoardConfig{}, [&line] { return line; });
  std::string log;
  board.SetLog([&log](const std::string& text) { log += text; });
  for (const auto& r : rows) {
    line = {r.rate, 0, r.dataBits, r.parity, r.stop, r.raw};
    log.clear();
    const std::uint8_t zero = 0;
    board.Wire().FromHost(&zero, 1);
    board.Run();
    EXPECT_EQ(log, *r.logged ? std::string("boot program: ") + r.logged : "");
  }
}

// h8board's option values at their bounds, and the reason given for each one refused; and
// h8board --help: each option's help starts in column 23, beside a name
// that leaves it room (22 characters at most, then a space), below a longer one.
TEST(H8BoardOptions, ValuesAtTheirBoundsWhatIsRefusedAndTheHelp) {
  using O = const H8BoardOptions&;
  using Bytes = std::vector<std::uint8_t>;
  const struct { const char* args; const char* refusal; std::function<bool(O)> took = nullptr; } rows[] = {
      {"--clock 2 --clock=16 --latency 1000 --line-limit 50 --line-limit 10000000 --late-echo 0:3600000 --tx-late 1:0x10 --flash-log=f -h --verbose",
       nullptr, [](O o) { return o.board.clockMhz == 16 && o.board.latencyMs == 1000 && o.board.line.lineLimit == 10000000 && o.verbose &&
                                 o.board.boot.lateEchoMs.at(0) == 3600000 && o.board.gaps.txLateMs.at(1) == 16 && o.flashLog == "f" && o.help; }},
      {"--rx-noise 1:H'80 --tx-noise 0x2:0Xff --sync-answers -,11,0000 --after-sync 5aA5 --check-answer h'AB --timeout 0.5", nullptr, [](O o) {
         return o.board.line.rxNoise.at(1) == 0x80 && o.board.line.txNoise.at(2) == 0xFF && o.board.boot.checkAnswer == 0xAB &&
                o.board.boot.syncAnswers == std::vector<Bytes>{{}, {0x11}, {0, 0}} && o.board.boot.afterSync == Bytes{0x5A, 0xA5} && o.timeoutSeconds == 0.5; }},
      {"--record-answer 2:=NG --record-answer 3:- --record-answer 4:0d0a --stuck-bit 1FFFF:7 --weak-byte H'10:80 --left-flow ixon,crtscts", nullptr, [](O o) {
         return o.board.records.answers == std::map<std::size_t, Bytes>{{2, {'N', 'G'}}, {3, {}}, {4, {0x0D, 0x0A}}} && o.leftFlow.crtscts && !o.leftFlow.ixoff &&
                o.board.stuckBits.at(0).address == 0x1FFFF && o.board.stuckBits.at(0).bit == 7 && o.board.weakBytes.at(0).mask == 0x80; }},
      {"--clock 1.99", "--clock: not a clock from 2 to 16 MHz: 1.99"}, {"--clock 16.01", "not a clock"}, {"--clock 8x", "not a clock"},
      {"--latency 1001", "--latency: not a number of milliseconds from 0 to 1000: 1001"}, {"--latency -0", "not a number of"},
      {"--line-limit 49", "not a bit rate from 50"}, {"--line-limit 10000001", "not a bit rate from 50"}, {"--late-echo 0:3600001", "expected N:MS"},
      {"--tx-late 0:5", "expected N:MS with a byte from 1"}, {"--tx-late 1:3600001", "expected N:MS"}, {"--rx-noise 0:80", "expected N:MASK"},
      {"--rx-noise 1:0", "expected N:MASK"}, {"--tx-noise 1:100", "expected N:MASK"}, {"--sync-answers -,1", "expected - or hex bytes"},
      {"--after-sync 5AA", "not hex bytes"}, {"--sync-answer 0x100", "not a hexadecimal byte"}, {"--record-answer 0:-", "with a record from 1"},
      {"--record-answer 1:=", "expected N:-"}, {"--stuck-bit 20000:0", "expected ADDR:BIT"}, {"--stuck-bit 0:8", "expected ADDR:BIT"},
      {"--weak-byte 10:0", "expected ADDR:MASK"}, {"--timeout 0", "not a positive number of seconds"}, {"--left-flow ixon,", "expected ixon, ixoff or crtscts"},
      {"--rx-drop 0", "not a byte position from 1"}, {"--drop-echo -1", "not a position"}, {"--hang-up-after-records x", "not a number of records"},
      {"--pace=1", "--pace takes no value"}, {"--link", "--link needs a value"}, {"--frobnicate", "unknown option: --frobnicate"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.args);
    std::vector<std::string> args;
    std::istringstream words(r.args);
    for (std::string word; words >> word;) args.push_back(word);
    H8BoardOptions options;
    std::string why;
    EXPECT_EQ(ParseH8BoardOptions(args, &options, &why), r.refusal == nullptr) << why;
    EXPECT_TRUE(r.refusal ? why.find(r.refusal) != std::string::npos : r.took(options)) << why;
  }
  std::istringstream text(H8BoardUsage());
  int options = 0;
  for (std::string line; std::getline(text, line);) {
    const std::string name = line.substr(0, line.size() > 23 && line[21] != ' ' && line[22] == ' ' ? 22 : line.find("  ", 2));
    if (line.compare(0, 4, "  --") == 0 && ++options && name.size() <= 22) {
      EXPECT_EQ(line.find_first_not_of(' ', name.size()), 23u) << line;
    }
  }
  EXPECT_GT(options, 30);
}
