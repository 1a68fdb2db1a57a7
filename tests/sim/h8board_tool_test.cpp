// h8board as a separate process, reached through its pseudo-terminal by a
// small host that speaks the boot protocol and sends records itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "board_test_samples.h"
#include "flash_srec.h"
#include "h8board_tool.h"
#include "subprocess.h"
#include "write_control_program.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// The host's end of the line.
class Host {
 public:
  explicit Host(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    if (fd_ >= 0) Configure(B9600);
  }
  ~Host() { Close(); }
  bool Ok() const { return fd_ >= 0; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  // Raw 8N1 at speed, or with canonical input and echo on.
  void Configure(speed_t speed, bool raw = true) {
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    t.c_lflag |= raw ? 0 : ICANON | ECHO;
    t.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    tcsetattr(fd_, TCSANOW, &t);
  }

  void Put(const std::string& bytes) { ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

  // Up to count bytes, waiting at most timeoutMs for them.
  std::string Get(std::size_t count, int timeoutMs) {
    std::string got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buffer[256];
      const ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }

  std::string Exchange(const std::string& bytes, std::size_t answerSize, int timeoutMs = 500) {
    Put(bytes);
    return Get(answerSize, timeoutMs);
  }

  // Sync, check, length and the image with an echo for each byte; true
  // when H'AA follows.
  bool Load() {
    if (Exchange(std::string(1, '\0'), 1) != std::string(1, '\0') || Exchange("\x55", 1) != "\xAA") return false;
    std::string image = {char(kWriteControlProgramSize >> 8), char(kWriteControlProgramSize)};
    image.append(reinterpret_cast<const char*>(kWriteControlProgram), kWriteControlProgramSize);
    for (char c : image) {
      if (Exchange(std::string(1, c), 1) != std::string(1, c)) return false;
    }
    return Get(1, 10000) == "\xAA";
  }

 private:
  int fd_;
};

// h8board with its terminal path read off its first line.
struct Board {
  explicit Board(std::vector<std::string> args) : process(H8BOARD_EXECUTABLE, args), path(process.ReadLine(10)) {}
  BackgroundProcess process;
  std::string path;
};

std::string TempPath(const std::string& name) {
  return "/tmp/h8board-test-" + std::to_string(getpid()) + "-" + name;
}

TEST(H8Board, ServesOneRunAndWritesTheFlash) {
  std::string why;
  const std::string folder = SampleFolder(&why);
  if (folder.empty()) GTEST_SKIP() << why;
  const std::string records = ReadWholeFile(folder + "/random32k_s2_32.mot");
  const std::string link = TempPath("link"), out = TempPath("flash.bin"), dump = TempPath("flash.mot");
  Board board({"--link", link, "--out", out, "--dump", dump, "--timeout", "120"});
  ASSERT_EQ(board.path.rfind("/dev/pts/", 0), 0u) << board.path;
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(board.path, target);

  Host host(link);
  ASSERT_TRUE(host.Ok());
  ASSERT_TRUE(host.Load());
  EXPECT_EQ(host.Get(9, 1000), "[START]\r\n");
  std::string replies;
  const std::vector<std::string> lines = RecordLines(records);
  for (const std::string& line : lines) replies += host.Exchange(line, 1);
  replies += host.Get(12, 1000);
  EXPECT_EQ(replies, std::string(lines.size(), 'U') + "[COMPLETE]\r\n");
  host.Close();

  const ProcessResult result = board.process.Wait(10);
  EXPECT_EQ(result.exitCode, kH8BoardServed) << result.err;
  EXPECT_NE(result.err.find("32768 bytes programmed, 32768 pulses"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("the host closed the line"), std::string::npos) << result.err;
  EXPECT_NE(access(link.c_str(), F_OK), 0) << "the link goes with the board";

  FlashImage expected, dumped;
  ASSERT_TRUE(ParseSrecords(records, &expected, &why)) << why;
  ASSERT_TRUE(ParseSrecords(ReadWholeFile(dump), &dumped, &why)) << why;
  EXPECT_EQ(dumped.present, expected.present);
  EXPECT_EQ(dumped.bytes, expected.bytes);
  EXPECT_EQ(ReadWholeFile(out), std::string(expected.bytes.begin(), expected.bytes.end()));
  unlink(out.c_str());
  unlink(dump.c_str());
}

TEST(H8Board, AnswersOnlyA9600BitRawLine) {
  Board board({"--verbose", "--timeout", "30"});
  Host host(board.path);
  ASSERT_TRUE(host.Ok());
  host.Configure(B115200);
  EXPECT_EQ(host.Exchange(std::string(1, '\0'), 1, 300), "");
  host.Configure(B9600, /*raw=*/false);
  EXPECT_EQ(host.Exchange(std::string(1, '\0'), 1, 300), "");
  host.Configure(B9600);
  EXPECT_EQ(host.Exchange(std::string(1, '\0'), 1, 1000), std::string(1, '\0'));
  host.Close();
  const ProcessResult result = board.process.Wait(10);
  EXPECT_EQ(result.exitCode, kH8BoardServed);
  EXPECT_NE(result.err.find("sends at 115200 bit/s"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("ICANON on"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("synchronised"), std::string::npos) << result.err;
}

TEST(H8Board, PacedLoadTakesTheWireTime) {
  Board board({"--pace", "--timeout", "30"});
  Host host(board.path);
  ASSERT_TRUE(host.Ok());
  const auto start = Clock::now();
  ASSERT_TRUE(host.Load());
  const double seconds = Since(start);
  // 841 bytes each way, one after the other: 2 x 841 x 1.0417 ms.
  EXPECT_GT(seconds, 1.70);
  EXPECT_LT(seconds, 4.0);
  EXPECT_EQ(host.Get(9, 1000), "[START]\r\n");
}

TEST(H8Board, FaultOptionsReachTheBootProgramAndTheFlash) {
  {
    Board board({"--sync-answer", "0x42", "--timeout", "30"});
    Host host(board.path);
    EXPECT_EQ(host.Exchange(std::string(1, '\0'), 1), "\x42");
  }
  {
    Board board({"--silent", "--timeout", "30"});
    Host host(board.path);
    EXPECT_EQ(host.Exchange(std::string(1, '\0'), 1, 300), "");
  }
  {
    // No echo for the last byte, but the image is complete: it starts.
    Board board({"--drop-echo", "836", "--stuck-bit", "H'1F000:7", "--timeout", "30"});
    Host host(board.path);
    EXPECT_FALSE(host.Load()) << "H'AA comes where the last echo should";
    EXPECT_EQ(host.Get(9, 2000), "[START]\r\n");
    host.Put("S20501F0000009");
    EXPECT_EQ(host.Get(16, 2000), "[FAIL]\r\n[FAIL]\r\n");
    host.Close();
    const ProcessResult result = board.process.Wait(10);
    EXPECT_EQ(result.exitCode, kH8BoardServed);
    EXPECT_NE(result.err.find("6 pulses"), std::string::npos) << result.err;
  }
}

TEST(H8Board, UnknownOpcodeSilencesTheChipAndFailsTheRun) {
  Board board({"--timeout", "30"});
  Host host(board.path);
  EXPECT_EQ(host.Exchange(std::string(1, '\0'), 1), std::string(1, '\0'));
  EXPECT_EQ(host.Exchange("\x55", 1), "\xAA");
  EXPECT_EQ(host.Exchange(std::string("\x00\x02", 2), 2), std::string("\x00\x02", 2));
  EXPECT_EQ(host.Exchange(std::string("\x56\x00", 2), 3), std::string("\x56\x00\xAA", 3));  // not an instruction
  EXPECT_EQ(host.Get(1, 300), "") << "a stopped chip says nothing";
  host.Close();
  const ProcessResult result = board.process.Wait(10);
  EXPECT_EQ(result.exitCode, kH8BoardFault);
  EXPECT_NE(result.err.find("unknown instruction at H'0FF300"), std::string::npos) << result.err;
}

TEST(H8Board, TimeoutAndBadOptions) {
  const auto start = Clock::now();
  const ProcessResult idle = RunProcess(H8BOARD_EXECUTABLE, {"--timeout", "0.3"}, 10);
  EXPECT_EQ(idle.exitCode, kH8BoardCutShort);
  EXPECT_LT(Since(start), 3.0);
  EXPECT_NE(idle.err.find("timed out"), std::string::npos) << idle.err;
  EXPECT_NE(idle.err.find("waiting for the bit-rate synchronisation"), std::string::npos) << idle.err;

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--bogus"}, {"--sync-answer", "1FF"}, {"--stuck-bit", "20000:1"},
        {"--stuck-bit", "100:8"}, {"--timeout"}, {"--preload", "/nonexistent"}}) {
    const ProcessResult r = RunProcess(H8BOARD_EXECUTABLE, args, 10);
    EXPECT_EQ(r.exitCode, kH8BoardUsage) << args[0];
    EXPECT_NE(r.err.find("usage: h8board"), std::string::npos);
  }

  // --link replaces a link, never a file.
  const std::string file = TempPath("not-a-link");
  std::ofstream(file) << "keep";
  const ProcessResult r = RunProcess(H8BOARD_EXECUTABLE, {"--link", file, "--timeout", "5"}, 10);
  EXPECT_EQ(r.exitCode, kH8BoardFault);
  EXPECT_EQ(ReadWholeFile(file), "keep");
  unlink(file.c_str());
}

}  // namespace
