// Line reception: STX restarts, CR/ETX end, LF is ignored, overflow and
// the idle budget.
#include "serial_fixture.h"

namespace {

struct LineCase {
  const char* name;
  std::string input;
  int max;
  int result;
  std::string line;   // buffer contents up to the terminating zero
  int leftOver;       // bytes still waiting afterwards
};

std::string Repeat(char c, int n) { return std::string(static_cast<std::size_t>(n), c); }

}  // namespace

TEST_F(SerialPortTest, GetLineCases) {
  peer_.Start();
  OpenAt9600();
  const LineCase cases[] = {
      {"plain", "AB\r", 80, 1, "AB", 0},
      {"LF inside is ignored", "A\nB\r", 80, 1, "AB", 0},
      {"STX restarts, ETX ends", "XY\x02" "AB\x03", 80, 1, "AB", 0},
      {"exactly max fits", Repeat('a', 80) + "\r", 80, 1, Repeat('a', 80), 0},
      {"one over max overflows", Repeat('b', 81) + "\r", 80, 0, Repeat('b', 80), 0},
      {"STX ends an overflow", Repeat('c', 81) + "\x02OK\r", 80, 1, "OK", 0},
      {"CR then LF: LF stays queued", "\r\n", 80, 1, "", 1},
      {"reads nothing past the CR", "[START]\r\nU", 80, 1, "[START]", 2},
      {"max 0, empty line", "\r", 0, 1, "", 0},
      {"max 0, any character overflows", "A\r", 0, 0, "", 0},
      {"high bytes are characters", "\x80\xff\r", 80, 1, "\x80\xff", 0},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    RsFlush(kPort);
    ArriveAll(c.input);
    std::vector<char> buffer(static_cast<std::size_t>(c.max) + 1, '#');
    EXPECT_EQ(RsGetLine(kPort, buffer.data(), c.max, 1000), c.result);
    EXPECT_EQ(std::string(buffer.data()), c.line);
    EXPECT_EQ(RsRxCount(kPort), c.leftOver);
  }
}

TEST_F(SerialPortTest, GetLineKeepsANulAsACharacter) {
  peer_.Start();
  OpenAt9600();
  ArriveAll(Bytes{'A', 0x00, 'B', '\r'});
  char buffer[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(RsGetLine(kPort, buffer, 3, 1000), 1);
  EXPECT_EQ(buffer[0], 'A');
  EXPECT_EQ(buffer[1], '\0');
  EXPECT_EQ(buffer[2], 'B');
  EXPECT_EQ(buffer[3], '\0');
}

TEST_F(SerialPortTest, GetLineTimesOutWithWhatCame) {
  peer_.Start();
  OpenAt9600();
  ArriveAll("AB");
  char buffer[81];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RsGetLine(kPort, buffer, 80, 200), 0);
  const double ms = MillisecondsSince(start);
  EXPECT_STREQ(buffer, "AB");
  EXPECT_GE(ms, 190);
  EXPECT_LT(ms, 1000);
}

TEST_F(SerialPortTest, GetLineIdleBudgetIsNotRestoredByArrivingBytes) {
  // A byte every 40 ms, never a line end: 100 ms of budget (11 empty
  // polls) runs out after a few gaps, not after the stream ends.
  peer_.Start();
  OpenAt9600();
  for (int i = 0; i < 60; ++i) peer_.Send(Bytes{'z'}, 40 * i);
  char buffer[81];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RsGetLine(kPort, buffer, 80, 100), 0);
  const double ms = MillisecondsSince(start);
  EXPECT_GE(ms, 100);
  EXPECT_LT(ms, 1200);  // the stream itself lasts 2.4 s
  EXPECT_GE(std::string(buffer).size(), 1u);
}
