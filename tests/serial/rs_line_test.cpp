// RsGetLine's line rules and the Rs time-outs over the fuzz targets' fake
// line on a virtual clock, however the bytes trickle in.
#include <gtest/gtest.h>

#include "fake_serial_platform.h"
#include "rs.h"
#include "serial_contract.h"

namespace {

void Arrive(const std::string& bytes) {
  g_fakeLine = FakeLine{};
  g_fakeLine.incoming.assign(bytes.begin(), bytes.end());
  RsInit();
  ASSERT_EQ(RsOpen(0, 5, 1, 0, 0), 1);
}

TEST(RsLine, GetLineRules) {
  const std::string a81(81, 'a');
  const struct { std::string input; int max, result; std::string line; int leftOver; } cases[] = {
      {"A\nB\r", 80, 1, "AB", 0},           {"XY\x02" "AB\x03", 80, 1, "AB", 0},  {a81.substr(1) + "\r", 80, 1, a81.substr(1), 0},
      {a81 + "\r", 80, 0, a81.substr(1), 0}, {a81 + "\x02OK\r", 80, 1, "OK", 0}, {"[START]\r\nU", 80, 1, "[START]", 2},
      {"A\r", 0, 0, "", 0},                  {"\x80\xff\r", 80, 1, "\x80\xff", 0}, {"AB", 80, 0, "AB", 0},
  };
  for (const auto& c : cases) {
    Arrive(c.input);
    std::vector<char> buffer(static_cast<std::size_t>(c.max) + 1, '#');
    EXPECT_EQ(RsGetLine(0, buffer.data(), c.max, 200), c.result) << c.input;
    EXPECT_EQ(std::string(buffer.data()), c.line) << c.input;
    EXPECT_EQ(RsRxCount(0), c.leftOver) << c.input;
  }
}

TEST(RsLine, WaitsFlushAndClosedSlots) {
  Arrive(std::string(5000, 'x'));
  RsFlush(0);  // the bytes waiting and at most one receive queue more
  EXPECT_EQ(RsRxCount(0), 0);
  EXPECT_EQ(RsWaitRx(0, 0), 0);
  Arrive(std::string("\x00\x55", 2));
  EXPECT_EQ(RsGetc(0), 0x00);
  EXPECT_EQ(RsWaitRx(0, 500), 1);
  EXPECT_EQ(g_fakeLine.sleptMs, 0u);
  EXPECT_EQ(RsClose(0), 1);
  const unsigned char two[] = {'A', 'B'};
  EXPECT_EQ(RsPutc(0, 'x') + RsPuts(0, "AB") + RsWrite(0, two, 2) + RsGetc(0) + RsRxCount(0) + RsClose(0) +
                RsSetRts(0, 1), 0);
  const std::uint64_t closedAt = g_fakeLine.nowUs;  // a closed slot waits out its whole time-out
  EXPECT_EQ(RsWaitRx(0, 500), 0);
  EXPECT_EQ(g_fakeLine.nowUs - closedAt, 505000u);
}

// bytes: 'z' every gapUs (the first after one gap), then a CR when withCr.
void OpenWithBytes(int count, std::uint64_t gapUs, bool withCr) {
  g_fakeLine = FakeLine{};
  for (int i = 0; i < count + (withCr ? 1 : 0); ++i) {
    g_fakeLine.incoming.push_back(i == count ? '\r' : 'z');
    g_fakeLine.arrivesAtUs.push_back((i + 1) * gapUs);
  }
  RsInit();
  ASSERT_EQ(RsOpen(0, 5, 1, 0, 0), 1);
}

// RsGetLine's idle budget is idle time however the bytes trickle; RsWaitRx
// gives up after its periods and takes a late byte at once.
TEST(RsWaitVirtual, WaitsCountIdleTimeOnTheVirtualClock) {
  struct { unsigned ms; int count; std::uint64_t gapUs; bool withCr; int result; std::uint64_t endUs; } const cases[] = {
      {1000, 0, 0, false, 0, 1010000},      // nothing comes: 101 x 10 ms
      {1000, 5000, 500, false, 0, 1010000},  // a byte every 0.5 ms: still 1010 ms idle
      {1000, 100, 40000, false, 0, 1010000}, {0, 3, 2000, true, 1, 8000},
      {100, 500, 1042, false, 0, 110410},    // the wire's pace; the last wait is a whole ms
      {100, 50, 5000, false, 0, 110000},     // 250 ms of gaps outlast 110 ms of budget
      {1000, 50, 15000, true, 1, 765000},    // the line ends inside the budget
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "ms " << c.ms << ", gap " << c.gapUs << " us");
    OpenWithBytes(c.count, c.gapUs, c.withCr);
    char buffer[81];
    EXPECT_EQ(RsGetLine(0, buffer, 80, c.ms), c.result);
    EXPECT_EQ(g_fakeLine.nowUs, c.endUs);
    RsClose(0);
  }
  struct { int ms; std::uint64_t arrivalUs; int result; std::uint64_t endUs; } const waits[] = {
      {0, 0, 0, 5000},     {4, 0, 0, 5000},         {5, 0, 0, 10000},   {500, 0, 0, 505000},
      {10000, 0, 0, 10005000}, {500, 2083, 1, 2083}, {0, 4999, 1, 4999}, {500, 505001, 0, 505000},
  };
  for (const auto& c : waits) {
    SCOPED_TRACE(testing::Message() << "ms " << c.ms << ", byte at " << c.arrivalUs << " us");
    OpenWithBytes(c.arrivalUs != 0 ? 1 : 0, c.arrivalUs, false);  // arrivalUs 0: nothing comes
    EXPECT_EQ(RsWaitRx(0, c.ms), c.result);
    EXPECT_EQ(g_fakeLine.nowUs, c.endUs);
    EXPECT_EQ(RsRxCount(0), c.result);  // nothing consumed
    RsClose(0);
  }
}

TEST(SerialContract, FakeLine) {  // a fake line cannot vanish: it stays silent
  g_fakeLine = FakeLine{};
  EXPECT_EQ(CheckSerialContract("fake", [] {
              if (g_fakeLine.outgoing == std::vector<std::uint8_t>{0x00, 0x55}) g_fakeLine.incoming = {0x00, 0xAA};
            }), "");
}

}  // namespace
