// The board's parts without the CPU: SCI1's flags, the flash model, the
// address decoding, the paced wire, the boot program and the S-record files.
#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>

#include "board_bus.h"
#include "board_wire.h"
#include "boot_program.h"
#include "flash.h"
#include "flash_srec.h"
#include "sci.h"

namespace {

// --- SCI1 ---------------------------------------------------------------------

Sci ReceivingSci() {
  Sci sci;
  sci.Write(Sci::kScr, Sci::kTe | Sci::kRe);
  return sci;
}

TEST(BoardSci, ReceiveFlagIsClearedOnlyByReadingOneThenWritingZero) {
  Sci sci = ReceivingSci();
  EXPECT_EQ(sci.Read(Sci::kSsr), Sci::kTdre | Sci::kTend);
  sci.Write(Sci::kSsr, 0xFF);  // writing 1 sets nothing
  EXPECT_EQ(sci.Read(Sci::kSsr) & Sci::kReceiveFlags, 0);

  sci.ByteArrived(0x41);
  sci.Write(Sci::kSsr, static_cast<std::uint8_t>(~Sci::kRdrf));  // not read as 1 yet: stays set
  EXPECT_TRUE(sci.Ssr() & Sci::kRdrf);
  EXPECT_FALSE(sci.ReadyToReceive());
  EXPECT_TRUE(sci.Read(Sci::kSsr) & Sci::kRdrf);
  EXPECT_EQ(sci.Read(Sci::kRdr), 0x41);
  EXPECT_TRUE(sci.Ssr() & Sci::kRdrf) << "reading RDR does not clear RDRF";
  sci.Write(Sci::kSsr, static_cast<std::uint8_t>(~Sci::kRdrf));
  EXPECT_FALSE(sci.Ssr() & Sci::kRdrf);
  EXPECT_TRUE(sci.Ssr() & Sci::kTdre) << "writing 1 to TDRE leaves it alone";
  EXPECT_TRUE(sci.ReadyToReceive());
}

TEST(BoardSci, OverrunFramingAndParityErrors) {
  Sci sci = ReceivingSci();
  sci.ByteArrived(0x11);
  sci.ByteArrived(0x22);
  const std::uint8_t ssr = sci.Read(Sci::kSsr);
  EXPECT_EQ(ssr & Sci::kReceiveFlags, Sci::kRdrf | Sci::kOrer);
  EXPECT_EQ(sci.Read(Sci::kRdr), 0x11) << "the overrunning byte is lost";
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

TEST(BoardSci, FlagSetAgainAfterTheReadSurvivesTheWrite) {
  Sci sci = ReceivingSci();
  sci.ByteArrived(0x01);
  const std::uint8_t seen = sci.Read(Sci::kSsr);
  sci.Write(Sci::kSsr, seen & 0x87);
  sci.ByteArrived(0x02);                 // RDRF set again by the hardware...
  sci.Write(Sci::kSsr, seen & 0x87);     // ...a stale write of 0 does not clear it
  EXPECT_TRUE(sci.Ssr() & Sci::kRdrf);
  EXPECT_EQ(sci.Read(Sci::kRdr), 0x02);
}

TEST(BoardSci, TransmitHandOverAndReceiverOff) {
  Sci sci;
  sci.ByteArrived(0x55);
  EXPECT_EQ(sci.Ssr() & Sci::kRdrf, 0) << "receiver off: byte lost";
  sci.Write(Sci::kScr, Sci::kTe | Sci::kRe);
  EXPECT_FALSE(sci.TransmitPending());
  sci.Write(Sci::kTdr, 'x');
  EXPECT_FALSE(sci.TransmitPending()) << "TDR write alone does not hand over";
  sci.Read(Sci::kSsr);
  sci.Write(Sci::kSsr, static_cast<std::uint8_t>(sci.Ssr() & ~Sci::kTdre));  // BCLR #7
  EXPECT_TRUE(sci.TransmitPending());
  EXPECT_FALSE(sci.Ssr() & Sci::kTend);
  EXPECT_EQ(sci.StartTransmit(), 'x');
  EXPECT_TRUE(sci.Ssr() & Sci::kTdre);
  EXPECT_FALSE(sci.TransmitPending());
  sci.TransmitIdle();
  EXPECT_TRUE(sci.Ssr() & Sci::kTend);
  // Clearing TDRE again then turning TE off: TDRE set, nothing pending.
  sci.Read(Sci::kSsr);
  sci.Write(Sci::kSsr, 0x00);
  sci.Write(Sci::kScr, Sci::kRe);
  EXPECT_TRUE(sci.Ssr() & Sci::kTdre);
  EXPECT_FALSE(sci.TransmitPending());
}

// --- flash ----------------------------------------------------------------------

// The write-control program's sequence for one byte, through the registers.
void ProgramByte(FlashMemory& flash, std::uint32_t a, std::uint8_t value, int pulses = 1) {
  const FlashMemory::Block block = FlashMemory::BlockOf(a);
  flash.WriteFlmcr(FlashMemory::kVppe);
  flash.WriteEbr(block.ebr, block.mask);
  flash.Write(a, value);
  for (int i = 0; i < pulses; ++i) {
    flash.WriteFlmcr(FlashMemory::kVppe | FlashMemory::kP);
    flash.WriteFlmcr(FlashMemory::kVppe);
  }
  flash.WriteFlmcr(FlashMemory::kVppe | FlashMemory::kPv);
  flash.WriteFlmcr(FlashMemory::kVppe);
  flash.WriteEbr(1, 0);
  flash.WriteEbr(2, 0);
  flash.WriteFlmcr(0);
}

TEST(BoardFlash, WriteOnlyLatchesAndThePulseProgramsBitsToZeroOnly) {
  FlashMemory flash;
  flash.WriteFlmcr(FlashMemory::kVppe);
  flash.WriteEbr(1, 0x01);
  flash.Write(0x0123, 0xA5);
  EXPECT_EQ(flash.Read(0x0123), 0xFF) << "a write before the pulse changes nothing";
  flash.WriteFlmcr(FlashMemory::kVppe | FlashMemory::kP);
  EXPECT_EQ(flash.Read(0x0123), 0xA5);
  flash.WriteFlmcr(FlashMemory::kVppe | FlashMemory::kP);  // P still on: no new pulse
  EXPECT_EQ(flash.GetStats().pulses, 1u);

  ProgramByte(flash, 0x0123, 0x5A, 3);  // needs 1s where there are 0s
  EXPECT_EQ(flash.Read(0x0123), 0x00);
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
  flash.WriteEbr(1, 0x02);       // selects H'04000-H'07FFF only
  flash.Write(0x3FFF, 0x00);
  flash.WriteEbr(1, 0x00);
  flash.WriteEbr(2, 0x01);       // SB0: H'1F000-H'1F1FF
  flash.Write(0x1EFFF, 0x00);    // last byte of LB7
  flash.WriteFlmcr(FlashMemory::kVppe | FlashMemory::kP);
  EXPECT_EQ(flash.GetStats().ignoredWrites, 3u);
  EXPECT_EQ(flash.GetStats().latchedWrites, 0u);
  EXPECT_EQ(flash.Read(0x10) & flash.Read(0x3FFF) & flash.Read(0x1EFFF), 0xFF);

  // P without VPPE is no pulse; dropping VPPE drops the latch.
  flash.WriteFlmcr(0);
  flash.WriteFlmcr(FlashMemory::kP);
  EXPECT_EQ(flash.GetStats().pulses, 1u);
  flash.WriteFlmcr(FlashMemory::kVppe);
  flash.WriteEbr(2, 0x01);
  flash.Write(0x1F000, 0x00);
  flash.WriteFlmcr(0);
  flash.WriteFlmcr(FlashMemory::kVppe);
  flash.WriteFlmcr(FlashMemory::kVppe | FlashMemory::kP);
  EXPECT_EQ(flash.Read(0x1F000), 0xFF);
  EXPECT_EQ(flash.ReadFlmcr() & FlashMemory::kVpp, FlashMemory::kVpp) << "12 V is on in boot mode";
}

TEST(BoardFlash, BlocksAsTheChipDividesThem) {
  struct Case {
    std::uint32_t offset;
    int ebr;
    std::uint8_t mask;
  };
  for (const Case& c : {Case{0x00000, 1, 0x01}, Case{0x03FFF, 1, 0x01}, Case{0x04000, 1, 0x02},
                        Case{0x18000, 1, 0x40}, Case{0x1C000, 1, 0x80}, Case{0x1EFFF, 1, 0x80},
                        Case{0x1F000, 2, 0x01}, Case{0x1F1FF, 2, 0x01}, Case{0x1F200, 2, 0x02},
                        Case{0x1FE00, 2, 0x80}, Case{0x1FFFF, 2, 0x80}}) {
    const FlashMemory::Block b = FlashMemory::BlockOf(c.offset);
    EXPECT_EQ(b.ebr, c.ebr) << std::hex << c.offset;
    EXPECT_EQ(b.mask, c.mask) << std::hex << c.offset;
  }
}

// --- the bus ----------------------------------------------------------------------

struct BusFixture : ::testing::Test {
  BoardWire wire{false};
  BoardBus bus{wire};
};

TEST_F(BusFixture, DecodesOnTheLow20Bits) {
  bus.Write8(0xFEF10, 0x12);
  bus.Write8(0xFFF0F, 0x34);
  EXPECT_EQ(bus.Read8(0xFFEF10), 0x12) << "24-bit mirror";
  EXPECT_EQ(bus.Read8(0x0FFF0F), 0x34);
  bus.Flash().Load(0x1FFFF, std::vector<std::uint8_t>{0x77}.data(), 1);
  EXPECT_EQ(bus.Read8(0xF1FFFF), 0x77);
  EXPECT_EQ(bus.GetStats().unmappedAccesses, 0u);
  EXPECT_EQ(bus.Read8(0x20000), 0xFF);
  EXPECT_EQ(bus.Read8(0xFEF0F), 0xFF);
  bus.Write8(0xFFF10, 0x00);
  EXPECT_EQ(bus.GetStats().unmappedAccesses, 3u);
  // The registers as the write-control program addresses them (H'FFFFxx).
  EXPECT_EQ(bus.Read8(0xFFFFBC), Sci::kTdre | Sci::kTend);
  bus.Write8(0xFFFFBA, 0x30);
  EXPECT_EQ(bus.Sci1().Scr(), 0x30);
  bus.Write8(0xFFFF43, 0x80);
  EXPECT_EQ(bus.Flash().ReadEbr(2), 0x80);
  // Fast windows: plain RAM, flash for reading only, never I/O.
  const auto ram = bus.PlainRegion(0x0FF300);
  ASSERT_TRUE(ram);
  EXPECT_EQ(ram->begin, 0x0FEF10u);
  const auto flash = bus.PlainRegion(0xF00010);
  ASSERT_TRUE(flash);
  EXPECT_EQ(flash->begin, 0xF00000u);
  EXPECT_FALSE(flash->writable) << "flash writes must reach the model";
  EXPECT_FALSE(bus.PlainRegion(0xFFFFBC));
}

TEST_F(BusFixture, WatchdogTakesOnlyPasswordWordsAndGuardsPulses) {
  bus.Write8(0xFFFFA8, 0x79);
  EXPECT_FALSE(bus.WatchdogRunning());
  bus.Write16(0xFFFFA8, 0x5A79);  // TCNT's password, not TCSR's
  EXPECT_FALSE(bus.WatchdogRunning());
  bus.Write16(0xFFFFA8, 0x1279);
  EXPECT_EQ(bus.GetStats().refusedWatchdogWrites, 2u);

  bus.Write8(0xFFFF40, 0x40);
  bus.Write8(0xFFFF40, 0x41);  // a pulse with the watchdog stopped
  bus.Write8(0xFFFF40, 0x40);
  bus.Write16(0xFFFFA8, 0xA579);
  EXPECT_TRUE(bus.WatchdogRunning());
  bus.Write8(0xFFFF40, 0x41);
  bus.Write8(0xFFFF40, 0x40);
  bus.Write16(0xFFFFA8, 0xA500);
  EXPECT_FALSE(bus.WatchdogRunning());
  EXPECT_EQ(bus.Flash().GetStats().pulses, 2u);
  EXPECT_EQ(bus.GetStats().unguardedPulses, 1u);
}

// --- the paced wire ----------------------------------------------------------------

TEST(BoardWire, PacedBytesTakeTheirWireTimeOneAfterAnother) {
  using namespace std::chrono;
  BoardWire::Time now{};
  BoardWire wire(true, [&now] { return now; });
  const std::uint8_t in[] = {1, 2, 3};
  wire.FromHost(in, 3);
  std::uint8_t b;
  EXPECT_FALSE(wire.TakeArrived(&b));
  ASSERT_TRUE(wire.NextEvent());
  EXPECT_EQ(*wire.NextEvent() - now, BoardWire::kByteTime);
  now += BoardWire::kByteTime * 2;
  ASSERT_TRUE(wire.TakeArrived(&b));
  ASSERT_TRUE(wire.TakeArrived(&b));
  EXPECT_EQ(b, 2);
  EXPECT_FALSE(wire.TakeArrived(&b));

  // Transmit: the shift register is busy for one byte time.
  ASSERT_TRUE(wire.TransmitterFree());
  wire.Transmit('A');
  EXPECT_FALSE(wire.TransmitterFree());
  EXPECT_TRUE(wire.ForHost().empty());
  now += BoardWire::kByteTime / 2;
  // Ready half-way through the first byte: the second follows without a gap
  // once the shift register frees.
  const BoardWire::Time ready = now;
  now += BoardWire::kByteTime;
  ASSERT_TRUE(wire.TransmitterFree());
  wire.Transmit('B', ready);
  EXPECT_EQ(wire.ForHost(), std::vector<std::uint8_t>{'A'});
  wire.HandedToHost(1);
  now = ready + BoardWire::kByteTime * 2;
  EXPECT_EQ(wire.ForHost(), std::vector<std::uint8_t>{'B'});
  EXPECT_FALSE(wire.NextEvent()) << "nothing left in flight";
}

// --- the boot program ---------------------------------------------------------------

termios GoodLine() {
  termios t{};
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&t, B9600);
  cfsetospeed(&t, B9600);
  return t;
}

TEST(BoardBootLine, OnlyA9600BitRaw8N1LinePasses) {
  EXPECT_EQ(LineProblem(GoodLine()), "");
  struct Case {
    void (*change)(termios&);
    const char* expected;
  };
  const Case cases[] = {
      {[](termios& t) { cfsetospeed(&t, B115200); }, "sends at 115200 bit/s"},
      {[](termios& t) { t.c_cflag = (t.c_cflag & ~CSIZE) | CS7; }, "not 8 data bits"},
      {[](termios& t) { t.c_cflag |= PARENB; }, "parity on"},
      {[](termios& t) { t.c_cflag |= CSTOPB; }, "2 stop bits"},
      {[](termios& t) { t.c_lflag |= ICANON | ECHO; }, "ICANON on, ECHO on"},
      {[](termios& t) { t.c_lflag |= ISIG; }, "ISIG on"},
      {[](termios& t) { t.c_iflag |= ICRNL; }, "ICRNL on"},
      {[](termios& t) { t.c_iflag |= IXON; }, "IXON on"},
      {[](termios& t) { t.c_oflag |= OPOST; }, "OPOST on"},
  };
  for (const Case& c : cases) {
    termios t = GoodLine();
    c.change(t);
    EXPECT_NE(LineProblem(t).find(c.expected), std::string::npos) << LineProblem(t);
  }
}

struct BootFixture : ::testing::Test {
  BoardWire wire{false};
  BoardBus bus{wire};
  std::string problem;  // what the host's line looks like

  BootProgram Make(BootFaults faults = {}) { return BootProgram(bus, faults, [this] { return problem; }); }

  // Sends bytes; the answers.
  static std::vector<std::uint8_t> Send(BootProgram& boot, const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> answers;
    for (std::uint8_t b : bytes) {
      const auto a = boot.Receive(b);
      answers.insert(answers.end(), a.begin(), a.end());
    }
    return answers;
  }
  static std::vector<std::uint8_t> Program(std::size_t n) {
    std::vector<std::uint8_t> p(n);
    for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return p;
  }
  static std::vector<std::uint8_t> Length(std::size_t n) {
    return {static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
  }
  void Synchronise(BootProgram& boot) {
    ASSERT_EQ(Send(boot, {0x00}), std::vector<std::uint8_t>{0x00});
    ASSERT_EQ(Send(boot, {0x55}), std::vector<std::uint8_t>{0xAA});
  }
};

TEST_F(BootFixture, LoadsEchoesErasesAndStarts) {
  bus.Flash().Load(0x100, std::vector<std::uint8_t>{0x00}.data(), 1);  // left from before
  BootProgram boot = Make();
  EXPECT_TRUE(Send(boot, {0x55, 0x12}).empty()) << "nothing but H'00 before the bit rate is measured";
  EXPECT_EQ(Send(boot, {0x00, 0x00}), (std::vector<std::uint8_t>{0x00, 0x00}));
  EXPECT_EQ(Send(boot, {0x55}), std::vector<std::uint8_t>{0xAA});
  EXPECT_EQ(Send(boot, Length(837)), Length(837));
  const std::vector<std::uint8_t> program = Program(837);
  std::vector<std::uint8_t> expected = program;
  expected.push_back(0xAA);
  EXPECT_EQ(Send(boot, program), expected);
  EXPECT_TRUE(boot.Started());
  EXPECT_TRUE(std::equal(program.begin(), program.end(), bus.Ram() + (0xFF300 - BoardBus::kRamStart)));
  EXPECT_EQ(bus.Flash().Read(0x100), 0xFF) << "erased before the start";
  EXPECT_TRUE(Send(boot, {0x00}).empty()) << "the program has the line now";
}

TEST_F(BootFixture, SynchronisesOnlyOnAGoodLine) {
  BootProgram boot = Make();
  problem = "sends at 38400 bit/s, not 9600";
  EXPECT_TRUE(Send(boot, {0x00, 0x00}).empty());
  EXPECT_EQ(boot.GetState(), BootProgram::State::kBitRate);
  problem.clear();
  EXPECT_EQ(Send(boot, {0x00}), std::vector<std::uint8_t>{0x00});
}

TEST_F(BootFixture, LengthMustFitTheRam) {
  for (std::size_t bad : {std::size_t{0}, BootProgram::kMaxLength + 1}) {
    BootProgram boot = Make();
    Synchronise(boot);
    EXPECT_EQ(Send(boot, Length(bad)), (std::vector<std::uint8_t>{Length(bad)[0], 0xFF})) << bad;
    EXPECT_EQ(boot.GetState(), BootProgram::State::kHalted);
  }
  BootProgram boot = Make();
  Synchronise(boot);
  Send(boot, Length(BootProgram::kMaxLength));
  EXPECT_EQ(Send(boot, Program(BootProgram::kMaxLength)).back(), 0xAA);
  EXPECT_TRUE(boot.Started());
}

TEST_F(BootFixture, InjectedFaults) {
  {
    BootFaults f;
    f.dropEcho = {0, 4};  // 4 is the last byte: the program still starts
    f.corruptEcho = {2};
    f.startAnswer = 0x5A;
    BootProgram boot = Make(f);
    Synchronise(boot);
    Send(boot, Length(5));
    const std::vector<std::uint8_t> p = Program(5);
    EXPECT_EQ(Send(boot, p), (std::vector<std::uint8_t>{p[1], static_cast<std::uint8_t>(~p[2]), p[3], 0x5A}));
    EXPECT_TRUE(boot.Started());
  }
  {
    BootFaults f;
    f.noStart = true;
    BootProgram boot = Make(f);
    Synchronise(boot);
    Send(boot, Length(3));
    EXPECT_EQ(Send(boot, Program(3)), Program(3)) << "echoes, then nothing";
    EXPECT_FALSE(boot.Started());
  }
  {
    BootFaults f;
    f.noErase = true;
    bus.Flash().Load(0x40, std::vector<std::uint8_t>{0x12}.data(), 1);
    BootProgram boot = Make(f);
    Synchronise(boot);
    Send(boot, Length(1));
    EXPECT_EQ(Send(boot, {0x00}), (std::vector<std::uint8_t>{0x00, 0xAA}));
    EXPECT_EQ(bus.Flash().Read(0x40), 0x12);
  }
}

// --- S-record files -------------------------------------------------------------------

TEST(BoardSrecords, ReadsAllAddressSizesAndChecksThem) {
  FlashImage image;
  std::string why;
  ASSERT_TRUE(ParseSrecords("S00600004844521B\r\n"
                            "S1050010AABB85\n"
                            "\n"
                            "S206012345CCDDE7\r\n"
                            "S30700020001EEff08\n"  // lower-case hex; H'20001 wraps to 1
                            "S9030000FC\n",
                            &image, &why))
      << why;
  EXPECT_EQ(image.PresentCount(), 6u);
  EXPECT_EQ(image.bytes[0x10], 0xAA);
  EXPECT_EQ(image.bytes[0x12345], 0xCC);
  EXPECT_EQ(image.bytes[0x1], 0xEE);
  EXPECT_EQ(image.bytes[0x2], 0xFF);
  EXPECT_TRUE(image.present[0x2]);

  FlashImage bad;
  EXPECT_FALSE(ParseSrecords("S1050010AABB84\n", &bad, &why));
  EXPECT_NE(why.find("checksum"), std::string::npos);
  EXPECT_FALSE(ParseSrecords("S1060010AABB84\n", &bad, &why));
  EXPECT_FALSE(ParseSrecords("hello\n", &bad, &why));

  // Dumped and read back (the tool tests compare a whole run's dump).
  FlashImage again;
  ASSERT_TRUE(ParseSrecords(FormatSrecords(image.bytes.data(), image.present), &again, &why)) << why;
  EXPECT_EQ(again.present, image.present);
  EXPECT_EQ(again.bytes, image.bytes);
}

}  // namespace
