// What only the platform shows: the real korvel on real pseudo-terminals.
// (The run table's executable rows show the raw 8N1 line and the banner.)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>

#include "expected_console.h"
#include "pty.h"
#include "pty_line.h"
#include "rs.h"
#include "run_notes.h"
#include "serial_contract.h"
#include "startup.h"
#include "subprocess.h"
#include "terminal_rates.h"
#include "transfer_test_files.h"

TEST(PortArgument, ReadsLikeADecimalStrtol) {
  const std::pair<const char*, int> cases[] = {
      {"1", 0},  {"10", 9},   {"3x", 2}, {"+4", 3}, {"007", 6},  {" \t\n\v\f\r5", 4}, {"0", 0},   {"11", 0},
      {"-2", 0}, {"COM3", 0}, {"x", 0},  {"", 0},   {"-0", 0},   {"+", 0},  {"9 7", 8}, {"99999999999999999999", 0}};
  for (const auto& [argument, index] : cases) EXPECT_EQ(PortIndexFromArgument(argument), index) << argument;
}

TEST(SerialContract, PosixOnAPty) {
  Pty pty;
  EXPECT_EQ(CheckSerialContract(pty.path, [&pty] { pty.ServeContract(); }), "");
}

// Any rate reaches the far end as it is (termios2), and a standard one set
// after it sets both directions again. Where no termios2 read is there (systems other than Linux),
// the board takes the rate from its B-constant: each as Linux's termios2 read gives it.
TEST(SerialRates, AnyRateAsTheBoardReadsIt) {
  Pty pty;
  serial_platform::Handle h = 0;
  std::string why;
  ASSERT_TRUE(serial_platform::Open(pty.path, {9600, 8, serial_platform::Parity::None, serial_platform::StopBits::One}, &h, &why));
  for (long rate : {316800L, 115200L, 499200L, 500000L, 9600L}) {
    long output = 0, input = 0;
    EXPECT_TRUE(serial_platform::SetBitRate(h, rate) && ReadTerminalRates(pty.master, &output, &input)) << rate;
    EXPECT_EQ(std::make_pair(output, input), std::make_pair(rate, rate)) << rate;  // sent and received
  }
  serial_platform::Close(h);
  for (const speed_t b : {B50, B75, B110, B134, B150, B200, B300, B600, B1200, B1800, B2400, B4800, B9600, B19200, B38400, B57600, B115200, B230400, B460800, B921600}) {
    termios tio{};
    long output = 0, input = 0;
    EXPECT_TRUE(cfsetospeed(&tio, b) == 0 && tcsetattr(pty.master, TCSANOW, &tio) == 0 && ReadTerminalRates(pty.master, &output, &input)) << b;
    const HostLine read = HostLineFromTermios(tio);
    EXPECT_EQ(std::make_pair(read.bitRate, read.receiveRate), std::make_pair(output, 0L));
  }
}

// Standard output is that of a board that never answers; standard error
// says why the port did not open. A second korvel on a line in use sends
// nothing on it.
TEST(Platform, ReasonsAPortDidNotOpenGoToStandardError) {
  TempFolder folder;
  const std::string regular = folder.Write("regular", ""), longName = "/dev/" + std::string(5000, 'p');
  std::future<ProcessResult> board;
  const std::string held = StartBoard({"--silent", "--timeout", "30"}, folder.Path("held"), &board);
  std::future<ProcessResult> owner = StartProcess(KorvelPath(), {held, "app.mot"}, {});
  usleep(500000);  // korvel opens the port first thing
  Pty forbidden;
  ASSERT_EQ(fchmod(forbidden.keeper, 0600), 0);
  const std::vector<std::tuple<std::string, std::string, int>> cases = {
      {"/dev/korvel-no-such-port", ": No such file or directory", -1}, {regular, ": not a serial port (Inappropriate ioctl for device)", -1},
      {"/tmp", ": Is a directory", -1}, {longName, ": File name too long", -1}, {held, ": the port is in use by another program", -1},
      {forbidden.path, ": Permission denied (is your user in the dialout group?)", 65534},  // nobody
  };
  std::vector<std::future<ProcessResult>> runs;
  for (const auto& [device, why, uid] : cases)
    runs.push_back(std::async(std::launch::async, [&, device = device, uid = uid] {
      return RunProcess(KorvelPath(), {device, "app.mot"}, 30, uid);
    }));
  const std::string noFile = "korvel: app.mot: No such file or directory; the chip will be loaded first and the run will fail\n";
  std::string silent = "WAIT H3048 Boot mode...";  // ten unanswered tries
  for (int i = 0; i < 10; ++i) silent += ".NG";
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& [device, why, uid] = cases[i];
    const ProcessResult run = runs[i].get();
    EXPECT_EQ(WithoutSummary(run.err, "Fail"), noFile + "korvel: cannot open " + device + why + "\n");
    EXPECT_EQ(NormaliseBuildStamp(run.out), ExpectedBanner(device, "app.mot") + silent + ExpectedFail()) << device;
  }
  EXPECT_EQ(WithoutSummary(owner.get().err, "Fail"), noFile + kNoSyncHint + "\n") << "its line opened";
  EXPECT_EQ(board.get().err.rfind("h8board: 0 bytes programmed", 0), 0u);
}

// A byte written just before the port closes still reaches the far end
// (on a pty, a flush at close throws it away about one time in three).
TEST(Platform, TheLastByteWrittenBeforeCloseArrives) {
  Pty pty;
  RsInit();
  RsSetDeviceName(3, pty.path);
  std::string received;
  for (std::size_t i = 1; i <= 40; ++i) {
    ASSERT_EQ(RsOpen(3, 5, 1, 0, 0), 1) << RsOpenFailure(3);
    ASSERT_EQ(RsPutc(3, 'U') + RsClose(3), 2);
    for (int wait = 0; wait < 100 && received.size() < i; ++wait, usleep(1000)) received += pty.Read();
    ASSERT_EQ(received, std::string(i, 'U')) << "lost at close " << i;
  }
  ASSERT_EQ(fchmod(pty.keeper, 0666), 0);  // closed, the port is no longer exclusive: any user may open it
  EXPECT_EQ(RunProcess("/bin/sh", {"-c", "exec 3<>" + pty.path}, 5, 65534).exitCode, 0);
}

// Flow control that another program left on the line is gone after open.
TEST(Platform, OpenClearsFlowControlLeftOnTheLine) {
  Pty pty;
  termios tio{};
  tcgetattr(pty.keeper, &tio);
  tio.c_iflag |= IXON | IXOFF | IXANY;
  tio.c_cflag |= CRTSCTS;
  ASSERT_EQ(tcsetattr(pty.keeper, TCSANOW, &tio) + tcgetattr(pty.keeper, &tio), 0);
  ASSERT_EQ(tio.c_cflag & CRTSCTS, static_cast<tcflag_t>(CRTSCTS));  // a pty keeps it
  RsInit();
  RsSetDeviceName(2, pty.path);
  ASSERT_EQ(RsOpen(2, 5, 1, 0, 0), 1) << RsOpenFailure(2);
  tcgetattr(pty.keeper, &tio);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY), 0u);
  EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
  RsClose(2);
}


// The board's terminal as a host finds it: the terminal's defaults, read as not raw, with XON/XOFF off; its
// settings read once until the board forgets them; flow control left on it as asked.
TEST(Platform, TheBoardsTerminalAsAHostFindsIt) {
  std::string why, notRaw;
  const auto line = PtyLine::Create(&why);
  termios tio{};
  ASSERT_TRUE(line && tcgetattr(line->MasterFd(), &tio) == 0) << why;
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY), 0u);
  EXPECT_EQ(line->ReadHostLine(&notRaw).bitRate, 38400);
  EXPECT_EQ(notRaw, "ICANON on, ECHO on, ISIG on, ICRNL on, OPOST on");
  cfmakeraw(&tio);
  tio.c_cflag |= CSTOPB;  // a pty keeps the stop bits, not 7 data bits or parity
  ASSERT_EQ(cfsetspeed(&tio, B2400) + tcsetattr(line->MasterFd(), TCSANOW, &tio), 0);
  EXPECT_FALSE(line->ReadHostLine().raw);  // as first read
  line->ForgetHostLine();
  const HostLine now = line->ReadHostLine(&notRaw);
  EXPECT_TRUE(now.raw && notRaw.empty() && now.bitRate == 2400 && now.stopBits == HostLine::StopBits::kTwo) << notRaw;
  ASSERT_TRUE(line->LeaveFlowControl({true, false, true}, &why) && tcgetattr(line->MasterFd(), &tio) == 0) << why;
  EXPECT_EQ(std::make_pair(tio.c_iflag & (IXON | IXOFF), tio.c_cflag & CRTSCTS), std::make_pair(tcflag_t{IXON}, tcflag_t{CRTSCTS}));
  // The frames a pty will not keep, read from settings: data bits, parity (none, odd, even), stop bits (one, 1.5, two).
  for (const auto& [cflag, read] : std::vector<std::pair<tcflag_t, std::string>>{{CS5 | PARENB, "5 2 0"}, {CS6 | PARENB | PARODD | CSTOPB, "6 1 2"}, {CS7, "7 0 0"}}) {
    tio.c_cflag = cflag;
    const HostLine frame = HostLineFromTermios(tio);
    EXPECT_EQ(std::to_string(frame.dataBits) + " " + std::to_string(int(frame.parity)) + " " + std::to_string(int(frame.stopBits)), read);
  }
}
