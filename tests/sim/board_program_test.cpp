// The board running the real write-control program: the test plays the
// host on the wire directly (boot protocol, then S-records) and checks the
// replies and the flash.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "board.h"
#include "board_test_samples.h"
#include "h8_cpu.h"
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

  // The boot-mode exchange with the write-control program; what came after
  // the last echo (H'AA and the program's first words).
  std::string Load(const unsigned char* image = kWriteControlProgram, std::size_t size = kWriteControlProgramSize) {
    if (Exchange(std::string(1, '\0')) != std::string(1, '\0')) return "no sync";
    if (Exchange("\x55") != "\xAA") return "no H'AA for H'55";
    const std::string length{static_cast<char>(size >> 8), static_cast<char>(size)};
    if (Exchange(length) != length) return "no length echo";
    for (std::size_t i = 0; i + 1 < size; ++i)
      if (Exchange(std::string(1, static_cast<char>(image[i]))) != std::string(1, static_cast<char>(image[i])))
        return "bad echo at " + std::to_string(i);
    const std::string last = Exchange(std::string(1, static_cast<char>(image[size - 1])));
    return last.substr(0, 1) == std::string(1, static_cast<char>(image[size - 1])) ? last.substr(1) : "bad last echo";
  }

  Board& board() { return board_; }
  Board::Activity last() const { return last_; }

 private:
  Board board_;
  Board::Activity last_ = Board::Activity::kIdle;
};

const std::string kStarted = "\xAA[START]\r\n";

TEST(BoardProgram, StartsAndWaitsWithoutBurningInstructions) {
  ASSERT_EQ(kWriteControlProgramSize, 837u);
  Chip chip;
  EXPECT_EQ(chip.Load(), kStarted);
  EXPECT_EQ(chip.last(), Board::Activity::kIdle);
  EXPECT_EQ(chip.board().Bus().Sci1().Smr(), 0x00);
  EXPECT_EQ(chip.board().Bus().Sci1().Scr(), 0x30);
  // Idle again and again: each call runs only a handful of status polls.
  const std::uint64_t before = chip.board().Instructions();
  for (int i = 0; i < 100; ++i) EXPECT_EQ(chip.board().Run(), Board::Activity::kIdle);
  EXPECT_LT(chip.board().Instructions() - before, 100u * 1000u);
  EXPECT_NE(chip.board().Describe().find("running"), std::string::npos);
}

TEST(BoardProgram, RecordEdgeCases) {
  Chip chip;
  ASSERT_EQ(chip.Load(), kStarted);
  FlashMemory& flash = chip.board().Flash();
  // Line ends and junk between records are skipped; each record gets "U".
  EXPECT_EQ(chip.Exchange("\r\n" + MakeRecord(0, 0, {'h', 'i'}) + "\r\n"), "U");
  EXPECT_EQ(chip.Exchange(MakeRecord(1, 0x1234, {0x12, 0x34, 0x56})), "U");
  EXPECT_EQ(flash.Read(0x1234), 0x12);
  EXPECT_EQ(flash.Read(0x1236), 0x56);
  std::string lower = MakeRecord(1, 0x2000, {0xAB, 0xCD});
  for (char& c : lower) c = static_cast<char>(std::tolower(c));
  lower[0] = 'S';
  EXPECT_EQ(chip.Exchange(lower), "U");
  EXPECT_EQ(flash.Read(0x2000), 0xAB);
  EXPECT_EQ(flash.Read(0x2001), 0xCD);
  // Above H'1FFFF: modulo 128 KB. The small blocks through EBR2.
  EXPECT_EQ(chip.Exchange(MakeRecord(2, 0x020010, {0x5A})), "U");
  EXPECT_EQ(flash.Read(0x10), 0x5A);
  EXPECT_EQ(chip.Exchange(MakeRecord(3, 0x0001FFFE, {0x01, 0x02})), "U");
  EXPECT_EQ(flash.Read(0x1FFFE), 0x01);
  EXPECT_EQ(flash.Read(0x1FFFF), 0x02);
  // A count below the fixed part: answered, nothing programmed.
  const std::uint64_t pulses = flash.GetStats().pulses;
  EXPECT_EQ(chip.Exchange("S1020000FD"), "U");
  EXPECT_EQ(flash.GetStats().pulses, pulses);

  EXPECT_EQ(flash.GetStats().bytesProgrammed, 8u);
  EXPECT_EQ(flash.GetStats().pulses, 8u) << "erased cells verify after the first pulse";
  EXPECT_EQ(flash.GetStats().ignoredWrites, 0u);
  EXPECT_EQ(chip.board().Bus().GetStats().unguardedPulses, 0u);
  EXPECT_EQ(chip.board().Bus().GetStats().unknownIoAccesses + chip.board().Bus().GetStats().unmappedAccesses, 0u);

  // An end record: "U", then the completion text, then the program stops.
  EXPECT_EQ(chip.Exchange(MakeRecord(9, 0)), "U[COMPLETE]\r\n");
  EXPECT_EQ(chip.last(), Board::Activity::kStopped);
  EXPECT_EQ(chip.Exchange(MakeRecord(1, 0x3000, {0x00})), "");
  EXPECT_EQ(flash.Read(0x3000), 0xFF);
  EXPECT_NE(chip.board().Describe().find("branch to itself at H'FF4A6"), std::string::npos)
      << chip.board().Describe();
}

TEST(BoardProgram, UnhandledRecordTypeCompletesWithoutReply) {
  Chip chip;
  ASSERT_EQ(chip.Load(), kStarted);
  EXPECT_EQ(chip.Exchange("S5030001FB"), "[COMPLETE]\r\n");
  EXPECT_EQ(chip.last(), Board::Activity::kStopped);
}

// The cell at H'0100 cannot take a 0 in bit 2: six pulses, then "[FAIL]"
// for ever (until the host stops reading: the board then waits).
TEST(BoardProgram, StuckBitAndUnerasedFlashFail) {
  for (const bool noErase : {false, true}) {
    SCOPED_TRACE(noErase ? "flash not erased" : "stuck bit");
    BoardConfig config;
    if (noErase) {
      config.boot.noErase = true;
    } else {
      config.stuckBits.push_back({0x0100, 2});
    }
    Chip chip(config);
    ASSERT_EQ(chip.Load(), kStarted);
    const std::string reply = chip.Exchange(MakeRecord(1, 0x0100, {0xF0, 0x00}));
    ASSERT_GE(reply.size(), 64u);
    EXPECT_EQ(reply.substr(0, 16), "[FAIL]\r\n[FAIL]\r\n") << "no 'U' for the record";
    EXPECT_EQ(chip.last(), Board::Activity::kIdle) << "waits for the host to read";
    EXPECT_EQ(chip.board().Flash().GetStats().pulses, 6u);
    EXPECT_EQ(chip.board().Flash().Read(0x0100), noErase ? 0x00 : 0xF4);
    EXPECT_EQ(chip.board().Flash().Read(0x0101), noErase ? 0x00 : 0xFF) << "the next byte is never reached";
    EXPECT_EQ(chip.Settle().substr(0, 8), "[FAIL]\r\n") << "still failing once the host reads again";
  }
}

TEST(BoardProgram, UnknownOpcodeStopsTheBoardWithTheCpusMessage) {
  // H'FF300: MOV.L #H'FF300,ER7 then a word no H8/300H instruction starts with.
  const unsigned char image[] = {0x7A, 0x07, 0x00, 0x0F, 0xF3, 0x00, 0x56, 0x00, 0x00, 0x00};
  Chip chip;
  EXPECT_EQ(chip.Load(image, sizeof image), "\xAA");
  EXPECT_EQ(chip.last(), Board::Activity::kFault);
  EXPECT_FALSE(chip.board().Fault().empty());
  EXPECT_NE(chip.board().Describe().find(chip.board().Fault()), std::string::npos);
}

// The sample files, as the korvel host would send them: every line that
// begins with "S", without its line end.
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
  std::istringstream lines(text);
  std::string line, replies;
  std::size_t records = 0;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] != 'S') continue;
    ++records;
    replies += chip.Exchange(line);
  }
  EXPECT_EQ(replies, std::string(records, 'U') + "[COMPLETE]\r\n");
  const FlashMemory& flash = chip.board().Flash();
  EXPECT_TRUE(std::equal(expected.bytes.begin(), expected.bytes.end(), flash.Cells()));
  EXPECT_EQ(flash.GetStats().bytesProgrammed, expected.PresentCount());
  EXPECT_EQ(flash.GetStats().ignoredWrites, 0u);
  EXPECT_EQ(chip.board().Bus().GetStats().unguardedPulses, 0u);
  RecordProperty("instructions", std::to_string(chip.board().Instructions()));
}

INSTANTIATE_TEST_SUITE_P(Samples, BoardSampleFiles,
                         ::testing::Values("blink.mot", "blink_s3.mot", "random32k_s1_16.mot", "random32k_s2_32.mot",
                                           "random32k_s3_32.mot", "top4k_s2_32.mot", "random128k_s2_32.mot"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           return name.substr(0, name.find('.'));
                         });

}  // namespace
