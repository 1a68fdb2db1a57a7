// Whole programming runs of the real korvel executable against a scripted
// chip on a pty: the boot program, then a stand-in of the write-control
// program. The console is compared byte for byte.
#include <gtest/gtest.h>

#include <future>
#include <memory>

#include "boot_chip.h"
#include "expected_console.h"
#include "record_chip.h"
#include "subprocess.h"
#include "transfer_test_files.h"
#include "write_control_program.h"

namespace {

// What the loader prints for a clean load.
std::string ExpectedCleanLoad() {
  std::string text = "\r\nTransfer...";
  for (std::size_t p = 0; p < kWriteControlProgramSize; ++p) text += (p % 64 == 0 ? "\r\n." : ".");
  return text + "\r\n\r\nWAIT H3048 response...OK\r\n";
}

Bytes BootBytes() {
  Bytes bytes{0x03, 0x45};
  bytes.insert(bytes.end(), kWriteControlProgram, kWriteControlProgram + kWriteControlProgramSize);
  return bytes;
}

// A chip in boot mode whose started program is a RecordChip.
struct ScriptedBoard {
  explicit ScriptedBoard(RecordChip::Behaviour behaviour = {}) : records(behaviour), chip(Options()) {}
  BootChip::Options Options() {
    BootChip::Options options;
    options.afterStart = BootChip::kStartLine;
    options.running = [this](BootChip& c, std::uint8_t byte) { records.Take(c.Peer(), byte); };
    return options;
  }
  ProcessResult Run(const std::string& file) {
    chip.Start();
    ProcessResult run = RunProcess(KorvelPath(), {chip.DevicePath(), file}, 60);
    chip.Stop();
    return run;
  }
  RecordChip records;
  BootChip chip;
};

class ProgrammingRun : public ::testing::Test {
 protected:
  std::string Console(const ProcessResult& run) {
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0);
    return NormaliseBuildStamp(run.out);
  }
  std::string Banner(const ScriptedBoard& board, const std::string& file) {
    return ExpectedBanner(board.chip.DevicePath(), file);
  }
  TempFolder folder_;
};

}  // namespace

TEST_F(ProgrammingRun, WholeRunsThatLoadTheChip) {
  const Lines lines = {MakeRecord(0, 0, {'h', 'd', 'r'}), MakeRecord(1, 0x0100, Pattern(16, 1)),
                       MakeRecord(2, 0x01FFF0, Pattern(16, 2)), MakeRecord(9, 0x0100)};
  const std::string good = folder_.Write("good.mot", CrLfFile(lines));
  const std::string missing = folder_.Path("missing.mot");
  std::string recordsSent, recordsShown;
  for (const std::string& line : lines) recordsSent += line, recordsShown += line + ":OK:U\r\n";

  ScriptedBoard clean, tenthTry, noFile, chipFails(RecordChip::Behaviour{RecordChip::Fault::kFailStream, 1, 0, 0});
  for (std::size_t i = 0; i < 9; ++i) tenthTry.chip.SetAnswer(BootChip::SyncByte(i), BootChip::Answer::Silent());
  auto runClean = std::async(std::launch::async, [&] { return clean.Run(good); });
  auto runTenth = std::async(std::launch::async, [&] { return tenthTry.Run(good); });
  auto runNoFile = std::async(std::launch::async, [&] { return noFile.Run(missing); });
  auto runFails = std::async(std::launch::async, [&] { return chipFails.Run(good); });

  const std::string loaded = ExpectedCleanLoad() + "\a" + BootChip::kStartLine;
  {
    SCOPED_TRACE("clean run");
    const ProcessResult run = runClean.get();
    EXPECT_EQ(Console(run), Banner(clean, good) + "WAIT H3048 Boot mode....!" + loaded + "Program H3048...\r\n" +
                                recordsShown + ExpectedSuccess());
    Bytes expected{0x00, 0x55};
    const Bytes boot = BootBytes();
    expected.insert(expected.end(), boot.begin(), boot.end());
    expected.insert(expected.end(), recordsSent.begin(), recordsSent.end());
    EXPECT_EQ(clean.chip.Received(), expected);
    const std::vector<std::uint8_t> flash = clean.records.Flash();
    const std::vector<std::uint8_t> first = Pattern(16, 1), second = Pattern(16, 2);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), flash.begin() + 0x0100));
    EXPECT_TRUE(std::equal(second.begin(), second.end(), flash.begin() + 0x01FFF0));
    EXPECT_TRUE(clean.records.Completed());
  }
  {
    SCOPED_TRACE("answered on the tenth try");
    std::string sync = "WAIT H3048 Boot mode...";
    for (int i = 0; i < 9; ++i) sync += ".NG";
    EXPECT_EQ(Console(runTenth.get()),
              Banner(tenthTry, good) + sync + ".!" + loaded + "Program H3048...\r\n" + recordsShown + ExpectedSuccess());
  }
  {
    SCOPED_TRACE("program file missing after the load");
    EXPECT_EQ(Console(runNoFile.get()), Banner(noFile, missing) + "WAIT H3048 Boot mode....!" + loaded +
                                            "File not Found...[" + missing + "]\r\n" + ExpectedFail());
    EXPECT_TRUE(noFile.records.Records().empty());
  }
  {
    SCOPED_TRACE("chip fails to program a byte");
    EXPECT_EQ(Console(runFails.get()), Banner(chipFails, good) + "WAIT H3048 Boot mode....!" + loaded +
                                           "Program H3048...\r\n" + lines[0] + ":OK:U\r\n" + lines[1] +
                                           ":NG [FAIL]\r\n" + ExpectedFail());
    // The failing record was never finished, and nothing after it reached the chip.
    EXPECT_EQ(chipFails.records.Records(), (std::vector<std::string>{lines[0]}));
    const Bytes bytes = chipFails.chip.Received();
    const std::string received(bytes.begin(), bytes.end());
    EXPECT_NE(received.find(lines[1]), std::string::npos);
    EXPECT_EQ(received.find(lines[2]), std::string::npos);
  }
}

TEST_F(ProgrammingRun, SynchronisationAndConfirmationAnswers) {
  const std::string file = folder_.Write("a.mot", MakeRecord(1, 0, {1}) + "\n");
  struct Case {
    const char* name;
    std::vector<std::pair<BootChip::Step, BootChip::Answer>> answers;
    std::string sync;   // the synchronisation line as shown
    Bytes sent;         // the first bytes the chip received
  };
  const std::vector<Case> cases = {
      {"a wrong answer, then the next try at once",
       {{BootChip::SyncByte(0), BootChip::Answer::Wrong(0x80)}, {BootChip::Confirm(), BootChip::Answer::Wrong(0x11)}},
       "WAIT H3048 Boot mode....D 80 00.!D 11 55", {0x00, 0x00, 0x55}},
      {"a surplus answer is the next exchange's answer",
       {{BootChip::SyncByte(0), BootChip::Answer::Normal().Then({0x00})}},
       "WAIT H3048 Boot mode....!D 00 55", {0x00, 0x55}},
      {"0x55 answered with 0x00",
       {{BootChip::Confirm(), BootChip::Answer::Wrong(0x00)}},
       "WAIT H3048 Boot mode....!D 00 55", {0x00, 0x55}},
  };
  std::vector<std::unique_ptr<ScriptedBoard>> boards;
  std::vector<std::future<ProcessResult>> runs;
  for (const Case& c : cases) {
    boards.push_back(std::make_unique<ScriptedBoard>());
    for (const auto& [step, answer] : c.answers) boards.back()->chip.SetAnswer(step, answer);
    ScriptedBoard* board = boards.back().get();
    runs.push_back(std::async(std::launch::async, [board, &file] { return board->Run(file); }));
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    const ProcessResult run = runs[i].get();
    EXPECT_EQ(Console(run), Banner(*boards[i], file) + cases[i].sync + ExpectedFail());
    EXPECT_LT(run.seconds, 5);  // no retries, no waits beyond the answers
    // Nothing is sent after the failed confirmation: no length, no image.
    EXPECT_EQ(boards[i]->chip.Received(), cases[i].sent);
  }
}
