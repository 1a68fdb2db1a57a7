// ProgramRecords against a stand-in for the write-control program on a
// pseudo-terminal: what crosses the line, what the console shows, the result.
#include "program_records.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "console.h"
#include "record_chip.h"
#include "rs.h"
#include "run_settings.h"
#include "transfer_test_files.h"

namespace {

constexpr int kPort = 3;
const std::string kStart = "[START]\r\n", kProgram = "Program H3048...\r\n";

struct Outcome {
  int result = -1;
  std::string console, sent;
  double seconds = 0;
  Lines records;                    // as the chip read them
  std::vector<std::uint8_t> flash;  // as the chip programmed it
};

// One ProgramRecords call with a fresh chip that first sends startBytes.
Outcome Exchange(const std::string& path, RecordChip::Behaviour behaviour = RecordChip::Behaviour(),
                 const std::string& startBytes = kStart) {
  Outcome out;
  RecordChip chip(behaviour);
  PtyPeer peer;
  peer.Start(chip.Script());
  RsInit();
  RsSetDeviceName(kPort, peer.DevicePath());
  EXPECT_EQ(RsOpen(kPort, kRunBitRateIndex, 1, 0, 0), 1) << RsOpenFailure(kPort);
  g_runSettings.portIndex = kPort;
  if (!startBytes.empty()) peer.Send(startBytes);
  SetConsoleSink([&](const char* bytes, std::size_t size) { out.console.append(bytes, size); });
  const auto start = std::chrono::steady_clock::now();
  out.result = ProgramRecords(path.c_str());
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  SetConsoleSink({});
  for (std::size_t size = SIZE_MAX; size != peer.Received().size();) {  // until the line is quiet
    size = peer.Received().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }
  RsClose(kPort);
  peer.Stop();
  out.sent = peer.ReceivedText();
  out.records = chip.Records();
  out.flash = chip.Flash();
  return out;
}

std::string Joined(const Lines& lines, std::size_t count = SIZE_MAX) {
  std::string text;
  for (std::size_t i = 0; i < lines.size() && i < count; ++i) text += lines[i];
  return text;
}

std::string Accepted(const Lines& records, std::size_t count = SIZE_MAX) {
  std::string text;
  for (std::size_t i = 0; i < records.size() && i < count; ++i) text += records[i] + ":OK:U\r\n";
  return text;
}

Lines DataRecords(std::size_t count) {
  Lines records;
  for (std::size_t i = 0; i < count; ++i)
    records.push_back(MakeRecord(1, static_cast<std::uint32_t>(0x400 + 16 * i), Pattern(16, static_cast<unsigned>(i))));
  return records;
}

TEST(ProgramRecords, SendsExactlyTheRecordCharacters) {
  TempFolder folder;
  const Lines data = DataRecords(2);
  const std::vector<std::uint8_t> big = Pattern(250, 3);
  const Lines file = {"; made for the transfer test",
                      MakeRecord(0, 0, {'H', 'D', 'R'}),
                      "",
                      data[0],
                      "s" + data[1].substr(1),
                      data[1] + std::string(100, ' ') + "\t",  // echoed whole, sent as read
                      MakeRecord(1, 0x2000),                   // no data
                      " " + MakeRecord(9, 0x400),  // an end record behind a blank is not sent
                      MakeRecord(3, 0x1FF00, big),  // 514 characters
                      MakeRecord(0, 0),             // header without text
                      MakeRecord(5, 4),
                      MakeRecord(9, 0x400)};
  const Lines sent = {file[1], file[3], file[5], file[8], file[11]};
  const Outcome out = Exchange(folder.Write("good.mot", CrLfFile(file)));
  EXPECT_EQ(out.result, 1);
  EXPECT_EQ(out.sent, Joined(sent)) << "no line ends, no skipped lines";
  EXPECT_EQ(out.console, kStart + kProgram + Accepted(sent));
  EXPECT_EQ(out.records, (Lines{file[1], data[0], data[1], file[8], file[11]}));
  std::vector<std::uint8_t> programmed = Pattern(16, 0), second = Pattern(16, 1);
  programmed.insert(programmed.end(), second.begin(), second.end());
  EXPECT_EQ(std::vector<std::uint8_t>(out.flash.begin() + 0x400, out.flash.begin() + 0x420), programmed);
  EXPECT_EQ(std::vector<std::uint8_t>(out.flash.begin() + 0x1FF00, out.flash.begin() + 0x1FFFA), big);
}

// A file that would program nothing fails before anything is sent: the run
// must not end in "Success" for a chip that got no data.
TEST(ProgramRecords, StartLineAndFilesWithNothingToSend) {
  TempFolder folder;
  const std::string path = folder.Path("empty.mot");
  for (const std::string& text : {std::string(), std::string("; words\r\ns1130000\r\n"), CrLfFile({MakeRecord(5, 0)}),
                                  "\x1A" + CrLfFile(DataRecords(1)), CrLfFile({MakeRecord(0, 0, {'h'}), MakeRecord(9, 0)}),
                                  CrLfFile({MakeRecord(1, 0x100), MakeRecord(9, 0)})}) {
    const Outcome out = Exchange(folder.Write("empty.mot", text));
    EXPECT_EQ(out.result, 0) << text;
    EXPECT_EQ(out.console, kStart + "No data records in file...[" + path + "]\r\n") << text;
    EXPECT_EQ(out.sent, "") << text;
  }
  const Lines records = DataRecords(2);
  const std::string two = folder.Write("two.mot", CrLfFile(records));
  Outcome out = Exchange(two, RecordChip::Behaviour(), "");
  EXPECT_EQ(out.console, kProgram + Accepted(records)) << "no start line, nothing shown for it";
  EXPECT_GE(out.seconds, 1.0) << "the start line is waited for";
  out = Exchange(two, {RecordChip::Fault::kSilent, 0, 0, 0}, kStart + "UUUU");
  EXPECT_EQ(out.console, kStart + kProgram + records[0] + ":NG\r\n") << "bytes behind the start line are no answers";
}

// A run ends in 1 only when every record was answered with 'U'.
TEST(ProgramRecords, AnythingButUStopsTheTransfer) {
  TempFolder folder;
  const Lines records = DataRecords(4);
  const std::string path = folder.Write("four.mot", CrLfFile(records));
  using F = RecordChip::Fault;
  struct Case {
    RecordChip::Behaviour chip;
    std::size_t accepted;
    std::string shown;  // after the first refused record and its ":"
  };
  const std::vector<Case> cases = {
      {{F::kSilent, 2, 0, 0}, 2, "NG"},         {{F::kFailStream, 1, 0, 0}, 1, "NG [FAIL]"},
      {{F::kAnswerByte, 1, 0x00, 0}, 1, "NG 00"}, {{F::kAnswerByte, 0, 0x1F, 0}, 0, "NG 1F"},
      {{F::kAnswerByte, 1, 0x20, 0}, 1, "NG  "},  {{F::kAnswerByte, 1, 'X', 0}, 1, "NG X"},
      {{F::kAnswerByte, 3, 0x7E, 0}, 3, "NG ~"},  {{F::kAnswerByte, 1, 0x7F, 0}, 1, "NG 7F"},
      {{F::kAnswerByte, 1, 0xAA, 0}, 1, "NG AA"}, {{F::kNone, 0, 0, 300}, 4, ""},  // late, but in time
  };
  for (const Case& c : cases) {
    const Outcome out = Exchange(path, c.chip);
    const bool all = c.accepted == records.size();
    EXPECT_EQ(out.result, all ? 1 : 0) << c.shown;
    EXPECT_EQ(out.console, kStart + kProgram + Accepted(records, c.accepted) +
                               (all ? "" : records[c.accepted] + ":" + c.shown + "\r\n"));
    EXPECT_EQ(out.sent, Joined(records, c.accepted + 1)) << "nothing after the refused record";
    if (c.chip.fault == F::kSilent) {
      EXPECT_GE(out.seconds, 0.5) << "500 ms for the answer";
    }
    if (c.chip.answerDelayMs > 0) {
      EXPECT_GE(out.seconds, 1.1) << "four answers 300 ms late";
    }
    EXPECT_LT(out.seconds, 4.0);
  }
  // A byte the flash cannot take: the chip's own failure stream.
  const Lines twice = {MakeRecord(1, 0x100, {0x00}), MakeRecord(1, 0x100, {0x01}), MakeRecord(9, 0)};
  const Outcome out = Exchange(folder.Write("twice.mot", CrLfFile(twice)));
  EXPECT_EQ(out.result, 0);
  EXPECT_EQ(out.console, kStart + kProgram + Accepted(twice, 1) + twice[1] + ":NG [FAIL]\r\n");
}

TEST(ProgramRecords, MissingOrBadFileSendsNothing) {
  TempFolder folder;
  const Lines good = DataRecords(5);
  std::string badSum = good[3];
  badSum.back() = badSum.back() == '0' ? '1' : '0';
  const std::string missing = folder.Path("H3048.MOT"), longName = folder.Path(std::string(200, 'n') + ".mot");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {missing, "File not Found...[" + missing + "]"},
      {longName, "File not Found...[" + longName + "]"},
      {folder.Write("a.mot", CrLfFile({good[0], good[1], "", good[2], "; note", badSum, good[4]})),
       "Record error line 6: checksum"},
      {folder.Write("b.mot", CrLfFile({good[0], MakeRecord(9, 0), good[1]})), "Record error line 3: after end record"},
      {folder.Write("c.mot", CrLfFile({good[0], MakeRecord(3, 0x20000, {1})})), "Record error line 2: outside flash"},
  };
  for (const auto& [path, report] : cases) {
    const Outcome out = Exchange(path);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.console, kStart + report + "\r\n");
    EXPECT_EQ(out.sent, "") << report;
  }
}

}  // namespace
