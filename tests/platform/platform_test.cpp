// What only the platform shows: the real korvel on real pseudo-terminals.
// (The raw 9600 bit/s 8N1 line is what h8board's boot program measures: the
// run table's executable rows program the board only on such a line.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <thread>

#include "expected_console.h"
#include "rs.h"
#include "startup.h"
#include "subprocess.h"
#include "transfer_test_files.h"

namespace {

constexpr int kNobody = 65534;

// The master side of a new pty: its slave path is the line korvel opens.
struct Pty {
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    grantpt(master);
    unlockpt(master);
    path = ptsname(master);
    keeper = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);  // no hang-up while korvel has it closed
    termios raw{};
    tcgetattr(keeper, &raw);
    cfmakeraw(&raw);  // nothing echoed back before korvel sets the line
    tcsetattr(keeper, TCSANOW, &raw);
  }
  ~Pty() {
    close(keeper);
    close(master);
  }
  std::string Read() {
    std::string bytes;
    char buffer[256];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<std::size_t>(n));
    return bytes;
  }
  int master = -1, keeper = -1;
  std::string path;
};

void ExpectSilentBoardRun(const ProcessResult& run, const std::string& device, const std::string& err) {
  SCOPED_TRACE(device);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, err);
  EXPECT_EQ(NormaliseBuildStamp(run.out), ExpectedBanner(device, "app.mot") + ExpectedSilentBoard());
}

}  // namespace

TEST(PortArgument, ReadsLikeADecimalStrtolAndAPathNamesTheDevice) {
  const std::pair<const char*, int> cases[] = {
      {"1", 0},  {"10", 9}, {"3x", 2},   {"+4", 3}, {"007", 6}, {" \t\n\v\f\r5", 4}, {"0", 0},   {"11", 0},
      {"-2", 0}, {"COM3", 0}, {"x", 0}, {"", 0},   {"-0", 0},  {"+", 0}, {"9 7", 8}, {"99999999999999999999", 0}};
  for (const auto& [argument, index] : cases) EXPECT_EQ(PortIndexFromArgument(argument), index) << argument;
  EXPECT_TRUE(IsDevicePath("./port"));
  EXPECT_FALSE(IsDevicePath("COM3"));
}

// Standard output is that of a board that never answers; standard error
// says why the port did not open, and a second korvel on a line in use
// sends nothing on it.
TEST(Platform, ReasonsAPortDidNotOpenGoToStandardError) {
  char regular[] = "/tmp/korvel-regular-XXXXXX";
  const int file = mkstemp(regular);
  BackgroundProcess board(H8BOARD_EXECUTABLE, {"--silent", "--timeout", "30"});
  const std::string held = board.ReadLine(10);
  BackgroundProcess owner(KorvelPath(), {held, "app.mot"});
  for (int line = 0; line < 7; ++line) owner.ReadLine(10);  // the banner: the port is open
  Pty forbidden;
  ASSERT_EQ(fchmod(forbidden.keeper, 0600), 0);
  const std::string longName = "/dev/" + std::string(5000, 'p');
  const std::string cannot = "korvel: cannot open ";
  const std::vector<std::tuple<std::string, std::string, int>> cases = {
      {"/dev/korvel-no-such-port", cannot + "/dev/korvel-no-such-port: No such file or directory\n", -1},
      {regular, cannot + regular + ": not a serial port (Inappropriate ioctl for device)\n", -1},
      {"/tmp", cannot + "/tmp: Is a directory\n", -1},
      {longName, cannot + longName + ": File name too long\n", -1},
      {held, cannot + held + ": the port is in use by another program\n", -1},
      {forbidden.path, cannot + forbidden.path + ": Permission denied (is your user in the dialout group?)\n", kNobody},
  };
  std::vector<std::future<ProcessResult>> runs;
  for (const auto& [device, err, uid] : cases)
    runs.push_back(std::async(std::launch::async, [device = device, uid = uid] {
      return RunProcess(KorvelPath(), {device, "app.mot"}, 30, uid);
    }));
  for (std::size_t i = 0; i < cases.size(); ++i)
    ExpectSilentBoardRun(runs[i].get(), std::get<0>(cases[i]), std::get<1>(cases[i]));
  const ProcessResult first = owner.Wait(30);
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(board.Wait(10).err.rfind("h8board: 0 bytes programmed", 0), 0u);
  close(file);
  unlink(regular);
}

// A byte written just before the port closes still reaches the far end
// (on a pty, a flush at close throws it away about one time in three).
TEST(Platform, TheLastByteWrittenBeforeCloseArrives) {
  Pty pty;
  RsInit();
  RsSetDeviceName(3, pty.path);
  std::string received;
  for (int i = 1; i <= 40; ++i) {
    ASSERT_EQ(RsOpen(3, 5, 1, 0, 0), 1) << RsOpenFailure(3);
    ASSERT_EQ(RsPutc(3, 0x55), 1);
    ASSERT_EQ(RsClose(3), 1);
    for (int wait = 0; wait < 100 && received.size() < static_cast<std::size_t>(i); ++wait) {
      received += pty.Read();
      usleep(1000);
    }
    ASSERT_EQ(received, std::string(static_cast<std::size_t>(i), 'U')) << "lost at close " << i;
  }
}

// The board is switched off in the middle of the records: its end of the
// line closes, korvel's reads and writes fail, and the run ends at once.
TEST(Platform, AVanishedLineEndsTheRun) {
  TempFolder folder;
  Lines lines;
  for (std::uint32_t i = 0; i < 2000; ++i) lines.push_back(MakeRecord(2, i * 16, Pattern(16, i)));
  const std::string file = folder.Write("many.mot", CrLfFile(lines));
  BackgroundProcess board(H8BOARD_EXECUTABLE, {"--timeout", "60"});
  BackgroundProcess korvel(KorvelPath(), {board.ReadLine(10), file});
  std::string shown;
  while (shown.find(":OK:U") == std::string::npos) {
    const std::string line = korvel.ReadLine(30);
    if (line.empty()) break;
    shown += line + "\n";
  }
  board.Kill(SIGKILL);
  board.Wait(10);
  const ProcessResult run = korvel.Wait(10);
  EXPECT_FALSE(run.timedOut);
  const std::string end = ":NG\r\n" + ExpectedFail();
  EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), end.size())), end);
}

// A line that delivers faster than korvel reads (a pty, a USB device that
// ignores the bit rate) cannot hold the flush: each try reads a '#'.
TEST(Platform, AFloodedLineCannotHoldTheRun) {
  Pty pty;
  std::atomic<bool> stop{false};
  std::string sent;
  std::thread flood([&] {
    const std::string junk(4096, '#');
    while (!stop) {
      (void)!write(pty.master, junk.data(), junk.size());
      sent += pty.Read();
      pollfd p{pty.master, POLLIN | POLLOUT, 0};
      poll(&p, 1, 1);
    }
  });
  const ProcessResult run = RunProcess(KorvelPath(), {pty.path, "app.mot"}, 20);
  stop = true;
  flood.join();
  std::string tries;
  for (int i = 0; i < 10; ++i) tries += ".D 23 00";
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(NormaliseBuildStamp(run.out), ExpectedBanner(pty.path, "app.mot") + "WAIT H3048 Boot mode..." + tries +
                                              ExpectedFail());
  EXPECT_EQ(sent, std::string(10, '\0')) << "sent after the failed synchronisation";
}
