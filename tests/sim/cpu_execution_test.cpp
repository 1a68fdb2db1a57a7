// The CPU core on hand-assembled snippets: register fields, addressing
// modes, the 4-byte stack frames of advanced mode, branches, stops, the
// exception sequence and the memory windows.
#include <gtest/gtest.h>

#include "cpu_test_support.h"

namespace {

class CpuTest : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kStack = 0xFFF00;
  void SetUp() override {
    cpu_.Reset(kSnippetAddress);
    cpu_.SetEr(7, kStack);
  }
  void Run(const Bytes8& code) { RunSnippet(cpu_, memory_, code); }

  FlatMemory memory_;
  H8Cpu cpu_{memory_};
};

TEST_F(CpuTest, RegisterFieldsAndAbsoluteAddresses) {
  Run({0xF0, 0x11,                                       // mov.b #0x11,r0h
       0xF8, 0x22,                                       // mov.b #0x22,r0l
       0x79, 0x08, 0x33, 0x44,                           // mov.w #0x3344,e0
       0x0C, 0x0F,                                       // mov.b r0h,r7l
       0x0D, 0x81,                                       // mov.w e0,r1
       0x0F, 0x82,                                       // mov.l er0,er2
       0x38, 0xBB,                                       // mov.b r0l,@0xbb:8
       0x6B, 0x80, 0x80, 0x00,                           // mov.w r0,@0x8000:16
       0x6B, 0x80, 0x7F, 0xFE,                           // mov.w r0,@0x7ffe:16
       0x01, 0x00, 0x6B, 0xA0, 0x00, 0x12, 0x34, 0x56,   // mov.l er0,@0x123456:24
       0x6A, 0x2B, 0x00, 0x12, 0x34, 0x57});             // mov.b @0x123457:24,r3l
  EXPECT_EQ(cpu_.Er(0), 0x33441122u);
  EXPECT_EQ(cpu_.Er(7), (kStack & ~0xFFu) | 0x11);
  EXPECT_EQ(cpu_.Er(1), 0x3344u);
  EXPECT_EQ(cpu_.Er(2), 0x33441122u);
  EXPECT_EQ(memory_.Byte(0xFFFFBB), 0x22);    // @aa:8 is H'FFFF00-H'FFFFFF
  EXPECT_EQ(memory_.Word(0xFF8000), 0x1122);  // @aa:16 sign-extends
  EXPECT_EQ(memory_.Word(0x007FFE), 0x1122);
  EXPECT_EQ(memory_.Long(0x123456), 0x33441122u);
  EXPECT_EQ(cpu_.Er(3) & 0xFF, 0x44u);
}

TEST_F(CpuTest, RegisterIndirectModes) {
  memory_.Load(0x2000, {0x5A, 0x6B, 0x7C, 0x8D});
  memory_.Load(0x3000, {1, 2, 3, 4, 5, 6, 7, 8});
  memory_.Load(0x12000, {0x12, 0x34});
  cpu_.SetEr(1, 0xFF002002);  // only the low 24 bits address memory
  cpu_.SetEr(2, 0x2000);
  cpu_.SetEr(3, 0xCAFEF00D);
  cpu_.SetEr(6, 0x3000);
  Run({0x6E, 0x18, 0xFF, 0xFE,                                      // mov.b @(0xfffe:16,er1),r0l
       0x78, 0x20, 0x6B, 0x24, 0x00, 0x01, 0x00, 0x00,              // mov.w @(0x10000:24,er2),r4
       0x01, 0x00, 0x78, 0xA0, 0x6B, 0xA3, 0x00, 0x00, 0x00, 0x10,  // mov.l er3,@(0x10:24,er2)
       0x01, 0x00, 0x6F, 0x25, 0x00, 0x10,                          // mov.l @(0x10:16,er2),er5
       0x6C, 0x69,                                                  // mov.b @er6+,r1l
       0x6D, 0x61,                                                  // mov.w @er6+,r1 (odd: reads H'3000)
       0x01, 0x00, 0x6D, 0x62,                                      // mov.l @er6+,er2
       0x01, 0x00, 0x6D, 0xF3,                                      // mov.l er3,@-er7
       0x6D, 0xF3,                                                  // mov.w r3,@-er7
       0x6C, 0xFB,                                                  // mov.b r3l,@-er7
       0x01, 0x00, 0x6D, 0x76,                                      // mov.l @er7+,er6 (odd SP: the even long below)
       0x01, 0x00, 0x6D, 0xF7});                                    // mov.l er7,@-er7
  EXPECT_EQ(cpu_.Er(0) & 0xFF, 0x5Au);
  EXPECT_EQ(cpu_.Er(4) & 0xFFFF, 0x1234u);
  EXPECT_EQ(memory_.Long(0x2010), 0xCAFEF00Du);
  EXPECT_EQ(cpu_.Er(5), 0xCAFEF00Du);
  EXPECT_EQ(cpu_.Er(1) & 0xFFFF, 0x0102u);
  EXPECT_EQ(cpu_.Er(2), 0x03040506u) << "from H'3002: +1, +2, then an odd address";
  EXPECT_EQ(memory_.Long(kStack - 4), 0xCAFEF00Du);
  EXPECT_EQ(cpu_.Er(6), 0x000DF00Du) << "the long at H'FFEF8: byte and word pushes below the long";
  EXPECT_EQ(cpu_.Er(7), kStack - 7);
  EXPECT_EQ(memory_.Long(kStack - 8), kStack - 3) << "a push of SP stores its old value";
}

TEST_F(CpuTest, CallsPushFourByteReturnAddresses) {
  memory_.SetLong(0x0020, 0x00001014);  // vector for jsr @@0x20
  cpu_.SetEr(2, 0x00001018);
  memory_.Load(kSnippetAddress, {0x5C, 0x00, 0x00, 0x0A,    // 1000: bsr 0x100e
                                 0x5E, 0x00, 0x10, 0x10,    // 1004: jsr @0x1010:24
                                 0x5F, 0x20,                // 1008: jsr @@0x20
                                 0x5D, 0x20,                // 100a: jsr @er2
                                 0x01, 0x80,                // 100c: sleep
                                 0x54, 0x70,                // 100e: rts
                                 0x0B, 0x51, 0x54, 0x70,    // 1010: inc.w #1,r1; rts
                                 0x0B, 0xD1, 0x54, 0x70,    // 1014: inc.w #2,r1; rts
                                 0x55, 0xF6, 0x54, 0x70});  // 1018: bsr 0x1010; rts
  ASSERT_TRUE(cpu_.Step());
  EXPECT_EQ(cpu_.Pc(), 0x100Eu);
  EXPECT_EQ(cpu_.Er(7), kStack - 4);
  EXPECT_EQ(memory_.Long(kStack - 4), 0x00001004u);
  EXPECT_EQ(cpu_.Run(100), 13u);  // ... through the sleep
  EXPECT_TRUE(cpu_.Sleeping());
  EXPECT_EQ(cpu_.Er(1) & 0xFFFF, 4u) << "inc #1 (jsr @aa:24), inc #2 (jsr @@aa:8), inc #1 (jsr @er2, bsr)";
  EXPECT_EQ(memory_.Long(kStack - 8), 0x0000101Au) << "bsr's return address inside the jsr @er2 frame";
  EXPECT_EQ(cpu_.Er(7), kStack);
}

TEST_F(CpuTest, ConditionalBranches) {
  // Bcc d:8 opcodes with a CCR that takes the branch and one that does not
  // (-1: none).
  struct Case {
    std::uint8_t opcode;
    int taken, not_taken;
  };
  const Case cases[] = {
      {0x40, 0x0F, -1},  {0x41, -1, 0x0F},  {0x42, 0, kCcrZ},  {0x42, -1, kCcrC},   // bra brn bhi
      {0x43, kCcrC, 0},  {0x43, kCcrZ, -1}, {0x44, kCcrZ, kCcrC}, {0x45, kCcrC, kCcrZ},  // bls bcc bcs
      {0x46, kCcrC, kCcrZ}, {0x47, kCcrZ, kCcrN}, {0x48, kCcrC, kCcrV}, {0x49, kCcrV, kCcrN},  // bne beq bvc bvs
      {0x4A, kCcrV, kCcrN}, {0x4B, kCcrN, kCcrV},                                          // bpl bmi
      {0x4C, kCcrN | kCcrV, kCcrN}, {0x4C, 0, kCcrV}, {0x4D, kCcrV, kCcrN | kCcrV}, {0x4D, kCcrN, 0},  // bge blt
      {0x4E, kCcrN | kCcrV, kCcrZ}, {0x4E, 0, kCcrN}, {0x4F, kCcrN, 0}, {0x4F, kCcrZ | kCcrN | kCcrV, kCcrN | kCcrV},
  };
  for (const Case& c : cases) {
    for (const bool taken : {true, false}) {
      const int ccr = taken ? c.taken : c.not_taken;
      for (const bool wide : {false, true}) {
        if (ccr < 0) continue;
        SCOPED_TRACE(testing::Message() << std::hex << int{c.opcode} << " ccr " << ccr << (wide ? " d:16" : " d:8"));
        const Bytes8 code = wide ? Bytes8{0x58, static_cast<std::uint8_t>((c.opcode & 0xF) << 4), 0x00, 0x06}
                                 : Bytes8{c.opcode, 0x06};  // Bcc .+6
        memory_.Load(kSnippetAddress, code);
        cpu_.SetPc(kSnippetAddress);
        cpu_.SetCcr(static_cast<std::uint8_t>(ccr));
        ASSERT_TRUE(cpu_.Step());
        EXPECT_EQ(cpu_.Pc(), kSnippetAddress + code.size() + (taken ? 6 : 0));
        EXPECT_EQ(cpu_.Ccr(), ccr);
      }
    }
  }
  memory_.Load(0x1000, {0x58, 0x00, 0x80, 0x00});  // bra .-0x8000: across the bottom of the space
  cpu_.SetPc(0x1000);
  ASSERT_TRUE(cpu_.Step());
  EXPECT_EQ(cpu_.Pc(), 0xFF9004u);
}

TEST(CpuFaults, UnknownInstructionStopsAndNamesTheAddressAndTheBytes) {
  struct Case {
    std::uint32_t address;
    Bytes8 bytes;
    const char* fault;
  };
  for (const Case& c : {Case{0xFF3A4, {0x01, 0x40, 0x6B, 0x30}, "unknown instruction at H'0FF3A4: 01 40 6B 30"},
                        Case{0x2002, {0x01, 0x00, 0x78, 0x10, 0x6B, 0xA2},
                             "unknown instruction at H'002002: 01 00 78 10 6B A2"}}) {
    FlatMemory memory;
    memory.Load(c.address - 2, {0x0B, 0x50});  // inc.w #1,r0 first
    memory.Load(c.address, c.bytes);
    H8Cpu cpu(memory);
    cpu.Reset(c.address - 2);
    EXPECT_EQ(cpu.Run(10), 1u);
    EXPECT_TRUE(cpu.Stopped() && !cpu.Sleeping());
    EXPECT_EQ(cpu.Fault(), c.fault);
    EXPECT_FALSE(cpu.Step()) << "stays stopped";
    EXPECT_EQ(cpu.InstructionCount(), 1u);
    EXPECT_EQ(cpu.Pc(), c.address);
    cpu.Reset(c.address - 2);
    EXPECT_TRUE(!cpu.Stopped() && cpu.Fault().empty());
  }
}

TEST_F(CpuTest, TrapaPushesCcrAndPcRteRestoresThemSleepStops) {
  memory_.SetLong(10 * 4, 0x2100);                                    // TRAPA #2: vector 10
  memory_.Load(0x2100, {0x0B, 0x52, 0x56, 0x70});                     // inc.w #1,r2; rte
  memory_.Load(kSnippetAddress, {0x57, 0x20, 0x01, 0x80, 0x0B, 0x52});  // trapa #2; sleep; inc.w #1,r2
  cpu_.SetCcr(kCcrZ | kCcrC);
  ASSERT_TRUE(cpu_.Step());
  EXPECT_EQ(cpu_.Pc(), 0x2100u);
  EXPECT_EQ(cpu_.Ccr(), kCcrI | kCcrZ | kCcrC);
  EXPECT_EQ(cpu_.Er(7), kStack - 4);
  EXPECT_EQ(memory_.Long(kStack - 4), (std::uint32_t{kCcrZ | kCcrC} << 24) | 0x1002u) << "CCR on top of the PC";
  EXPECT_EQ(cpu_.Run(10), 3u);  // inc, rte, sleep
  EXPECT_TRUE(cpu_.Sleeping() && cpu_.Fault().empty());
  EXPECT_EQ(cpu_.Ccr(), kCcrZ | kCcrC);
  EXPECT_EQ(cpu_.Er(7), kStack);
  EXPECT_FALSE(cpu_.Step());
  EXPECT_EQ(cpu_.Pc(), 0x1004u);
  EXPECT_EQ(cpu_.InstructionCount(), 4u) << "SLEEP counts once";
  EXPECT_EQ(cpu_.Er(2) & 0xFFFF, 1u);
}

TEST_F(CpuTest, EepmovCopiesTheCountedBlock) {
  memory_.Load(0x4000, {'H', '8', '/', '3', '0', '0', 'H'});
  cpu_.SetEr(5, 0x4000);
  cpu_.SetEr(6, 0x5000);
  cpu_.SetEr(4, 0xAAAA1207);  // R4L = 7 for EEPMOV.B
  Run({0x7B, 0x5C, 0x59, 0x8F});
  for (std::uint32_t i = 0; i < 7; ++i) EXPECT_EQ(memory_.Byte(0x5000 + i), memory_.Byte(0x4000 + i)) << i;
  EXPECT_EQ(memory_.Byte(0x5007), 0);
  EXPECT_EQ(cpu_.Er(4), 0xAAAA1200u);
  EXPECT_EQ(cpu_.Er(5), 0x4007u);
  EXPECT_EQ(cpu_.Er(6), 0x5007u);
}

// A board-like memory: RAM with a window, "flash" with a read-only window,
// everything else through Read8/Write8.
class WindowedMemory : public H8Memory {
 public:
  static constexpr std::uint32_t kRam = 0xFFE000, kSize = 0x1000;
  std::uint8_t Read8(std::uint32_t a) override { ++reads_; return *Locate(a); }
  void Write8(std::uint32_t a, std::uint8_t v) override { ++writes_; *Locate(a) = v; }
  bool Window(std::uint32_t a, H8Window& w) override {
    if (a >= kRam && a < kRam + kSize) w = H8Window{ram_.data(), kRam, kSize, true};
    if (a < kSize) w = H8Window{flash_.data(), 0, kSize, false};
    return a < kSize || (a >= kRam && a < kRam + kSize);
  }
  std::uint8_t* Locate(std::uint32_t a) {
    return a >= kRam && a < kRam + kSize ? &ram_[a - kRam] : a < kSize ? &flash_[a] : &other_[a];
  }
  Bytes8 ram_ = Bytes8(kSize), flash_ = Bytes8(kSize), other_ = Bytes8(1u << 24);
  int reads_ = 0, writes_ = 0;
};

TEST(CpuWindows, ReadsGoThroughWindowsWritesToReadOnlyOnesAndAccessesOffTheEndDoNot) {
  WindowedMemory memory;
  const Bytes8 code = {0x6A, 0x08, 0x01, 0x00,              // mov.b @0x100:16,r0l (flash)
                       0x6A, 0x88, 0x01, 0x01,              // mov.b r0l,@0x101:16 (flash)
                       0x6A, 0x88, 0xE8, 0x00,              // mov.b r0l,@0xe800:16 (H'FFE800, RAM)
                       0x38, 0xBB,                          // mov.b r0l,@0xbb:8 (I/O)
                       0x01, 0x00, 0x6B, 0x01, 0xEF, 0xFE,  // mov.l @0xeffe:16,er1 (RAM's end and beyond)
                       0x01, 0x80};                         // sleep
  std::copy(code.begin(), code.end(), memory.ram_.begin());
  memory.flash_[0x100] = 0x5A;
  memory.ram_[0xFFE] = 0x11;
  memory.ram_[0xFFF] = 0x22;
  memory.other_[0xFFF000] = 0x33;
  memory.other_[0xFFF001] = 0x44;
  H8Cpu cpu(memory);
  cpu.Reset(WindowedMemory::kRam);
  cpu.Run(100);
  ASSERT_TRUE(cpu.Sleeping()) << cpu.Fault();
  EXPECT_EQ(memory.flash_[0x101], 0x5A);
  EXPECT_EQ(memory.ram_[0x800], 0x5A);
  EXPECT_EQ(memory.other_[0xFFFFBB], 0x5A);
  EXPECT_EQ(cpu.Er(1), 0x11223344u);
  EXPECT_EQ(memory.reads_, 4) << "only the long that runs off the RAM window, byte by byte";
  EXPECT_EQ(memory.writes_, 2) << "the flash write and the I/O write";
}

}  // namespace
