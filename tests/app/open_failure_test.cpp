// A port that does not open: standard error says why, standard output is
// exactly that of a board that never answers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <future>

#include "expected_console.h"
#include "pty_peer.h"
#include "subprocess.h"

namespace {

constexpr int kNobody = 65534;

struct Case {
  std::string device;
  std::string err;
  int uid = -1;
};

void ExpectSilentBoardRun(const Case& c, const ProcessResult& run) {
  SCOPED_TRACE(c.device);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(WithoutSummary(run.err, "Fail"), c.err);
  EXPECT_EQ(NormaliseBuildStamp(run.out), ExpectedBanner(c.device, "app.mot") + ExpectedSilentBoard());
}

}  // namespace

TEST(OpenFailure, EachReasonGoesToStandardErrorOnly) {
  char regular[] = "/tmp/korvel-regular-XXXXXX";
  const int file = mkstemp(regular);
  ASSERT_GE(file, 0);

  // A line held by another program: flock() and TIOCEXCL, as korvel itself
  // holds it.
  PtyPeer held;
  held.Start();
  const int holder = open(held.DevicePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);

  // TIOCEXCL alone stops an ordinary user (root passes it); the same user
  // meets a line it may not open at all.
  PtyPeer exclusive;
  exclusive.Start();
  ASSERT_EQ(chown(exclusive.DevicePath().c_str(), kNobody, kNobody), 0);
  const int exclusiveHolder = open(exclusive.DevicePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(ioctl(exclusiveHolder, TIOCEXCL), 0);
  PtyPeer forbidden;
  forbidden.Start();
  ASSERT_EQ(chmod(forbidden.DevicePath().c_str(), 0600), 0);

  const std::string longName = "/dev/" + std::string(5000, 'p');
  const std::string notSerial = ": not a serial port (Inappropriate ioctl for device)\n";
  const std::vector<Case> cases = {
      {"/dev/korvel-no-such-port", "korvel: cannot open /dev/korvel-no-such-port: No such file or directory\n"},
      {regular, std::string("korvel: cannot open ") + regular + notSerial},
      {"/dev/null", "korvel: cannot open /dev/null" + notSerial},
      {"/tmp", "korvel: cannot open /tmp: Is a directory\n"},
      {longName, "korvel: cannot open " + longName + ": File name too long\n"},
      {held.DevicePath(), "korvel: cannot open " + held.DevicePath() + ": the port is in use by another program\n"},
      {exclusive.DevicePath(),
       "korvel: cannot open " + exclusive.DevicePath() +
           ": Device or resource busy (the port is in use by another program)\n",
       kNobody},
      {forbidden.DevicePath(),
       "korvel: cannot open " + forbidden.DevicePath() + ": Permission denied (is your user in the dialout group?)\n",
       kNobody},
  };
  std::vector<std::future<ProcessResult>> runs;
  for (const Case& c : cases)
    runs.push_back(std::async(std::launch::async, [c] { return RunProcess(KorvelPath(), {c.device, "app.mot"}, 30, c.uid); }));
  for (std::size_t i = 0; i < cases.size(); ++i) ExpectSilentBoardRun(cases[i], runs[i].get());

  // Nothing reached the held lines.
  EXPECT_TRUE(held.Received().empty());
  EXPECT_TRUE(exclusive.Received().empty());
  close(holder);
  close(exclusiveHolder);
  close(file);
  unlink(regular);
}
