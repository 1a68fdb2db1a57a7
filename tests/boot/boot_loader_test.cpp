// The loader against a scripted boot program on a pseudo-terminal: the
// console text byte for byte, the bytes the chip got, and the timing of the
// waits. Each echo costs one 5 ms poll, so a full load takes seconds; the
// cases that need one are few, the others fail early.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "boot_chip.h"
#include "boot_loader.h"
#include "console.h"
#include "rs.h"
#include "run_settings.h"
#include "write_control_program.h"

namespace {

using Clock = std::chrono::steady_clock;
using Answer = BootChip::Answer;

constexpr int kPort = 3;
const std::string kTransfer = "\r\nTransfer...";
const std::string kWait = "WAIT H3048 response...";

long MsSince(Clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Progress dots: full lines of 64, then a line of `lastDots`; each line
// begins with its line end.
std::string DotLines(int fullLines, int lastDots) {
  std::string text;
  for (int i = 0; i < fullLines; ++i) text += "\r\n" + std::string(64, '.');
  if (lastDots > 0) text += "\r\n" + std::string(static_cast<std::size_t>(lastDots), '.');
  return text;
}

// The length bytes and the first `count` image bytes, as the chip gets them.
Bytes LengthAndImage(std::size_t count) {
  Bytes bytes(2 + count);
  bytes[0] = 0x03;
  bytes[1] = 0x45;
  std::copy(kWriteControlProgram, kWriteControlProgram + count, bytes.begin() + 2);
  return bytes;
}

// A chip that has been through the synchronisation already.
BootChip::Options Synchronised() {
  BootChip::Options options;
  options.begin = BootChip::Stage::LengthHigh;
  return options;
}

std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

class BootLoaderTest : public ::testing::Test {
 protected:
  void TearDown() override { Close(); }

  // Makes the chip the run's port and starts capturing the console.
  void Open(BootChip& chip) {
    chip.Start();
    RsSetDeviceName(kPort, chip.DevicePath());
    ASSERT_EQ(RsOpen(kPort, kRunBitRateIndex, 1, 0, 0), 1) << RsOpenFailure(kPort);
    g_runSettings.portIndex = kPort;
    console_.clear();
    SetConsoleSink([this](const char* bytes, std::size_t size) { console_.append(bytes, size); });
  }

  void Close() {
    SetConsoleSink(nullptr);
    RsClose(kPort);
  }

  // Whatever waits in the receive queue or comes within firstWaitMs, until
  // the line has been quiet for 200 ms.
  std::string Leftover(int firstWaitMs = 200) {
    std::string bytes;
    for (int wait = firstWaitMs; RsWaitRx(kPort, wait) == 1; wait = 200) bytes += static_cast<char>(RsGetc(kPort));
    return bytes;
  }

  std::string console_;
};

TEST_F(BootLoaderTest, BootEchoReportsMissingAndWrongAnswers) {
  BootChip chip;
  chip.SetAnswer(BootChip::SyncByte(0), Answer::Silent());
  chip.SetAnswer(BootChip::Confirm(), Answer::Wrong(0x00));
  Open(chip);

  const auto start = Clock::now();
  EXPECT_EQ(BootEcho(kPort, 0x00, 0x00), 0);
  const long ms = MsSince(start);
  EXPECT_GE(ms, 500);
  EXPECT_LT(ms, 2500);
  EXPECT_EQ(console_, "NG");

  // A received 0x00 is an answer, not "nothing".
  EXPECT_EQ(BootEcho(kPort, 0x00, 0x00), 1);
  EXPECT_EQ(console_, "NG");

  // The message names the byte sent (55), not the one expected (AA).
  EXPECT_EQ(BootEcho(kPort, 0x55, 0xAA), 0);
  EXPECT_EQ(console_, "NGD 00 55");
  EXPECT_EQ(chip.Received(), (Bytes{0x00, 0x00, 0x55}));
}

TEST_F(BootLoaderTest, LengthByteFailureEndsTheLoadWithoutWaitingForTheChip) {
  struct Case {
    const char* what;
    BootChip::Step step;
    Answer answer;
    std::string words;
    std::size_t bytesSent;
    bool timesOut;
    std::string leftover;  // what the loader must not have read
  };
  const std::vector<Case> cases = {
      {"no echo of 0x03", BootChip::LengthHigh(), Answer::Silent(), "NGH", 1, true, ""},
      {"wrong echo of 0x03", BootChip::LengthHigh(), Answer::Wrong(0x00), "D 00 03H", 1, false, ""},
      {"no echo of 0x45", BootChip::LengthLow(), Answer::Silent(), "NGL", 2, true, ""},
      {"wrong echo of 0x45", BootChip::LengthLow(), Answer::Wrong(0x54), "D 54 45L", 2, false, ""},
      // Nothing empties the queue between exchanges: a surplus byte is
      // taken as the next answer, and the real one stays queued.
      {"double echo of 0x03", BootChip::LengthHigh(), Answer::Normal().Then({0x03}), "D 03 45L", 2, false, "\x45"},
      // A late echo counts as missing and stays queued.
      {"late echo of 0x03", BootChip::LengthHigh(), Answer::Late(900), "NGH", 1, true, "\x03"},
  };
  const Bytes length = {0x03, 0x45};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BootChip chip(Synchronised());
    chip.SetAnswer(c.step, c.answer);
    Open(chip);
    const auto start = Clock::now();
    EXPECT_EQ(LoadWriteControlProgram(), 0);
    const long ms = MsSince(start);
    // The start signal is not awaited: far less than its 10 s.
    EXPECT_LT(ms, c.timesOut ? 3000 : 1500);
    if (c.timesOut) {
      EXPECT_GE(ms, 500);
    }
    EXPECT_EQ(console_, kTransfer + c.words + "\r\n\r\n");
    EXPECT_EQ(Leftover(600), c.leftover);
    EXPECT_EQ(chip.Received(), Bytes(length.begin(), length.begin() + static_cast<long>(c.bytesSent)));
    Close();
  }
}

// A failed image byte stops the sending, and the start-signal wait decides.
// Here the chip sends one more byte on its own, so no case waits 10 s.
TEST_F(BootLoaderTest, ImageByteFailureStopsSendingAndLeavesTheOutcomeToTheStartSignal) {
  struct Case {
    const char* what;
    std::size_t position;
    Answer answer;
    std::string text;  // after "Transfer..."
    int result;
  };
  const std::vector<Case> cases = {
      {"wrong echo of the first byte, then 0xAA anyway", 0, Answer::Wrong(0x41).Then({0xAA}, 50),
       DotLines(0, 1) + "D 41 7A0000\r\n\r\n" + kWait + "OK\r\n", 1},
      // Position 63 closes the first line; the late echo is then read as
      // the answer to the start-signal wait.
      {"late echo of byte 63", 63, Answer::Late(900), DotLines(1, 0) + "NG003f\r\n\r\n" + kWait + "\r\n", 0},
      {"no echo of byte 64, then a start signal other than 0xAA", 64, Answer::Silent().Then({0x55}, 1200),
       DotLines(1, 1) + "NG0040\r\n\r\n" + kWait + "\r\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BootChip chip(Synchronised());
    chip.SetAnswer(BootChip::ImageByte(c.position), c.answer);
    Open(chip);
    EXPECT_EQ(LoadWriteControlProgram(), c.result);
    EXPECT_EQ(console_, kTransfer + c.text);
    // Nothing was sent after the failed byte.
    EXPECT_FALSE(chip.WaitForReceived(2 + c.position + 2, 100));
    EXPECT_EQ(chip.Received(), LengthAndImage(c.position + 1));
    Close();
  }
}

TEST_F(BootLoaderTest, CleanLoadLeavesTheStartLineQueued) {
  BootChip::Options options = Synchronised();
  options.afterStart = BootChip::kStartLine;
  BootChip chip(options);
  Open(chip);

  const auto start = Clock::now();
  EXPECT_EQ(LoadWriteControlProgram(), 1);
  const long ms = MsSince(start);
  EXPECT_EQ(console_, kTransfer + DotLines(13, 5) + "\r\n\r\n" + kWait + "OK\r\n");
  EXPECT_EQ(chip.Received(), LengthAndImage(kWriteControlProgramSize));
  EXPECT_EQ(Leftover(), "[START]\r\n");
  EXPECT_LT(ms, 60000);
  RecordProperty("load_ms", static_cast<int>(ms));
}

// The chip got every byte although the last echo was wrong: its start
// signal makes the load a success.
TEST_F(BootLoaderTest, FailedEchoOfTheLastByteStillSucceedsOnStartSignal) {
  const std::size_t last = kWriteControlProgramSize - 1;
  BootChip chip(Synchronised());
  chip.SetAnswer(BootChip::ImageByte(last), Answer::Wrong(0xFF));
  Open(chip);

  EXPECT_EQ(LoadWriteControlProgram(), 1);
  EXPECT_EQ(console_, kTransfer + DotLines(13, 5) + "D FF " + Hex2(kWriteControlProgram[last]) + "0344\r\n\r\n" +
                          kWait + "OK\r\n");
  EXPECT_EQ(chip.Received(), LengthAndImage(kWriteControlProgramSize));
}

// The one test that sits out the whole 10 s start-signal wait.
TEST_F(BootLoaderTest, NoStartSignalGivesNgAndTheBellAfterTenSeconds) {
  BootChip chip(Synchronised());
  chip.SetAnswer(BootChip::ImageByte(0), Answer::Wrong(0x41));
  Open(chip);

  const auto start = Clock::now();
  EXPECT_EQ(LoadWriteControlProgram(), 0);
  const long ms = MsSince(start);
  EXPECT_EQ(console_, kTransfer + "\r\n.D 41 7A0000\r\n\r\n" + kWait + "NG\a\r\n");
  EXPECT_GE(ms, 10000);
  EXPECT_LT(ms, 20000);
  EXPECT_EQ(chip.Received(), LengthAndImage(1));
}

}  // namespace
