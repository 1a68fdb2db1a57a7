// Opening, configuring and closing port slots.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "rs_port_table.h"
#include "serial_fixture.h"

TEST_F(SerialPortTest, OpensAt9600EightNoneOneOnARawLine) {
  OpenAt9600();
  const termios tio = peer_.LineSettings();
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B9600));
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_NE(tio.c_cflag & CREAD, 0u);
  EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
  // A transparent 8-bit path: nothing echoed, translated or interpreted.
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST(SerialLineTables, IndexesSelectTheLineSettings) {
  using serial_platform::Parity;
  using serial_platform::StopBits;
  const long rates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 76800, 115200, 230400};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(RsLineSettings(i, 1, 0, 0).bitRate, rates[i]) << "index " << i;
  EXPECT_EQ(RsLineSettings(5, 0, 0, 0).dataBits, 7);  // the index is not the number of bits
  EXPECT_EQ(RsLineSettings(5, 1, 0, 0).dataBits, 8);
  EXPECT_EQ(RsLineSettings(5, 1, 1, 0).parity, Parity::Odd);
  EXPECT_EQ(RsLineSettings(5, 1, 2, 0).parity, Parity::Even);
  EXPECT_EQ(RsLineSettings(5, 1, 0, 1).stopBits, StopBits::OneAndHalf);
  EXPECT_EQ(RsLineSettings(5, 1, 0, 2).stopBits, StopBits::Two);
}

TEST_F(SerialPortTest, OtherBitRatesAndStopBitsReachTheLine) {
  // A pty keeps the bit rate and stop bits it is given (it ignores the
  // character size and parity, so those are checked above).
  struct Case {
    int bitRate, stopBits;
    speed_t speed;
    tcflag_t stopFlag;
  };
  const Case cases[] = {{0, 2, B300, CSTOPB}, {6, 0, B19200, 0}, {11, 0, B230400, 0}};
  for (const Case& c : cases) {
    ASSERT_EQ(RsOpen(kPort, c.bitRate, 1, 0, c.stopBits), 1) << RsOpenFailure(kPort);
    const termios tio = peer_.LineSettings();
    EXPECT_EQ(cfgetospeed(&tio), c.speed) << "bit-rate index " << c.bitRate;
    EXPECT_EQ(tio.c_cflag & CSTOPB, c.stopFlag);
    ASSERT_EQ(RsClose(kPort), 1);
  }
}

TEST_F(SerialPortTest, SettingsTheLineCannotTakeLeaveTheSlotClosed) {
  // termios has neither 76800 bit/s nor 1.5 stop bits.
  EXPECT_EQ(RsOpen(kPort, 9, 1, 0, 0), 0);
  EXPECT_NE(RsOpenFailure(kPort).find("76800"), std::string::npos) << RsOpenFailure(kPort);
  EXPECT_EQ(RsOpen(kPort, 5, 1, 0, 1), 0);
  EXPECT_NE(RsOpenFailure(kPort).find("1.5 stop bits"), std::string::npos);
  EXPECT_EQ(RsClose(kPort), 0);
  // The device was released: it opens normally afterwards.
  OpenAt9600();
}

TEST_F(SerialPortTest, CloseOnlyClosesAnOpenSlot) {
  EXPECT_EQ(RsClose(kPort), 0);
  OpenAt9600();
  EXPECT_EQ(RsClose(kPort), 1);
  EXPECT_EQ(RsClose(kPort), 0);
}

TEST_F(SerialPortTest, AMissingDeviceDoesNotOpenAndSaysWhy) {
  RsSetDeviceName(kPort, "/dev/korvel-no-such-port");
  EXPECT_EQ(RsOpen(kPort, 5, 1, 0, 0), 0);
  EXPECT_EQ(RsOpenFailure(kPort), "cannot open /dev/korvel-no-such-port: No such file or directory");
  EXPECT_EQ(RsClose(kPort), 0);
}

TEST_F(SerialPortTest, AFileThatIsNotATerminalIsRefused) {
  char path[] = "/tmp/korvel-not-a-port-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  RsSetDeviceName(kPort, path);
  EXPECT_EQ(RsOpen(kPort, 5, 1, 0, 0), 0);
  EXPECT_NE(RsOpenFailure(kPort).find("not a serial port"), std::string::npos) << RsOpenFailure(kPort);
  close(fd);
  unlink(path);
}

TEST_F(SerialPortTest, ASecondOpenerOfTheSameLineIsRefused) {
  OpenAt9600();
  constexpr int kOther = 4;
  RsSetDeviceName(kOther, peer_.DevicePath());
  EXPECT_EQ(RsOpen(kOther, 5, 1, 0, 0), 0);
  EXPECT_NE(RsOpenFailure(kOther).find("in use by another program"), std::string::npos) << RsOpenFailure(kOther);
  RsSetDeviceName(kOther, "");
  // Once we let go, the line is free again.
  ASSERT_EQ(RsClose(kPort), 1);
  OpenAt9600();
}

TEST_F(SerialPortTest, FailingControlLinesDoNotFailTheOpen) {
  // A pty has no modem lines: raising RTS and DTR fails, the open holds.
  OpenAt9600();
  EXPECT_EQ(RsSetRts(kPort, 1), 0);
  EXPECT_EQ(RsSetDtr(kPort, 2), 0);
  EXPECT_EQ(RsPutc(kPort, 'x'), 1);
}

TEST_F(SerialPortTest, EveryOperationOnASlotThatIsNotOpenFails) {
  char line[8] = "junk";
  EXPECT_EQ(RsPutc(kPort, 'A'), 0);
  EXPECT_EQ(RsGetc(kPort), 0);
  EXPECT_EQ(RsRxCount(kPort), 0);
  EXPECT_EQ(RsSetRts(kPort, 1), 0);
  EXPECT_EQ(RsSetDtr(kPort, 1), 0);
  EXPECT_EQ(RsPuts(kPort, ""), 1);
  EXPECT_EQ(RsPuts(kPort, "AB"), 0);
  RsFlush(kPort);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RsWaitRx(kPort, 100), 0);
  EXPECT_GE(MillisecondsSince(start), 95);
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(RsGetLine(kPort, line, 7, 100), 0);
  EXPECT_GE(MillisecondsSince(start), 95);
  EXPECT_STREQ(line, "");
  EXPECT_TRUE(peer_.Received().empty());
}
