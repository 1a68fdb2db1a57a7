// The board's parts without the CPU: SCI1's flags, the flash model's
// program and verify rules, the address decoding and watchdog guard, the
// boot program and the S-record files.
#include <gtest/gtest.h>
#include <termios.h>

#include "board_bus.h"
#include "boot_program.h"
#include "flash.h"
#include "flash_srec.h"
#include "sci.h"
#include "pty_line.h"
#include "record_faults.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// --- SCI1 ---------------------------------------------------------------------

TEST(BoardSci, ReceiveFlagsClearOnlyByReadingOneThenWritingZero) {
  Sci sci;
  sci.Write(Sci::kScr, Sci::kTe | Sci::kRe);
  sci.Write(Sci::kSsr, 0xFE);  // writing 1 sets no flag
  EXPECT_EQ(sci.Read(Sci::kSsr), Sci::kTdre | Sci::kTend);

  sci.ByteArrived(0x41);
  sci.Write(Sci::kSsr, static_cast<std::uint8_t>(~Sci::kRdrf));  // not read as 1 yet: stays set
  EXPECT_TRUE(sci.Read(Sci::kSsr) & Sci::kRdrf);
  EXPECT_FALSE(sci.ReadyToReceive());
  EXPECT_EQ(sci.Read(Sci::kRdr), 0x41);
  EXPECT_TRUE(sci.Ssr() & Sci::kRdrf) << "reading RDR does not clear RDRF";
  const std::uint8_t seen = sci.Ssr();
  sci.Write(Sci::kSsr, seen & 0x87);
  EXPECT_EQ(sci.Ssr() & ~Sci::kMpbt, Sci::kTdre | Sci::kTend) << "RDRF cleared, TDRE left alone";
  sci.ByteArrived(0x42);              // RDRF set again by the hardware...
  sci.Write(Sci::kSsr, seen & 0x87);  // ...a stale write of 0 does not clear it
  EXPECT_TRUE(sci.Ssr() & Sci::kRdrf);

  sci.ByteArrived(0x43);  // overrun: the new byte is lost
  const std::uint8_t ssr = sci.Read(Sci::kSsr);
  EXPECT_EQ(ssr & Sci::kReceiveFlags, Sci::kRdrf | Sci::kOrer);
  EXPECT_EQ(sci.Read(Sci::kRdr), 0x42);
  sci.Write(Sci::kSsr, ssr & 0x87);  // the write-control program clears all four at once
  EXPECT_TRUE(sci.ReadyToReceive());
  // Framing or parity error: RDR loaded, RDRF not set, reception stopped.
  sci.ByteArrived(0x33, /*framingError=*/true);
  EXPECT_EQ(sci.Ssr() & Sci::kReceiveFlags, Sci::kFer);
  EXPECT_EQ(sci.Read(Sci::kRdr), 0x33);
  EXPECT_FALSE(sci.ReadyToReceive());
  sci.Read(Sci::kSsr);
  sci.Write(Sci::kSsr, 0x87);
  sci.ByteArrived(0x44, false, /*parityError=*/true);
  EXPECT_EQ(sci.Ssr() & Sci::kReceiveFlags, Sci::kPer);
}

TEST(BoardSci, TransmitHandsOverOnlyWhenTdreIsCleared) {
  Sci sci;
  sci.Write(Sci::kScr, Sci::kTe | Sci::kRe);
  sci.Write(Sci::kTdr, 'x');
  EXPECT_FALSE(sci.TransmitPending()) << "TDR write alone does not hand over";
  sci.Read(Sci::kSsr);
  sci.Write(Sci::kSsr, static_cast<std::uint8_t>(sci.Ssr() & ~Sci::kTdre));  // BCLR #7
  ASSERT_TRUE(sci.TransmitPending());
  EXPECT_EQ(sci.StartTransmit(), 'x');
  EXPECT_EQ(sci.Ssr() & (Sci::kTdre | Sci::kTend), Sci::kTdre);
  sci.TransmitIdle();
  EXPECT_TRUE(sci.Ssr() & Sci::kTend);
}

// --- flash ----------------------------------------------------------------------

TEST(BoardFlash, WriteOnlyLatchesAndEachPulseProgramsBitsToZeroOnly) {
  FlashMemory flash;
  flash.WriteFlmcr(FlashMemory::kVppe);
  flash.WriteEbr(1, 0x01);
  flash.Write(0x0123, 0xA5);
  EXPECT_EQ(flash.Read(0x0123), 0xFF) << "a write before the pulse changes nothing";
  flash.WriteFlmcr(FlashMemory::kVppe | FlashMemory::kP);
  EXPECT_EQ(flash.Read(0x0123), 0xA5);
  flash.WriteFlmcr(FlashMemory::kVppe | FlashMemory::kP);  // P still on: no new pulse
  EXPECT_EQ(flash.GetStats().pulses, 1u);
  flash.WriteFlmcr(FlashMemory::kVppe);

  flash.Write(0x0123, 0x5A);  // needs 1s where there are 0s: only ever clears
  for (int i = 0; i < 3; ++i) {
    flash.WriteFlmcr(FlashMemory::kVppe | FlashMemory::kP);
    flash.WriteFlmcr(FlashMemory::kVppe);
  }
  flash.WriteFlmcr(FlashMemory::kVppe | FlashMemory::kPv);
  EXPECT_EQ(flash.Read(0x0123), 0x00) << "program-verify reads the cell";
  EXPECT_EQ(flash.GetStats().pulses, 4u);
  EXPECT_EQ(flash.GetStats().bytesProgrammed, 2u) << "one per latched byte, however many pulses";
  EXPECT_TRUE(flash.Pulsed(0x0123));
  EXPECT_FALSE(flash.Pulsed(0x0124));

  flash.EraseAll();
  EXPECT_EQ(flash.Read(0x0123), 0xFF);
  EXPECT_FALSE(flash.Pulsed(0x0123));
}

TEST(BoardFlash, WritesWithoutVppeOrOutsideTheSelectedBlockAreIgnoredAndCounted) {
  FlashMemory flash;
  flash.Write(0x10, 0x00);  // no VPPE
  flash.WriteFlmcr(FlashMemory::kVppe);
  flash.WriteEbr(1, 0x02);  // LB1 only: H'04000-H'07FFF
  flash.Write(0x3FFF, 0x00);
  flash.WriteEbr(1, 0x00);
  flash.WriteEbr(2, 0x01);     // SB0: H'1F000-H'1F1FF
  flash.Write(0x1EFFF, 0x00);  // last byte of LB7
  flash.WriteFlmcr(FlashMemory::kVppe | FlashMemory::kP);
  EXPECT_EQ(flash.GetStats().ignoredWrites, 3u);
  EXPECT_EQ(flash.GetStats().latchedWrites, 0u);
  EXPECT_EQ(flash.Read(0x10) & flash.Read(0x3FFF) & flash.Read(0x1EFFF), 0xFF);

  // P without VPPE is no pulse; dropping VPPE drops the latch.
  flash.WriteFlmcr(0);
  flash.WriteFlmcr(FlashMemory::kP);
  EXPECT_EQ(flash.GetStats().pulses, 1u);
  flash.WriteFlmcr(FlashMemory::kVppe);
  flash.Write(0x1F1FF, 0x00);
  flash.WriteFlmcr(0);
  flash.WriteFlmcr(FlashMemory::kVppe);
  flash.WriteFlmcr(FlashMemory::kVppe | FlashMemory::kP);
  EXPECT_EQ(flash.Read(0x1F1FF), 0xFF);
  EXPECT_EQ(flash.ReadFlmcr() & FlashMemory::kVpp, FlashMemory::kVpp) << "12 V is on in boot mode";
}

// --- the bus ----------------------------------------------------------------------

struct BoardBusTest : ::testing::Test {
  BoardWire wire{false};
  BoardBus bus{wire};
};

// (The registers, RAM and flash at the addresses the write-control program
// uses are covered by running it; here the edges.)
TEST_F(BoardBusTest, DecodesOnTheLow20BitsAndCountsUnmappedAccesses) {
  bus.Write8(0xFEF10, 0x12);  // first and last bytes of RAM, through a 24-bit mirror
  bus.Write8(0xFFF0F, 0x34);
  EXPECT_EQ(bus.Read8(0xFFEF10), 0x12);
  EXPECT_EQ(bus.Read8(0x0FFF0F), 0x34);
  bus.Flash().Load(0x1FFFF, Bytes{0x77}.data(), 1);
  EXPECT_EQ(bus.Read8(0xF1FFFF), 0x77);
  EXPECT_EQ(bus.GetStats().unmappedAccesses, 0u);
  EXPECT_EQ(bus.Read8(0x20000), 0xFF);  // just above flash and just below and above RAM
  EXPECT_EQ(bus.Read8(0xFEF0F), 0xFF);
  bus.Write8(0xFFF10, 0x00);
  EXPECT_EQ(bus.GetStats().unmappedAccesses, 3u);
  EXPECT_FALSE(bus.PlainRegion(0xF00010)->writable) << "flash writes must reach the model";
  EXPECT_FALSE(bus.PlainRegion(0xFFFFBC)) << "no window over I/O";
}

TEST_F(BoardBusTest, WatchdogTakesOnlyPasswordWordsAndGuardsPulses) {
  bus.Write8(0xFFFFA8, 0x79);
  bus.Write16(0xFFFFA8, 0x5A79);  // TCNT's password, not TCSR's
  EXPECT_FALSE(bus.WatchdogRunning());
  bus.Write16(0xFFFFA8, 0x1279);
  EXPECT_EQ(bus.GetStats().refusedWatchdogWrites, 2u);
  for (const bool watchdog : {false, true}) {
    bus.Write16(0xFFFFA8, watchdog ? 0xA579 : 0xA500);
    EXPECT_EQ(bus.WatchdogRunning(), watchdog);
    bus.Write8(0xFFFF40, 0x40);
    bus.Write8(0xFFFF40, 0x41);
    bus.Write8(0xFFFF40, 0x40);
  }
  EXPECT_EQ(bus.Flash().GetStats().pulses, 2u);
  EXPECT_EQ(bus.GetStats().unguardedPulses, 1u);
}

// --- the boot program ---------------------------------------------------------------

TEST(BoardBootLine, OnlyA9600BitRaw8N1LinePasses) {
  termios t{};
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&t, B9600);
  cfsetospeed(&t, B9600);
  EXPECT_EQ(LineProblem(HostLineFromTermios(t)), "");
  t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
  t.c_iflag |= IXON;
  t.c_oflag |= OPOST;
  t.c_lflag |= ECHO;  // (a wrong speed and ICANON: the h8board tests)
  std::string notRaw;
  EXPECT_EQ(LineProblem(HostLineFromTermios(t, &notRaw)), "not 8 data bits, parity on, 2 stop bits, not raw");
  EXPECT_EQ(notRaw, "ECHO on, IXON on, OPOST on");
}

struct BoardBootTest : ::testing::Test {
  BoardWire wire{false};
  BoardBus bus{wire};

  // Sends bytes; the answers.
  static Bytes Send(BootProgram& boot, const Bytes& bytes) {
    Bytes answers;
    for (std::uint8_t b : bytes) {
      const Bytes a = boot.Receive(b);
      answers.insert(answers.end(), a.begin(), a.end());
    }
    return answers;
  }
  static Bytes Program(std::size_t n) {
    Bytes p(n);
    for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return p;
  }
  static Bytes Length(std::size_t n) { return {static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)}; }
  // A boot program past the bit-rate measurement and the H'55 check.
  BootProgram Synchronised(BootFaults faults = {}) {
    BootProgram boot(bus, faults);
    EXPECT_EQ(Send(boot, {0x00, 0x55}), (Bytes{0x00, 0xAA}));
    return boot;
  }
};

TEST_F(BoardBootTest, LoadsWhatFitsTheRamEchoesErasesAndStarts) {
  for (std::size_t bad : {std::size_t{0}, BootProgram::kMaxLength + 1}) {
    BootProgram boot = Synchronised();
    EXPECT_EQ(Send(boot, Length(bad)), (Bytes{Length(bad)[0], 0xFF})) << bad;
    EXPECT_EQ(boot.GetState(), BootProgram::State::kHalted);
  }
  bus.Flash().Load(0x100, Bytes{0x00}.data(), 1);  // left from before
  BootProgram boot(bus, {});
  EXPECT_TRUE(Send(boot, {0x55, 0x12}).empty()) << "nothing but H'00 before the bit rate is measured";
  EXPECT_EQ(Send(boot, {0x00, 0x00, 0x55}), (Bytes{0x00, 0x00, 0xAA}));
  const Bytes program = Program(BootProgram::kMaxLength);
  Bytes sent = Length(program.size());
  sent.insert(sent.end(), program.begin(), program.end());
  Bytes expected = sent;
  expected.push_back(0xAA);
  EXPECT_EQ(Send(boot, sent), expected);
  EXPECT_TRUE(boot.Started());
  EXPECT_TRUE(std::equal(program.begin(), program.end(), bus.Ram() + (BootProgram::kLoadAddress - BoardBus::kRamStart)));
  EXPECT_EQ(bus.Flash().Read(0x100), 0xFF) << "erased before the start";
  EXPECT_TRUE(Send(boot, {0x00}).empty()) << "the program has the line now";
}

TEST_F(BoardBootTest, InjectedEchoAndStartFaults) {
  BootFaults f;
  f.dropEcho = {0, 4};  // 4 is the last byte: the program still starts
  f.corruptEcho = {2};
  f.startAnswer = 0x5A;
  BootProgram boot = Synchronised(f);
  Send(boot, Length(5));
  const Bytes p = Program(5);
  EXPECT_EQ(Send(boot, p), (Bytes{p[1], static_cast<std::uint8_t>(~p[2]), p[3], 0x5A}));
  EXPECT_TRUE(boot.Started());

  BootFaults never;
  never.noStart = true;
  BootProgram silent = Synchronised(never);
  Send(silent, Length(3));
  EXPECT_EQ(Send(silent, Program(3)), Program(3)) << "echoes, then nothing";
  EXPECT_FALSE(silent.Started());
}

TEST_F(BoardBootTest, SyncTriesAnsweredInTurnThenAsUsual) {
  BootFaults f;
  f.syncAnswers = {{}, {0x11}, {0x00, 0x00}};
  f.afterSync = {0x5A, 0xA5};  // once, behind the answer that measures the bit rate
  f.lateEchoMs = {{1, 40}};
  BootProgram boot(bus, f);
  EXPECT_EQ(Send(boot, Bytes(4, 0x00)), (Bytes{0x11, 0x5A, 0xA5, 0x00, 0x00, 0x00}));
  Send(boot, {0x55, 0x00, 0x02, 0x01});
  EXPECT_EQ(boot.AnswerDelayMs(), 0u);
  Send(boot, {0x02});
  EXPECT_EQ(boot.AnswerDelayMs(), 40u);
}

TEST(BoardRecordFaults, AnswersCountFromTheStartText) {
  RecordFaults faults;
  faults.answers = {{2, {}}, {3, {'X', 'Y'}}};
  faults.silentAfter = 4;
  RecordFilter filter(faults);
  std::string out;
  for (char ch : std::string("[START]\r\nUUUUUU"))
    for (std::uint8_t b : filter.Pass(static_cast<std::uint8_t>(ch))) out += static_cast<char>(b);
  EXPECT_EQ(out, "[START]\r\nUXYU");
}

// --- S-record files -------------------------------------------------------------------

TEST(BoardSrecords, ReadsAllAddressSizesChecksThemAndDumpsThemBack) {
  FlashImage image, bad, again;
  std::string why;
  ASSERT_TRUE(ParseSrecords("S00600004844521B\r\nS1050010AABB85\n\nS206012345CCDDE7\r\n"
                            "S30700020001EEff08\n"  // lower-case hex; H'20001 wraps to 1
                            "S9030000FC\n",
                            &image, &why))
      << why;
  EXPECT_EQ(image.PresentCount(), 6u);
  EXPECT_EQ(image.bytes[0x10], 0xAA);
  EXPECT_EQ(image.bytes[0x12345], 0xCC);
  EXPECT_EQ(image.bytes[0x1], 0xEE);
  EXPECT_TRUE(image.present[0x2] && image.bytes[0x2] == 0xFF);
  EXPECT_FALSE(ParseSrecords("S1050010AABB84\n", &bad, &why));
  EXPECT_NE(why.find("checksum"), std::string::npos);
  EXPECT_FALSE(ParseSrecords("S1060010AABB84\n", &bad, &why));
  EXPECT_FALSE(ParseSrecords("hello\n", &bad, &why));
  ASSERT_TRUE(ParseSrecords(FormatSrecords(image.bytes.data(), image.present), &again, &why)) << why;
  EXPECT_EQ(again.present, image.present);
  EXPECT_EQ(again.bytes, image.bytes);
}

}  // namespace
