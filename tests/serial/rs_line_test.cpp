// RsGetLine's line rules and the polling budgets of the Rs operations, over
// the fuzz targets' fake line: bytes waiting at once, sleeps only counted.
#include <gtest/gtest.h>

#include "fake_serial_platform.h"
#include "rs.h"

namespace {

void Arrive(const std::string& bytes) {
  g_fakeLine = FakeLine{};
  g_fakeLine.incoming.assign(bytes.begin(), bytes.end());
  RsInit();
  ASSERT_EQ(RsOpen(0, 5, 1, 0, 0), 1);
}

TEST(RsLine, GetLineRules) {
  const std::string a81(81, 'a');
  const struct {
    std::string input;
    int max, result;
    std::string line;
    int leftOver;
  } cases[] = {
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
  EXPECT_EQ(g_fakeLine.sleptMs, 210u);  // the time-out: 200/10 + 1 empty queries of 10 ms
}

TEST(RsLine, WaitsFlushAndClosedSlots) {
  Arrive("");
  EXPECT_EQ(RsWaitRx(0, 500), 0);
  EXPECT_EQ(g_fakeLine.sleptMs, 505u);  // 500/5 + 1 queries of 5 ms
  Arrive(std::string(5000, 'x'));
  RsFlush(0);  // the bytes waiting and at most one receive queue more
  EXPECT_EQ(RsRxCount(0), 0);
  EXPECT_EQ(RsWaitRx(0, 0), 0);
  Arrive(std::string("\x00\x55", 2));
  EXPECT_EQ(RsGetc(0), 0x00);
  EXPECT_EQ(RsWaitRx(0, 500), 1);
  EXPECT_EQ(g_fakeLine.sleptMs, 0u);
  EXPECT_EQ(RsClose(0), 1);
  EXPECT_EQ(RsPutc(0, 'x') + RsGetc(0) + RsRxCount(0) + RsClose(0) + RsSetRts(0, 1), 0);
  EXPECT_EQ(RsPuts(0, ""), 1);
  EXPECT_TRUE(g_fakeLine.outgoing.empty());
}

}  // namespace
