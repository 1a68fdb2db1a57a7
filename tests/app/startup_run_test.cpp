// The start-up frame of a run, through the real executable and in process.
#include <gtest/gtest.h>

#include "console.h"
#include "expected_console.h"
#include "pty_peer.h"
#include "rs.h"
#include "run_settings.h"
#include "startup.h"
#include "subprocess.h"

TEST(StartupRun, SilentLineShowsBannerAndSettingsThenTenTries) {
  PtyPeer peer;
  termios seen{};
  bool sampled = false;
  peer.Start([&](PtyPeer& p, std::uint8_t, std::size_t index) {
    if (index == 0) {
      seen = p.LineSettings();  // as korvel left the line while it has it open
      sampled = true;
    }
  });
  const std::string name(kFileNameRoom - 1, 'n');  // the longest name that fits, shown whole
  const ProcessResult run = RunProcess(KorvelPath(), {peer.DevicePath(), name}, 30);
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(NormaliseBuildStamp(run.out), ExpectedBanner(peer.DevicePath(), name) + ExpectedSilentBoard());
  EXPECT_EQ(WithoutSummary(run.err, "Fail"), "");
  EXPECT_EQ(peer.Received(), Bytes(10, 0x00));
  EXPECT_GT(run.seconds, 4.5);  // ten tries of 500 ms
  EXPECT_LT(run.seconds, 15);
  ASSERT_TRUE(sampled);
  EXPECT_EQ(cfgetospeed(&seen), static_cast<speed_t>(B9600));
  EXPECT_EQ(seen.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(seen.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(seen.c_oflag & OPOST, 0u);
}

TEST(StartupRun, ANameTooLongForItsBufferStopsBeforeThePortIsUsed) {
  PtyPeer peer;
  peer.Start();
  const std::string name(kFileNameRoom, 'n');
  const ProcessResult run = RunProcess(KorvelPath(), {peer.DevicePath(), name}, 30);
  EXPECT_EQ(run.exitCode, 0);
  const std::string banner = ExpectedBanner(peer.DevicePath(), "");
  const std::string head = banner.substr(0, banner.rfind("Program MOT Filename="));
  EXPECT_EQ(NormaliseBuildStamp(run.out),
            head + "Program MOT Filename too long: 528 characters, at most 527" + ExpectedFail());
  EXPECT_LT(run.seconds, 3);
  peer.Stop();
  EXPECT_TRUE(peer.Received().empty());
}

TEST(StartupRun, PortNumberAndDefaultFileName) {
  // Port 10 is COM10 / ttyS9; point that slot at a device that does not
  // exist so the run touches no real port.
  std::string console;
  SetConsoleSink([&](const char* bytes, std::size_t size) { console.append(bytes, size); });
  RsSetDeviceName(9, "/dev/korvel-no-such-port");
  char arg0[] = "korvel", arg1[] = "10";
  char* argv[] = {arg0, arg1, nullptr};
  testing::internal::CaptureStderr();
  Initialize(2, argv);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(g_runSettings.portIndex, 9);
  EXPECT_STREQ(g_runSettings.programFileName, "H3048.MOT");
  EXPECT_EQ(err, "korvel: cannot open /dev/korvel-no-such-port: No such file or directory\n");
  ::Run();
  Terminate();
  SetConsoleSink(nullptr);
  RsSetDeviceName(9, "");
  EXPECT_EQ(NormaliseBuildStamp(console), ExpectedBanner("10", "H3048.MOT") + ExpectedSilentBoard());
}
