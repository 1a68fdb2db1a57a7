// Byte transfer, the receive count and the polling wait.
#include "serial_fixture.h"

TEST_F(SerialPortTest, BytesGoOutInOrderAndUnchanged) {
  peer_.Start();
  OpenAt9600();
  EXPECT_EQ(RsPutc(kPort, 0x00), 1);
  EXPECT_EQ(RsPutc(kPort, 0xFF), 1);
  EXPECT_EQ(RsPuts(kPort, "S1\r\n\x1a"), 1);
  EXPECT_EQ(RsPuts(kPort, ""), 1);
  ASSERT_TRUE(peer_.WaitForReceived(7, 2000));
  RsSleep(20);
  EXPECT_EQ(peer_.Received(), (Bytes{0x00, 0xFF, 'S', '1', '\r', '\n', 0x1A}));
}

// A byte written just before the port closes still reaches the far end
// (on a pty, a flush at close throws it away about one time in three).
TEST_F(SerialPortTest, CloseRightAfterAWriteKeepsTheByte) {
  peer_.Start();
  for (std::size_t i = 1; i <= 40; ++i) {
    OpenAt9600();
    ASSERT_EQ(RsPutc(kPort, 0x55), 1);
    ASSERT_EQ(RsClose(kPort), 1);
    // Before the next open, whose flush would drop a byte still in flight.
    ASSERT_TRUE(peer_.WaitForReceived(i, 1000)) << "lost at close " << i;
  }
  EXPECT_EQ(peer_.Received(), Bytes(40, 0x55));
}

TEST_F(SerialPortTest, GetcTellsNeitherZeroFromNothingButCountDoes) {
  peer_.Start();
  OpenAt9600();
  EXPECT_EQ(RsRxCount(kPort), 0);
  EXPECT_EQ(RsGetc(kPort), 0);
  ArriveAll(Bytes{0x00, 0xAA, 0x80});
  EXPECT_EQ(RsGetc(kPort), 0x00);
  EXPECT_EQ(RsRxCount(kPort), 2);
  EXPECT_EQ(RsGetc(kPort), 0xAA);
  EXPECT_EQ(RsGetc(kPort), 0x80);  // high bytes come back unsigned
  EXPECT_EQ(RsRxCount(kPort), 0);
}

TEST_F(SerialPortTest, WaitRxReturnsAtOnceAndConsumesNothing) {
  peer_.Start();
  OpenAt9600();
  ArriveAll(Bytes{0x55});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RsWaitRx(kPort, 500), 1);
  EXPECT_LT(MillisecondsSince(start), 4);  // no sleep before the first query
  EXPECT_EQ(RsRxCount(kPort), 1);
  EXPECT_EQ(RsGetc(kPort), 0x55);
}

TEST_F(SerialPortTest, WaitRxTimesOutAfterItsPolls) {
  peer_.Start();
  OpenAt9600();
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RsWaitRx(kPort, 0), 0);  // one query and one 5 ms sleep
  double ms = MillisecondsSince(start);
  EXPECT_GE(ms, 4.5);
  EXPECT_LT(ms, 200);
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(RsWaitRx(kPort, 500), 0);
  ms = MillisecondsSince(start);
  EXPECT_GE(ms, 450);
  EXPECT_LT(ms, 1500);
}

TEST_F(SerialPortTest, WaitRxSeesALateByte) {
  peer_.Start();
  OpenAt9600();
  peer_.Send(Bytes{0x42}, 100);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RsWaitRx(kPort, 500), 1);
  const double ms = MillisecondsSince(start);
  EXPECT_GE(ms, 90);
  EXPECT_LT(ms, 450);
  EXPECT_EQ(RsGetc(kPort), 0x42);
}

TEST_F(SerialPortTest, FlushDropsEverythingWaiting) {
  peer_.Start();
  OpenAt9600();
  RsFlush(kPort);  // empty queue: returns at once
  ArriveAll(std::string(300, 'x'));
  RsFlush(kPort);
  EXPECT_EQ(RsRxCount(kPort), 0);
  ArriveAll(Bytes{0x07});
  EXPECT_EQ(RsGetc(kPort), 0x07);  // what comes later is kept
}

TEST_F(SerialPortTest, SleepZeroReturnsAtOnce) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 1000; ++i) RsSleep(0);
  EXPECT_LT(MillisecondsSince(start), 50);
  RsSleep(20);
  EXPECT_GE(MillisecondsSince(start), 19.5);
}

TEST_F(SerialPortTest, AVanishedLineFailsInsteadOfHanging) {
  peer_.Start();
  OpenAt9600();
  peer_.Hangup();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RsWaitRx(kPort, 100), 0);
  EXPECT_EQ(RsGetc(kPort), 0);
  for (int i = 0; i < 100; ++i) RsPutc(kPort, 'x');
  EXPECT_LT(MillisecondsSince(start), 2000);
}
