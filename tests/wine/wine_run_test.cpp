// korvel.exe under Wine against the virtual board, beside the Linux build:
// the same console, the same flash, COM10, a missing port, and a boot load
// that takes each echo when it comes, as on Linux.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <regex>

#include "expected_console.h"
#include "subprocess.h"
#include "transfer_test_files.h"

namespace fs = std::filesystem;

namespace {

std::string FindExecutable(std::initializer_list<const char*> candidates) {
  for (const char* candidate : candidates)
    if (access(candidate, X_OK) == 0) return candidate;
  return "";
}

std::string FindWine() { return FindExecutable({"/usr/lib/wine/wine64", "/usr/bin/wine64", "/usr/bin/wine"}); }
// Debian's wine64 package has no /usr/bin/wineserver.
std::string WineServer() { return FindExecutable({"/usr/lib/wine/wineserver", "/usr/bin/wineserver"}); }

// Settings lines name the port differently on the two builds.
std::string WithoutChannel(const std::string& console) {
  return std::regex_replace(NormaliseBuildStamp(console), std::regex("RS CH=[^,]*,"), "RS CH=#,");
}

struct BoardRun {
  ProcessResult host;
  ProcessResult board;
  std::string flash;
};

class WineRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    wine_ = FindWine();
    if (wine_.empty() || access(KORVEL_WINDOWS_EXE, R_OK) != 0) return;
    char pattern[] = "/tmp/korvel-wine-XXXXXX";
    work_ = mkdtemp(pattern);
    prefix_ = work_ + "/prefix";
    // Sample files, the same for both builds, named relative to the work folder.
    ProcessResult made = RunProcess("/bin/sh", {SourcePath("tools/make_sample_records.sh"), work_}, 120);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    ProcessResult boot = Wine({"wineboot", "-i"}, 300);
    ASSERT_EQ(boot.exitCode, 0) << boot.err;
    ready_ = true;
  }
  static void TearDownTestSuite() {
    if (work_.empty()) return;
    RunProcess(WineServer(), {"-k"}, 30);  // only our prefix's server: WINEPREFIX picks it
    std::error_code ignored;
    fs::remove_all(work_, ignored);
  }
  void SetUp() override {
    if (wine_.empty()) GTEST_SKIP() << "Wine is not installed (package wine64)";
    if (!ready_) GTEST_SKIP() << "no korvel.exe at " << KORVEL_WINDOWS_EXE << " (build the Windows cross build first)";
  }

  static std::vector<std::string> Environment() {
    return {"WINEPREFIX=" + prefix_, "WINEDLLOVERRIDES=mscoree,mshtml=", "WINEDEBUG=-all"};
  }
  static ProcessResult Wine(const std::vector<std::string>& args, double timeout) {
    ProcessOptions options;
    options.timeoutSeconds = timeout;
    options.environment = Environment();
    options.workingDirectory = work_;
    return RunProcess(wine_, args, options);
  }
  static ProcessResult WineServerWait() {
    ProcessOptions options;
    options.timeoutSeconds = 60;
    options.environment = Environment();
    return RunProcess(WineServer(), {"-w"}, options);
  }
  static void MapPort(int number, const std::string& device, bool reload = true) {
    const ProcessResult added = Wine({"reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", "COM" + std::to_string(number),
                                      "/t", "REG_SZ", "/d", device, "/f"},
                                     60);
    ASSERT_EQ(added.exitCode, 0) << added.out << added.err;
    // Wine announces its COM ports (SERIALCOMM) as its device manager
    // starts: the next wine process reads the ports afresh.
    if (reload) WineServerWait();
  }

  // One run of korvel (Linux, or korvel.exe on COM<port> when port > 0)
  // against a fresh virtual board.
  static BoardRun RunAgainstBoard(int port, const std::string& file) {
    const std::string flash = work_ + "/flash.bin";
    fs::remove(flash);
    BackgroundProcess board(H8BOARD_EXECUTABLE, {"--out", flash, "--timeout", "300"});
    const std::string pty = board.ReadLine(10);
    BoardRun run;
    if (pty.empty()) return run;
    if (port > 0) {
      MapPort(port, pty);
      run.host = Wine({KORVEL_WINDOWS_EXE, std::to_string(port), file}, 300);
    } else {
      ProcessOptions options;
      options.timeoutSeconds = 300;
      options.workingDirectory = work_;
      run.host = RunProcess(KorvelPath(), {pty, file}, options);
    }
    run.board = board.Wait(30);
    run.flash = ReadWholeFile(flash);
    return run;
  }

  static double LoadSeconds(const ProcessResult& run) {
    return run.SecondsUntil("WAIT H3048 response...") - run.SecondsUntil("Transfer...");
  }

  static std::string Expected(const std::string& file) {
    const std::string bin = work_ + "/expected.bin";
    RunProcess("/usr/bin/srec_cat", {work_ + "/" + file, "-fill", "0xFF", "0", "0x20000", "-o", bin, "-binary"}, 60);
    return ReadWholeFile(bin);
  }

  inline static std::string wine_, work_, prefix_;
  inline static bool ready_ = false;
};

}  // namespace

TEST_F(WineRun, SameConsoleSameFlashAndAsFastAsLinux) {
  const std::string file = "random32k_s1_32.mot";
  const std::string expected = Expected(file);
  ASSERT_EQ(expected.size(), 0x20000u);

  const BoardRun linuxRun = RunAgainstBoard(0, file);
  const BoardRun windowsRun = RunAgainstBoard(1, file);
  ASSERT_FALSE(windowsRun.host.timedOut);
  EXPECT_EQ(windowsRun.host.exitCode, 0);
  EXPECT_EQ(windowsRun.host.out.find("\r\r\n"), std::string::npos);
  EXPECT_NE(windowsRun.host.out.find("<<< KORVEL [WINDOWS] Ver0.3 >>>\r\n"), std::string::npos);
  EXPECT_NE(windowsRun.host.out.find("RS CH=1,9600,N81N\r\n"), std::string::npos);
  EXPECT_EQ(WithoutChannel(windowsRun.host.out), WithoutChannel(linuxRun.host.out));
  EXPECT_EQ(windowsRun.host.out.substr(windowsRun.host.out.size() - 12), "\r\nSuccess\r\n\a");
  EXPECT_TRUE(windowsRun.flash == expected) << "the flash differs from " << file;
  EXPECT_TRUE(linuxRun.flash == expected);

  const double linuxLoad = LoadSeconds(linuxRun.host), windowsLoad = LoadSeconds(windowsRun.host);
  std::cout << "boot load: Linux " << linuxLoad << " s, Windows under Wine " << windowsLoad << " s, ratio "
            << windowsLoad / linuxLoad << "\n"
            << "whole run: Linux " << linuxRun.host.seconds << " s, Windows under Wine " << windowsRun.host.seconds
            << " s\n";
  RecordProperty("linux_load_seconds", std::to_string(linuxLoad));
  RecordProperty("windows_load_seconds", std::to_string(windowsLoad));
  EXPECT_GT(linuxLoad, 0);
  // Each echo is taken when it comes, not at the next poll: Wine may add its
  // own overhead, but far less than the 5 ms a poll would cost (839 echoes).
  EXPECT_LE(windowsLoad, linuxLoad + 839 * 0.002) << "echoes under Wine are taken late";
}

TEST_F(WineRun, Com10AndAPortThatDoesNotExist) {
  const BoardRun com10 = RunAgainstBoard(10, "blink.mot");
  EXPECT_NE(com10.host.out.find("RS CH=10,9600,N81N\r\n"), std::string::npos);
  EXPECT_EQ(com10.host.out.substr(com10.host.out.size() - 12), "\r\nSuccess\r\n\a") << com10.host.out;
  EXPECT_TRUE(com10.flash == Expected("blink.mot"));

  // COM7 is mapped to nothing (and this machine has no /dev/ttyS6).
  const ProcessResult missing = Wine({KORVEL_WINDOWS_EXE, "7", "blink.mot"}, 120);
  EXPECT_EQ(missing.exitCode, 0);
  EXPECT_EQ(NormaliseBuildStamp(missing.out), ExpectedBanner("7", "blink.mot") + ExpectedSilentBoard());
  EXPECT_NE(missing.err.find("korvel: cannot open COM7"), std::string::npos) << missing.err;
}

TEST_F(WineRun, ListShowsTheMappedPorts) {
  MapPort(4, "/dev/null", false);
  MapPort(12, "/dev/korvel-no-such-port");  // Wine announces it all the same
  const ProcessResult list = Wine({KORVEL_WINDOWS_EXE, "--list"}, 60);
  EXPECT_EQ(list.exitCode, 0);
  EXPECT_NE(list.out.find("COM4 (port number 4, \\Device\\Serial3)\r\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("COM12 (\\\\.\\COM12, \\Device\\Serial11)\r\n"), std::string::npos) << list.out;
}
