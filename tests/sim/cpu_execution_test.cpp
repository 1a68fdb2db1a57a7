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

TEST_F(CpuTest, RegisterFieldsPickHighLowAndExtendedHalves) {
  const Bytes8 code = {0xF0, 0x11,              // mov.b #0x11,r0h
                       0xF8, 0x22,              // mov.b #0x22,r0l
                       0x79, 0x08, 0x33, 0x44,  // mov.w #0x3344,e0
                       0x0C, 0x0F,              // mov.b r0h,r7l
                       0x0D, 0x81,              // mov.w e0,r1
                       0x0F, 0x82};             // mov.l er0,er2
  EXPECT_EQ(DisassembleAll(code, kSnippetAddress),
            "mov.b #0x11,r0h; mov.b #0x22,r0l; mov.w #0x3344,e0; mov.b r0h,r7l; mov.w e0,r1; mov.l er0,er2");
  Run(code);
  EXPECT_EQ(cpu_.Er(0), 0x33441122u);
  EXPECT_EQ(cpu_.Er(7), (kStack & ~0xFFu) | 0x11);
  EXPECT_EQ(cpu_.Er(1), 0x3344u);
  EXPECT_EQ(cpu_.Er(2), 0x33441122u);
}

TEST_F(CpuTest, AbsoluteAddressesExtendTo24Bits) {
  cpu_.SetEr(0, 0xA1B2C3D4);
  const Bytes8 code = {0x38, 0xBB,                                      // mov.b r0l,@0xbb:8
                       0x6B, 0x80, 0x80, 0x00,                          // mov.w r0,@0x8000:16
                       0x6B, 0x80, 0x7F, 0xFE,                          // mov.w r0,@0x7ffe:16
                       0x01, 0x00, 0x6B, 0xA0, 0x00, 0x12, 0x34, 0x56,  // mov.l er0,@0x123456:24
                       0x6A, 0x29, 0x00, 0x12, 0x34, 0x57};             // mov.b @0x123457:24,r1l
  EXPECT_EQ(DisassembleAll(code, kSnippetAddress),
            "mov.b r0l,@0xbb:8; mov.w r0,@0x8000:16; mov.w r0,@0x7ffe:16; mov.l er0,@0x123456:24; "
            "mov.b @0x123457:24,r1l");
  Run(code);
  EXPECT_EQ(memory_.Byte(0xFFFFBB), 0xD4);    // @aa:8 is H'FFFF00-H'FFFFFF
  EXPECT_EQ(memory_.Word(0xFF8000), 0xC3D4);  // @aa:16 sign-extends
  EXPECT_EQ(memory_.Word(0x007FFE), 0xC3D4);
  EXPECT_EQ(memory_.Long(0x123456), 0xA1B2C3D4u);
  EXPECT_EQ(cpu_.Er(1) & 0xFF, 0xB2u);
}

TEST_F(CpuTest, DisplacementsAreSignedAndRegistersAddress24Bits) {
  memory_.Load(0x2000, {0x5A, 0x6B, 0x7C, 0x8D});
  memory_.Load(0x12000, {0x12, 0x34});
  cpu_.SetEr(1, 0xFF002002);  // only the low 24 bits address memory
  cpu_.SetEr(2, 0x2000);
  cpu_.SetEr(3, 0xCAFEF00D);
  const Bytes8 code = {0x6E, 0x18, 0xFF, 0xFE,                                      // mov.b @(0xfffe:16,er1),r0l
                       0x78, 0x20, 0x6B, 0x24, 0x00, 0x01, 0x00, 0x00,              // mov.w @(0x10000:24,er2),r4
                       0x01, 0x00, 0x78, 0xA0, 0x6B, 0xA3, 0x00, 0x00, 0x00, 0x10,  // mov.l er3,@(0x10:24,er2)
                       0x01, 0x00, 0x6F, 0x25, 0x00, 0x10};                         // mov.l @(0x10:16,er2),er5
  EXPECT_EQ(DisassembleAll(code, kSnippetAddress),
            "mov.b @(0xfffe:16,er1),r0l; mov.w @(0x10000:24,er2),r4; mov.l er3,@(0x10:24,er2); "
            "mov.l @(0x10:16,er2),er5");
  Run(code);
  EXPECT_EQ(cpu_.Er(0) & 0xFF, 0x5Au);
  EXPECT_EQ(cpu_.Er(4) & 0xFFFF, 0x1234u);
  EXPECT_EQ(memory_.Long(0x2010), 0xCAFEF00Du);
  EXPECT_EQ(cpu_.Er(5), 0xCAFEF00Du);
}

TEST_F(CpuTest, PostIncrementAndPreDecrementStepByTheOperandSize) {
  memory_.Load(0x3000, {1, 2, 3, 4, 5, 6, 7, 8});
  cpu_.SetEr(1, 0x3000);
  cpu_.SetEr(0, 0x11223344);
  const Bytes8 code = {0x6C, 0x1A,              // mov.b @er1+,r2l
                       0x6D, 0x13,              // mov.w @er1+,r3   (odd address: reads H'3000)
                       0x01, 0x00, 0x6D, 0x14,  // mov.l @er1+,er4
                       0x01, 0x00, 0x6D, 0xF0,  // mov.l er0,@-er7
                       0x6D, 0xF0,              // mov.w r0,@-er7
                       0x6C, 0xF8,              // mov.b r0l,@-er7
                       0x01, 0x00, 0x6D, 0x75};  // mov.l @er7+,er5 (odd SP: reads the even long below)
  EXPECT_EQ(DisassembleAll(code, kSnippetAddress),
            "mov.b @er1+,r2l; mov.w @er1+,r3; mov.l @er1+,er4; mov.l er0,@-er7; mov.w r0,@-er7; mov.b r0l,@-er7; "
            "mov.l @er7+,er5");
  Run(code);
  EXPECT_EQ(cpu_.Er(2) & 0xFF, 0x01u);
  EXPECT_EQ(cpu_.Er(3) & 0xFFFF, 0x0102u);
  EXPECT_EQ(cpu_.Er(4), 0x03040506u);
  EXPECT_EQ(cpu_.Er(1), 0x3007u);
  EXPECT_EQ(memory_.Long(kStack - 4), 0x11223344u);
  EXPECT_EQ(memory_.Word(kStack - 6), 0x3344u);
  EXPECT_EQ(memory_.Byte(kStack - 7), 0x44u);
  EXPECT_EQ(cpu_.Er(5), 0x00443344u) << "the long at H'FFEF8";
  EXPECT_EQ(cpu_.Er(7), kStack - 3);
}

TEST_F(CpuTest, PushOfTheStackPointerStoresItsOldValue) {
  const Bytes8 code = {0x01, 0x00, 0x6D, 0xF7,   // mov.l er7,@-er7
                       0x01, 0x00, 0x6D, 0x77};  // mov.l @er7+,er7
  Run(code);
  EXPECT_EQ(memory_.Long(kStack - 4), kStack);
  EXPECT_EQ(cpu_.Er(7), kStack) << "the loaded value wins over the increment";
}

TEST_F(CpuTest, CallsPushFourByteReturnAddresses) {
  memory_.SetLong(0x0020, 0x00001014);  // vector for jsr @@0x20
  cpu_.SetEr(2, 0x00001018);
  const Bytes8 code = {0x5C, 0x00, 0x00, 0x0A,  // 1000: bsr 0x100e
                       0x5E, 0x00, 0x10, 0x10,  // 1004: jsr @0x1010:24
                       0x5F, 0x20,              // 1008: jsr @@0x20
                       0x5D, 0x20,              // 100a: jsr @er2
                       0x01, 0x80,              // 100c: sleep
                       0x54, 0x70,              // 100e: rts
                       0x0B, 0x51,              // 1010: inc.w #1,r1
                       0x54, 0x70,              // 1012: rts
                       0x0B, 0xD1,              // 1014: inc.w #2,r1
                       0x54, 0x70,              // 1016: rts
                       0x55, 0xF6,              // 1018: bsr 0x1010
                       0x54, 0x70};             // 101a: rts
  EXPECT_EQ(DisassembleAll(code, kSnippetAddress),
            "bsr 0x100e; jsr @0x1010:24; jsr @@0x20; jsr @er2; sleep; rts; inc.w #1,r1; rts; inc.w #2,r1; rts; "
            "bsr 0x1010; rts");
  memory_.Load(kSnippetAddress, code);
  cpu_.SetPc(kSnippetAddress);
  ASSERT_TRUE(cpu_.Step());
  EXPECT_EQ(cpu_.Pc(), 0x100Eu);
  EXPECT_EQ(cpu_.Er(7), kStack - 4);
  EXPECT_EQ(memory_.Long(kStack - 4), 0x00001004u);
  ASSERT_TRUE(cpu_.Step());  // rts
  EXPECT_EQ(cpu_.Pc(), 0x1004u);
  EXPECT_EQ(cpu_.Er(7), kStack);
  ASSERT_TRUE(cpu_.Step());  // jsr @0x1010:24
  EXPECT_EQ(cpu_.Pc(), 0x1010u);
  EXPECT_EQ(memory_.Long(kStack - 4), 0x00001008u);
  EXPECT_EQ(cpu_.Run(100), 11u);  // ... through the sleep
  EXPECT_TRUE(cpu_.Sleeping());
  EXPECT_EQ(cpu_.Pc(), 0x100Eu);
  EXPECT_EQ(cpu_.Er(1) & 0xFFFF, 4u) << "inc #1 (jsr @aa:24), inc #2 (jsr @@aa:8), inc #1 (jsr @er2, bsr)";
  EXPECT_EQ(cpu_.Er(7), kStack);
}

TEST_F(CpuTest, ConditionalBranches) {
  struct Case {
    std::uint8_t opcode;  // 4x of Bcc d:8
    std::uint8_t ccr;
    bool taken;
  };
  const Case cases[] = {
      {0x40, 0x00, true},           {0x41, 0x0F, false},          // bra, brn
      {0x42, 0x00, true},           {0x42, kCcrC, false},         // bhi: C=0 and Z=0
      {0x42, kCcrZ, false},         {0x43, kCcrZ, true},          // bls
      {0x44, kCcrZ, true},          {0x45, kCcrC, true},          // bcc, bcs
      {0x46, kCcrC, true},          {0x47, kCcrZ, true},          // bne, beq
      {0x48, kCcrV, false},         {0x49, kCcrV, true},          // bvc, bvs
      {0x4A, kCcrN, false},         {0x4B, kCcrN, true},          // bpl, bmi
      {0x4C, kCcrN | kCcrV, true},  {0x4C, kCcrN, false},         // bge: N = V
      {0x4D, kCcrV, true},          {0x4D, 0x00, false},          // blt: N != V
      {0x4E, 0x00, true},           {0x4E, kCcrZ, false},         // bgt: Z=0 and N = V
      {0x4E, kCcrN | kCcrV, true},  {0x4F, kCcrZ | kCcrN | kCcrV, true},  // ble
      {0x4F, kCcrN | kCcrV, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int{c.opcode} << " ccr " << int{c.ccr});
    for (bool wide : {false, true}) {
      // Bcc .+6 (d:8) or Bcc .+6 (d:16, 58 c0 disp).
      const Bytes8 code = wide ? Bytes8{0x58, static_cast<std::uint8_t>((c.opcode & 0xF) << 4), 0x00, 0x06}
                               : Bytes8{c.opcode, 0x06};
      memory_.Load(kSnippetAddress, code);
      cpu_.SetPc(kSnippetAddress);
      cpu_.SetCcr(c.ccr);
      ASSERT_TRUE(cpu_.Step());
      const std::uint32_t next = kSnippetAddress + static_cast<std::uint32_t>(code.size());
      EXPECT_EQ(cpu_.Pc(), c.taken ? next + 6 : next) << (wide ? "d:16" : "d:8");
      EXPECT_EQ(cpu_.Ccr(), c.ccr);
    }
  }
  // Backward, and across the bottom of the address space.
  memory_.Load(0x1000, {0x58, 0x00, 0x80, 0x00});  // bra .-0x8000
  cpu_.SetPc(0x1000);
  ASSERT_TRUE(cpu_.Step());
  EXPECT_EQ(cpu_.Pc(), 0xFF9004u);
}

TEST_F(CpuTest, UnknownInstructionStopsAndNamesTheAddressAndTheBytes) {
  struct Case {
    std::uint32_t address;
    Bytes8 bytes;
    const char* fault;
  };
  const Case cases[] = {
      {0xFF3A4, {0x01, 0x40, 0x6B, 0x30}, "unknown instruction at H'0FF3A4: 01 40 6B 30"},
      {0x1000, {0x0A, 0x10, 0x12, 0x34}, "unknown instruction at H'001000: 0A 10 12 34"},
      {0x2002, {0x01, 0x00, 0x78, 0x10, 0x6B, 0xA2}, "unknown instruction at H'002002: 01 00 78 10 6B A2"},
      {0x1000, {0x54, 0x71, 0x00, 0x00}, "unknown instruction at H'001000: 54 71 00 00"},
  };
  for (const Case& c : cases) {
    FlatMemory memory;
    memory.Load(c.address, c.bytes);
    H8Cpu cpu(memory);
    cpu.Reset(c.address - 2);
    memory.Load(c.address - 2, {0x0B, 0x50});  // inc.w #1,r0 first
    EXPECT_EQ(cpu.Run(10), 1u);
    EXPECT_TRUE(cpu.Stopped());
    EXPECT_FALSE(cpu.Sleeping());
    EXPECT_EQ(cpu.Fault(), c.fault);
    EXPECT_EQ(cpu.Pc(), c.address);
    EXPECT_EQ(cpu.InstructionCount(), 1u);
    EXPECT_FALSE(cpu.Step()) << "stays stopped";
    EXPECT_EQ(cpu.InstructionCount(), 1u);
    EXPECT_EQ(cpu.Pc(), c.address);
    cpu.Reset(c.address - 2);
    EXPECT_FALSE(cpu.Stopped());
    EXPECT_TRUE(cpu.Fault().empty());
  }
}

TEST_F(CpuTest, SleepStopsUntilAnExceptionAndRteReturnsAfterIt) {
  memory_.SetLong(12 * 4, 0x2000);    // vector 12
  memory_.SetLong(10 * 4, 0x2100);    // TRAPA #2: vector 10
  memory_.Load(0x2000, {0x56, 0x70});                 // rte
  memory_.Load(0x2100, {0x0B, 0x52, 0x56, 0x70});     // inc.w #1,r2; rte
  memory_.Load(0x1000, {0x01, 0x80,                   // sleep
                        0x57, 0x20,                   // trapa #2
                        0x01, 0x80});                 // sleep
  cpu_.SetCcr(kCcrZ | kCcrC);
  EXPECT_FALSE(cpu_.Step());
  EXPECT_TRUE(cpu_.Stopped());
  EXPECT_TRUE(cpu_.Sleeping());
  EXPECT_TRUE(cpu_.Fault().empty());
  EXPECT_EQ(cpu_.Pc(), 0x1002u);
  EXPECT_EQ(cpu_.InstructionCount(), 1u) << "SLEEP counts";
  EXPECT_FALSE(cpu_.Step());
  EXPECT_EQ(cpu_.InstructionCount(), 1u);

  cpu_.TakeException(12);
  EXPECT_FALSE(cpu_.Stopped());
  EXPECT_EQ(cpu_.Pc(), 0x2000u);
  EXPECT_EQ(cpu_.Ccr(), kCcrI | kCcrZ | kCcrC);
  EXPECT_EQ(cpu_.Er(7), kStack - 4);
  EXPECT_EQ(memory_.Long(kStack - 4), (std::uint32_t{kCcrZ | kCcrC} << 24) | 0x1002u) << "CCR on top of the PC";
  ASSERT_TRUE(cpu_.Step());  // rte
  EXPECT_EQ(cpu_.Pc(), 0x1002u);
  EXPECT_EQ(cpu_.Ccr(), kCcrZ | kCcrC);
  EXPECT_EQ(cpu_.Er(7), kStack);

  EXPECT_EQ(cpu_.Run(10), 4u);  // trapa, inc, rte, sleep
  EXPECT_TRUE(cpu_.Sleeping());
  EXPECT_EQ(cpu_.Er(2) & 0xFFFF, 1u);
  EXPECT_EQ(cpu_.Pc(), 0x1006u);
  EXPECT_EQ(cpu_.Ccr(), kCcrZ | kCcrC);
}

TEST_F(CpuTest, EepmovCopiesTheCountedBlock) {
  memory_.Load(0x4000, {'H', '8', '/', '3', '0', '0', 'H'});
  cpu_.SetEr(5, 0x4000);
  cpu_.SetEr(6, 0x5000);
  cpu_.SetEr(4, 0xAAAA1207);  // R4L = 7 for EEPMOV.B
  const Bytes8 code = {0x7B, 0x5C, 0x59, 0x8F};
  EXPECT_EQ(DisassembleAll(code, kSnippetAddress), "eepmov.b");
  Run(code);
  for (std::uint32_t i = 0; i < 7; ++i) EXPECT_EQ(memory_.Byte(0x5000 + i), memory_.Byte(0x4000 + i)) << i;
  EXPECT_EQ(memory_.Byte(0x5007), 0);
  EXPECT_EQ(cpu_.Er(4), 0xAAAA1200u);
  EXPECT_EQ(cpu_.Er(5), 0x4007u);
  EXPECT_EQ(cpu_.Er(6), 0x5007u);
}

// A board-like memory: RAM with a window, "flash" with a read-only window,
// and everything else through Read8/Write8 only.
class WindowedMemory : public H8Memory {
 public:
  WindowedMemory() : ram_(0x1000), flash_(0x1000), other_(1u << 24) {}
  std::uint8_t Read8(std::uint32_t a) override {
    ++reads_;
    return *Locate(a);
  }
  void Write8(std::uint32_t a, std::uint8_t v) override {
    ++writes_;
    *Locate(a) = v;
  }
  bool Window(std::uint32_t a, H8Window& w) override {
    ++queries_;
    if (a >= kRam && a < kRam + ram_.size()) {
      w = H8Window{ram_.data(), kRam, static_cast<std::uint32_t>(ram_.size()), true};
      return true;
    }
    if (a < flash_.size()) {
      w = H8Window{(swapped_ ? spare_ : flash_).data(), 0, static_cast<std::uint32_t>(flash_.size()), false};
      return true;
    }
    return false;
  }
  std::uint8_t* Locate(std::uint32_t a) {
    if (a >= kRam && a < kRam + ram_.size()) return &ram_[a - kRam];
    if (a < flash_.size()) return &(swapped_ ? spare_ : flash_)[a];
    return &other_[a];
  }

  static constexpr std::uint32_t kRam = 0xFFE000;
  std::vector<std::uint8_t> ram_, flash_, spare_ = std::vector<std::uint8_t>(0x1000), other_;
  bool swapped_ = false;
  int reads_ = 0, writes_ = 0, queries_ = 0;
};

TEST(CpuWindows, ReadsAndFetchesUseWindowsAndReadOnlyWindowsStillSeeWrites) {
  WindowedMemory memory;
  // Code in RAM: read flash, write flash, write RAM, touch an I/O byte.
  const Bytes8 code = {0x6A, 0x08, 0x01, 0x00,  // mov.b @0x100:16,r0l
                       0x6A, 0x88, 0x01, 0x01,  // mov.b r0l,@0x101:16
                       0x6A, 0x88, 0xE8, 0x00,  // mov.b r0l,@0xe800:16 (H'FFE800, RAM)
                       0x38, 0xBB,              // mov.b r0l,@0xbb:8 (I/O)
                       0x01, 0x80};             // sleep
  std::copy(code.begin(), code.end(), memory.ram_.begin());
  memory.flash_[0x100] = 0x5A;
  H8Cpu cpu(memory);
  cpu.Reset(WindowedMemory::kRam);
  cpu.Run(100);
  ASSERT_TRUE(cpu.Sleeping()) << cpu.Fault();
  EXPECT_EQ(memory.flash_[0x101], 0x5A);
  EXPECT_EQ(memory.ram_[0x800], 0x5A);
  EXPECT_EQ(memory.other_[0xFFFFBB], 0x5A);
  EXPECT_EQ(memory.reads_, 0) << "fetch, flash and RAM reads through windows";
  EXPECT_EQ(memory.writes_, 2) << "the flash write and the I/O write";

  // The board remaps flash; after InvalidateWindows the CPU sees the change.
  memory.spare_[0x100] = 0xA5;
  memory.swapped_ = true;
  cpu.Reset(WindowedMemory::kRam);
  cpu.Run(1);
  EXPECT_EQ(cpu.Er(0) & 0xFF, 0xA5u) << "Reset forgets the windows";
  memory.swapped_ = false;
  cpu.InvalidateWindows();
  cpu.SetPc(WindowedMemory::kRam);
  cpu.Run(1);
  EXPECT_EQ(cpu.Er(0) & 0xFF, 0x5Au);
}

TEST(CpuWindows, AnAccessRunningOffAWindowGoesThroughTheMemoryCalls) {
  WindowedMemory memory;
  memory.ram_[0xFFE] = 0x11;
  memory.ram_[0xFFF] = 0x22;
  memory.other_[0xFFF000] = 0x33;  // just above the RAM window
  memory.other_[0xFFF001] = 0x44;
  const Bytes8 code = {0x01, 0x00, 0x6B, 0x00, 0xEF, 0xFE};  // mov.l @0xeffe:16,er0
  std::copy(code.begin(), code.end(), memory.ram_.begin());
  H8Cpu cpu(memory);
  cpu.Reset(WindowedMemory::kRam);
  ASSERT_TRUE(cpu.Step()) << cpu.Fault();
  EXPECT_EQ(cpu.Er(0), 0x11223344u);
  EXPECT_EQ(memory.reads_, 4);
}

}  // namespace
