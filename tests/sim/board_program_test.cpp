// The board running the real write-control program: the test plays the
// host on the wire directly (boot protocol, then S-records) and checks the
// replies, the flash and the program's pulse timing.
#include <gtest/gtest.h>

#include "board.h"
#include "board_test_samples.h"
#include "transfer_test_files.h"
#include "write_control_program.h"

namespace {

class Chip {
 public:
  explicit Chip(const BoardConfig& config = {}) : board_(config) {}

  // Sends bytes and runs the board until it waits; what it sent back.
  std::string Exchange(const std::string& bytes) {
    board_.Wire().FromHost(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return Settle();
  }
  std::string Settle() {
    for (int i = 0; i < 1000 && (last_ = board_.Run()) == Board::Activity::kBusy; ++i) {
    }
    const std::vector<std::uint8_t>& out = board_.Wire().ForHost();
    std::string text(out.begin(), out.end());
    board_.Wire().HandedToHost(out.size());
    return text;
  }
  // The boot-mode exchange with the write-control program, byte by byte;
  // what came after the last echo (H'AA and the program's first words).
  std::string Load() {
    std::string sent = std::string(1, '\0') + "\x55" + char(kWriteControlProgramSize >> 8) + char(kWriteControlProgramSize);
    sent.append(reinterpret_cast<const char*>(kWriteControlProgram), kWriteControlProgramSize);
    std::string echoed;
    for (char c : sent) echoed += Exchange(std::string(1, c));
    const std::string expected = sent.substr(0, 1) + "\xAA" + sent.substr(2);
    if (echoed.compare(0, expected.size(), expected) != 0) return "bad echo: " + echoed.substr(0, 16);
    return echoed.substr(expected.size());
  }

  Board& board() { return board_; }
  FlashMemory& flash() { return board_.Flash(); }
  Board::Activity last() const { return last_; }

 private:
  Board board_;
  Board::Activity last_ = Board::Activity::kIdle;
};

const std::string kStarted = "\xAA[START]\r\n";

TEST(BoardProgram, StartsAndWaitsWithoutBurningInstructions) {
  Chip chip;
  ASSERT_EQ(chip.Load(), kStarted);
  EXPECT_EQ(chip.last(), Board::Activity::kIdle);
  EXPECT_EQ(chip.board().Bus().Sci1().Scr(), 0x30);
  const std::uint64_t before = chip.board().Instructions();
  for (int i = 0; i < 100; ++i) EXPECT_EQ(chip.board().Run(), Board::Activity::kIdle);
  EXPECT_LT(chip.board().Instructions() - before, 100u * 1000u) << "each idle call runs only a few status polls";
}

TEST(BoardProgram, RecordEdgeCases) {
  Chip chip;
  ASSERT_EQ(chip.Load(), kStarted);
  FlashMemory& flash = chip.flash();
  // Line ends and junk between records are skipped; each record gets "U".
  EXPECT_EQ(chip.Exchange("\r\n" + MakeRecord(0, 0, {'h', 'i'}) + "\r\n"), "U");
  EXPECT_EQ(chip.Exchange(MakeRecord(1, 0x1234, {0x12, 0x34, 0x56})), "U");
  std::string lower = MakeRecord(1, 0x2000, {0xAB, 0xCD});
  for (char& c : lower) c = static_cast<char>(std::tolower(c));
  EXPECT_EQ(chip.Exchange("S" + lower.substr(1)), "U");
  // Above H'1FFFF: modulo 128 KB. The small blocks through EBR2.
  EXPECT_EQ(chip.Exchange(MakeRecord(2, 0x020010, {0x5A})), "U");
  EXPECT_EQ(chip.Exchange(MakeRecord(3, 0x0001FFFE, {0x01, 0x02})), "U");
  EXPECT_EQ(chip.Exchange("S1020000FD"), "U") << "a count too small for address and checksum: answered, nothing programmed";
  for (const auto& [address, value] : std::vector<std::pair<std::uint32_t, std::uint8_t>>{
           {0x1234, 0x12}, {0x1236, 0x56}, {0x2000, 0xAB}, {0x2001, 0xCD}, {0x10, 0x5A}, {0x1FFFE, 0x01}, {0x1FFFF, 0x02}}) {
    EXPECT_EQ(flash.Read(address), value) << std::hex << address;
  }
  EXPECT_EQ(flash.GetStats().bytesProgrammed, 8u);
  EXPECT_EQ(flash.GetStats().pulses, 8u) << "erased cells verify after the first pulse";
  EXPECT_EQ(flash.GetStats().ignoredWrites, 0u);
  const BoardBus::Stats& bus = chip.board().Bus().GetStats();
  EXPECT_EQ(bus.unguardedPulses + bus.unknownIoAccesses + bus.unmappedAccesses, 0u);

  // An end record: "U", the completion text, then the program stops.
  EXPECT_EQ(chip.Exchange(MakeRecord(9, 0)), "U[COMPLETE]\r\n");
  EXPECT_EQ(chip.last(), Board::Activity::kStopped);
  EXPECT_EQ(chip.Exchange(MakeRecord(1, 0x3000, {0x00})), "");
  EXPECT_EQ(flash.Read(0x3000), 0xFF);
  EXPECT_NE(chip.board().Describe().find("branch to itself at H'FF4A6"), std::string::npos) << chip.board().Describe();

  // A record type the program does not handle ends it too, without a "U".
  Chip other;
  ASSERT_EQ(other.Load(), kStarted);
  EXPECT_EQ(other.Exchange("S5030001FB"), "[COMPLETE]\r\n");
  EXPECT_EQ(other.last(), Board::Activity::kStopped);
}

// A cell that cannot take a 0 (a stuck bit, or flash left unerased with
// H'00): pulses of 41, 81, ... 1281 passes of "dec.w #1,e5 / bpl" (two
// instructions each, plus the MOV.B that ends the pulse), then "[FAIL]"
// for ever (until the host stops reading: the board then waits).
TEST(BoardProgram, StuckBitAndUnerasedFlashFailAfterSixDoublingPulses) {
  for (const bool noErase : {false, true}) {
    SCOPED_TRACE(noErase ? "flash not erased" : "stuck bit");
    BoardConfig config;
    config.boot.noErase = noErase;
    if (!noErase) config.stuckBits.push_back({0x0100, 2});
    Chip chip(config);
    ASSERT_EQ(chip.Load(), kStarted);
    const std::string record = MakeRecord(1, 0x0100, {0xF0, 0x00});
    chip.board().Wire().FromHost(reinterpret_cast<const std::uint8_t*>(record.data()), record.size());
    std::vector<std::uint64_t> pulses;
    std::uint64_t start = 0;
    for (int i = 0; i < 100000 && pulses.size() < 6; ++i) {  // one instruction at a time
      const bool before = chip.flash().ReadFlmcr() & FlashMemory::kP;
      chip.board().Run(1);
      const bool after = chip.flash().ReadFlmcr() & FlashMemory::kP;
      if (!before && after) start = chip.board().Instructions();
      if (before && !after) pulses.push_back(chip.board().Instructions() - start);
    }
    EXPECT_EQ(pulses, (std::vector<std::uint64_t>{83, 163, 323, 643, 1283, 2563}));
    const std::string reply = chip.Settle();
    ASSERT_GE(reply.size(), 64u);
    EXPECT_EQ(reply.substr(0, 16), "[FAIL]\r\n[FAIL]\r\n") << "no 'U' for the record";
    EXPECT_EQ(chip.last(), Board::Activity::kIdle) << "waits for the host to read";
    EXPECT_EQ(chip.flash().GetStats().pulses, 6u);
    EXPECT_EQ(chip.flash().Read(0x0100), noErase ? 0x00 : 0xF4);
    EXPECT_EQ(chip.flash().Read(0x0101), noErase ? 0x00 : 0xFF) << "the next byte is never reached";
    EXPECT_EQ(chip.Settle().substr(0, 8), "[FAIL]\r\n") << "still failing once the host reads again";
  }
}

// The sample files, record by record as the korvel host sends them.
class BoardSampleFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(BoardSampleFiles, ProgramsTheFileData) {
  std::string why;
  const std::string folder = SampleFolder(&why);
  if (folder.empty()) GTEST_SKIP() << why;
  const std::string text = ReadWholeFile(folder + "/" + GetParam());
  FlashImage expected;
  ASSERT_TRUE(ParseSrecords(text, &expected, &why)) << why;

  Chip chip;
  ASSERT_EQ(chip.Load(), kStarted);
  std::string replies;
  const std::vector<std::string> records = RecordLines(text);
  for (const std::string& record : records) replies += chip.Exchange(record);
  EXPECT_EQ(replies, std::string(records.size(), 'U') + "[COMPLETE]\r\n");
  const FlashMemory& flash = chip.flash();
  EXPECT_TRUE(std::equal(expected.bytes.begin(), expected.bytes.end(), flash.Cells()));
  EXPECT_EQ(flash.GetStats().bytesProgrammed, expected.PresentCount());
  EXPECT_EQ(flash.GetStats().ignoredWrites, 0u);
  EXPECT_EQ(chip.board().Bus().GetStats().unguardedPulses, 0u);
}

INSTANTIATE_TEST_SUITE_P(Samples, BoardSampleFiles,
                         ::testing::Values("blink.mot", "blink_s3.mot", "random32k_s1_16.mot", "random32k_s2_32.mot",
                                           "random32k_s3_32.mot", "top4k_s2_32.mot", "random128k_s2_32.mot"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           return name.substr(0, name.find('.'));
                         });

}  // namespace
