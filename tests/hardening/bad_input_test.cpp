// The real korvel executable against input it has to refuse: program files
// that are no S-record files, ports that are no chip, a board that goes away
// in the middle of a run, a line flooded with bytes, arguments of thousands
// of characters. Every run has to end by itself within korvel's own waits,
// exit with 0 (korvel has no other exit code), say "Fail" last, and send the
// chip nothing more once it has failed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <future>
#include <memory>
#include <random>
#include <regex>
#include <stdexcept>
#include <thread>

#include "boot_chip.h"
#include "expected_console.h"
#include "pty_peer.h"
#include "record_chip.h"
#include "subprocess.h"
#include "transfer_test_files.h"
#include "write_control_program.h"

namespace {

using namespace std::chrono_literals;

constexpr int kNobody = 65534;
// Far beyond korvel's longest wait (10 s for the start signal): a run still
// going after this hangs.
constexpr double kRunLimit = 60;

// What a chip that is loaded at the first try receives: one 0x00, the 0x55,
// the program length (high byte first) and the program.
Bytes LoadBytes() {
  Bytes bytes(4 + kWriteControlProgramSize);
  bytes[0] = 0x00;
  bytes[1] = 0x55;
  bytes[2] = static_cast<std::uint8_t>(kWriteControlProgramSize >> 8);
  bytes[3] = static_cast<std::uint8_t>(kWriteControlProgramSize & 0xFF);
  std::copy(kWriteControlProgram, kWriteControlProgram + kWriteControlProgramSize, bytes.begin() + 4);
  return bytes;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string Tail(const std::string& text) { return text.substr(text.size() - std::min<std::size_t>(text.size(), 400)); }

// Ended by itself, exit code 0, no signal, and "Fail" as the final report.
void ExpectFailed(const ProcessResult& run, double limit = kRunLimit) {
  EXPECT_FALSE(run.timedOut) << "still running after " << limit << " s";
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(EndsWith(run.out, ExpectedFail())) << Tail(run.out);
  EXPECT_EQ(run.out.find("Success"), std::string::npos) << Tail(run.out);
}

ProcessResult RunKorvel(const std::string& device, const std::string& file, int uid = -1, double limit = kRunLimit) {
  ProcessOptions options;
  options.timeoutSeconds = limit;
  options.runAsUid = uid;
  return RunProcess(KorvelPath(), {device, file}, options);
}

std::string WithBadChecksum(std::string record) {
  record.back() = record.back() == '0' ? '1' : '0';
  return record;
}

// A chip in boot mode that loads cleanly; the started program takes records.
struct LoadingChip {
  LoadingChip() : chip(Options()) {}
  BootChip::Options Options() {
    BootChip::Options options;
    options.afterStart = BootChip::kStartLine;
    options.running = [this](BootChip& c, std::uint8_t byte) { records.Take(c.Peer(), byte); };
    return options;
  }
  RecordChip records;
  BootChip chip;
};

// A line whose far end writes '#' as fast as the pty takes it, from before
// korvel opens it until the end; what korvel sends is kept.
class FloodedLine {
 public:
  FloodedLine() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    char name[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0)
      throw std::runtime_error("no pty");
    path_ = name;
    keeper_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    tcgetattr(keeper_, &tio);
    cfmakeraw(&tio);
    tcsetattr(keeper_, TCSANOW, &tio);
    thread_ = std::thread([this] { Flood(); });
  }
  ~FloodedLine() {
    stop_ = true;
    thread_.join();
    close(keeper_);
    close(master_);
  }
  const std::string& DevicePath() const { return path_; }
  Bytes Received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

 private:
  void Flood() {
    const std::string junk(4096, '#');
    std::uint8_t buffer[256];
    while (!stop_) {
      (void)!write(master_, junk.data(), junk.size());
      for (ssize_t n; (n = read(master_, buffer, sizeof buffer)) > 0;) {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.insert(received_.end(), buffer, buffer + n);
      }
      pollfd p{master_, POLLIN | POLLOUT, 0};
      poll(&p, 1, 1);
    }
  }

  int master_ = -1, keeper_ = -1;
  std::string path_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  Bytes received_;
  std::thread thread_;
};

}  // namespace

// The program file is opened only once the chip is loaded; each of these is
// refused right after the start line, before any record goes out.
TEST(BadInput, ProgramFilesRefusedAfterTheLoad) {
  TempFolder folder;
  ASSERT_EQ(chmod(folder.Path("").c_str(), 0755), 0);  // nobody may look in; only a file's own mode stops it
  const std::string record = MakeRecord(1, 0x0100, Pattern(16, 1));
  const std::string locked = folder.Write("locked.mot", CrLfFile({record}));
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  const std::string dir = folder.Path("folder.mot");
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  // 50 MB of good records, all within the flash, and a bad one last: the
  // whole file is checked before the first record is sent.
  std::string block;
  for (unsigned i = 0; i < 256; ++i) block += MakeRecord(1, i * 16, Pattern(16, i)) + "\r\n";
  const std::size_t copies = 50'000'000 / block.size() + 1;
  const std::string huge = folder.Path("huge.mot");
  {
    std::ofstream out(huge, std::ios::binary);
    for (std::size_t i = 0; i < copies; ++i) out << block;
    out << WithBadChecksum(record) << "\r\n";
  }
  const std::string oneLine = folder.Write("oneline.mot", "S2" + std::string(4998, 'A') + "\r\n");
  const std::string afterLong =
      folder.Write("afterlong.mot", CrLfFile({MakeRecord(0, 0, {'h'}), "; " + std::string(4998, '-'), WithBadChecksum(record)}));
  const std::string missing = folder.Path("missing.mot");

  struct Case {
    const char* what;
    std::string file;
    std::string shown;  // right after the start line
    int uid = -1;
    bool longDevicePath = false;
  };
  const std::vector<Case> cases = {
      {"a folder", dir, "File not Found...[" + dir + "]\r\n"},
      {"a file its user may not read", locked, "File not Found...[" + locked + "]\r\n", kNobody},
      {"50 MB, the last record bad", huge, "Record error line " + std::to_string(copies * 256 + 1) + ": checksum\r\n"},
      {"one line of 5000 characters", oneLine, "Record error line 1: too long\r\n"},
      {"a bad record after a line of 5000 characters", afterLong, "Record error line 3: checksum\r\n"},
      {"a device path of 3000 characters", missing, "File not Found...[" + missing + "]\r\n", -1, true},
  };
  std::vector<std::unique_ptr<LoadingChip>> chips;
  std::vector<std::string> devices;
  std::vector<std::future<ProcessResult>> runs;
  for (const Case& c : cases) {
    chips.push_back(std::make_unique<LoadingChip>());
    BootChip& chip = chips.back()->chip;
    std::string device = chip.DevicePath();
    if (c.longDevicePath) {  // the same pty, through 1500 "./"
      std::string detour = "/";
      for (int i = 0; i < 1500; ++i) detour += "./";
      device = detour + device.substr(1);
    }
    if (c.uid >= 0) {
      ASSERT_EQ(chmod(chip.DevicePath().c_str(), 0666), 0);
    }
    devices.push_back(device);
    chip.Start();
    runs.push_back(std::async(std::launch::async, [&c, device] { return RunKorvel(device, c.file, c.uid); }));
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    const ProcessResult run = runs[i].get();
    ExpectFailed(run);
    EXPECT_EQ(WithoutSummary(run.err, "Fail"), "");  // the port opened, for nobody as well
    const std::string console = NormaliseBuildStamp(run.out);
    EXPECT_EQ(console.rfind(ExpectedBanner(devices[i], cases[i].file), 0), 0u) << console.substr(0, 400);
    EXPECT_NE(console.find("WAIT H3048 response...OK\r\n\a[START]\r\n" + cases[i].shown), std::string::npos)
        << Tail(console);
    EXPECT_EQ(chips[i]->chip.Received(), LoadBytes()) << "bytes sent after the load";
    EXPECT_TRUE(chips[i]->records.Records().empty());
  }
}

// A file with no whole record in it is not a program that was written: the
// flash does not hold it, so the run must not end in "Success".
TEST(BadInput, FilesWithoutWholeRecordsAreNoSuccess) {
  TempFolder folder;
  std::mt19937 random(3048);
  std::string noise(64 * 1024, '\0');
  for (char& b : noise) b = static_cast<char>(random() & 0xFF);
  const std::string binary = folder.Write("image.bin", noise);
  // Six NULs over the head of the second record, as a file damaged on its
  // way to the disk: its data can no longer be told.
  const std::string first = MakeRecord(1, 0x0100, {1, 2, 3, 4}), second = MakeRecord(1, 0x0110, {5, 6, 7, 8});
  const std::string damaged = folder.Write(
      "damaged.mot", first + "\r\n" + std::string(6, '\0') + second.substr(6) + "\r\n" + MakeRecord(9, 0) + "\r\n");

  LoadingChip binaryChip, damagedChip;
  binaryChip.chip.Start();
  damagedChip.chip.Start();
  auto binaryRun = std::async(std::launch::async, [&] { return RunKorvel(binaryChip.chip.DevicePath(), binary); });
  auto damagedRun = std::async(std::launch::async, [&] { return RunKorvel(damagedChip.chip.DevicePath(), damaged); });
  {
    SCOPED_TRACE("64 KB of random bytes");
    const ProcessResult run = binaryRun.get();
    ExpectFailed(run);
    // A Ctrl-Z comes before the first NUL in these bytes: the text is empty.
    EXPECT_NE(run.out.find("[START]\r\nNo data records in file...[" + binary + "]\r\n"), std::string::npos)
        << Tail(run.out);
    EXPECT_EQ(binaryChip.chip.Received(), LoadBytes()) << "bytes of a binary file were sent as records";
  }
  {
    SCOPED_TRACE("a record file with NULs over a record's head");
    const ProcessResult run = damagedRun.get();
    ExpectFailed(run);
    EXPECT_NE(run.out.find("[START]\r\nRecord error line 2: NUL byte\r\n"), std::string::npos) << Tail(run.out);
    EXPECT_EQ(damagedChip.chip.Received(), LoadBytes()) << "no record of a damaged file goes out";
  }
}

// A line that another korvel is using, and a file name too long for its
// buffer: refused, and nothing sent on either line. (Devices that are no
// serial port are in the app tests.)
TEST(BadInput, PortsThatAreNoChip) {
  // A line another korvel has open: it holds it through its ten tries.
  PtyPeer held;
  held.Start();
  BackgroundProcess owner(KorvelPath(), {held.DevicePath(), "app.mot"});
  ASSERT_TRUE(held.WaitForReceived(1, 10000));

  // The same line for a second korvel: refused, and it sends nothing.
  auto second = std::async(std::launch::async, [&] { return RunKorvel(held.DevicePath(), "app.mot"); });
  // A file name of 5000 characters: refused before the line is used at all.
  PtyPeer quiet;
  quiet.Start();
  auto longFile = std::async(std::launch::async, [&] { return RunKorvel(quiet.DevicePath(), std::string(5000, 'f')); });

  {
    SCOPED_TRACE("the second korvel");
    const ProcessResult run = second.get();
    ExpectFailed(run);
    EXPECT_EQ(WithoutSummary(run.err, "Fail"), "korvel: cannot open " + held.DevicePath() + ": the port is in use by another program\n");
    EXPECT_EQ(NormaliseBuildStamp(run.out), ExpectedBanner(held.DevicePath(), "app.mot") + ExpectedSilentBoard());
  }
  {
    SCOPED_TRACE("the korvel that holds the line");
    const ProcessResult run = owner.Wait(kRunLimit);
    ExpectFailed(run);
    EXPECT_EQ(WithoutSummary(run.err, "Fail"), "");
    EXPECT_EQ(held.Received(), Bytes(10, 0x00)) << "the second korvel sent something";
  }
  {
    SCOPED_TRACE("a file name of 5000 characters");
    const ProcessResult run = longFile.get();
    ExpectFailed(run);
    const std::string banner = ExpectedBanner(quiet.DevicePath(), "");
    EXPECT_EQ(NormaliseBuildStamp(run.out), banner.substr(0, banner.rfind("Program MOT Filename=")) +
                                                "Program MOT Filename too long: 5000 characters, at most 527" +
                                                ExpectedFail());
    quiet.Stop();
    EXPECT_TRUE(quiet.Received().empty());
  }
}

// The board is switched off or unplugged: its end of the line closes, and
// every later read and write of korvel's fails.
TEST(BadInput, BoardVanishesInTheMiddleOfARun) {
  // During the load: the scripted chip hangs up after 300 program bytes.
  BootChip loading;
  loading.Start();
  auto loadRun = std::async(std::launch::async, [&] { return RunKorvel(loading.DevicePath(), "app.mot"); });
  ASSERT_TRUE(loading.WaitForReceived(4 + 300, 30000));
  loading.Peer().Hangup();

  // During the records: h8board killed once it has programmed one.
  TempFolder folder;
  Lines lines;
  for (std::uint32_t i = 0; i < 2000; ++i) lines.push_back(MakeRecord(2, i * 16, Pattern(16, i)));
  lines.push_back(MakeRecord(8, 0));
  const std::string file = folder.Write("many.mot", CrLfFile(lines));
  BackgroundProcess board(H8BOARD_EXECUTABLE, {"--timeout", "120"});
  const std::string pty = board.ReadLine(10);
  ASSERT_EQ(pty.rfind("/dev/pts/", 0), 0u) << pty;
  BackgroundProcess korvel(KorvelPath(), {pty, file});
  std::string shown;
  while (shown.find(":OK:U") == std::string::npos) {
    const std::string line = korvel.ReadLine(30);
    if (line.empty()) break;
    shown += line + "\n";
  }
  ASSERT_NE(shown.find(":OK:U"), std::string::npos) << Tail(shown);
  board.Kill(SIGKILL);
  board.Wait(10);
  ProcessResult recordRun = korvel.Wait(kRunLimit);
  recordRun.out = shown + recordRun.out;
  {
    SCOPED_TRACE("gone during the records");
    ExpectFailed(recordRun);
    EXPECT_TRUE(EndsWith(recordRun.out, ":NG\r\n" + ExpectedFail())) << Tail(recordRun.out);
    EXPECT_EQ(recordRun.out.find("[COMPLETE]"), std::string::npos);
  }
  {
    SCOPED_TRACE("gone during the load");
    const ProcessResult run = loadRun.get();
    ExpectFailed(run);
    // The echo that did not come, at its position; then no start signal.
    std::smatch found;
    ASSERT_TRUE(std::regex_search(run.out, found,
                                  std::regex("\\.NG([0-9a-f]{4})\r\n\r\nWAIT H3048 response\\.\\.\\.NG\a\r\n\r\nFail\r\n\a$")))
        << Tail(run.out);
    EXPECT_GE(std::stoul(found[1].str(), nullptr, 16), 299u);
    EXPECT_EQ(run.out.find("[START]"), std::string::npos);
  }
}

TEST(BadInput, FloodedLine) {
  // Flooded from before korvel opens the port: each try reads one '#', so
  // the run is over at once; 20 s is four times its ten tries of 500 ms.
  // Three lines at once: on a busy machine the pty then seldom lets the
  // receive queue run empty, which is what a flood at USB speed does.
  constexpr double kFloodLimit = 20;
  std::vector<std::unique_ptr<FloodedLine>> flooded;
  std::vector<std::future<ProcessResult>> floodRuns;
  for (int i = 0; i < 3; ++i) {
    flooded.push_back(std::make_unique<FloodedLine>());
    const std::string device = flooded.back()->DevicePath();
    floodRuns.push_back(std::async(std::launch::async, [device] { return RunKorvel(device, "app.mot", -1, kFloodLimit); }));
  }

  // The started program sends '#' at about the 9600 bit/s the line carries,
  // instead of its start line and the answers.
  TempFolder folder;
  const Lines lines = {MakeRecord(1, 0x0100, Pattern(16, 1)), MakeRecord(1, 0x0110, Pattern(16, 2)), MakeRecord(9, 0)};
  const std::string file = folder.Write("three.mot", CrLfFile(lines));
  BootChip::Options options;
  options.startSignalDelayMs = 0;
  BootChip chatty(options);
  chatty.Start();
  std::atomic<bool> done{false};
  std::thread chatter([&] {
    if (!chatty.WaitForReceived(LoadBytes().size(), 30000)) return;
    std::this_thread::sleep_for(100ms);  // the start signal goes first
    while (!done) {
      chatty.Send(std::string(10, '#'));
      std::this_thread::sleep_for(10ms);
    }
  });
  const ProcessResult chattyRun = RunKorvel(chatty.DevicePath(), file);
  done = true;
  chatter.join();
  std::string tries;
  for (int i = 0; i < 10; ++i) tries += ".D 23 00";
  for (std::size_t i = 0; i < floodRuns.size(); ++i) {
    SCOPED_TRACE("flooded from the start, line " + std::to_string(i));
    const ProcessResult run = floodRuns[i].get();
    ExpectFailed(run, kFloodLimit);
    EXPECT_EQ(NormaliseBuildStamp(run.out),
              ExpectedBanner(flooded[i]->DevicePath(), "app.mot") + "WAIT H3048 Boot mode..." + tries + ExpectedFail());
    EXPECT_EQ(flooded[i]->Received(), Bytes(10, 0x00)) << "sent after the failed synchronisation";
  }
  {
    SCOPED_TRACE("flooded by the started program");
    ExpectFailed(chattyRun);
    const std::string head = "WAIT H3048 response...OK\r\n\aProgram H3048...\r\n" + lines[0] + ":NG #";
    const std::size_t at = chattyRun.out.find(head);
    ASSERT_NE(at, std::string::npos) << Tail(chattyRun.out);
    EXPECT_TRUE(std::regex_match(chattyRun.out.substr(at + head.size()), std::regex("#*\r\n\r\nFail\r\n\a")))
        << Tail(chattyRun.out);
    Bytes expected = LoadBytes();
    expected.insert(expected.end(), lines[0].begin(), lines[0].end());
    EXPECT_EQ(chatty.Received(), expected) << "sent after the refused record";
  }
}
