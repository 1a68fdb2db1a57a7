// The fast mode's pieces that a run cannot show one by one: the rate each
// crystal gets, the pulse code shared with the write-control program, the
// protocol's values on both ends, and the frame's CRC.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <string>

#include "fast_link.h"
#include "fast_program.h"
#include "fast_protocol.h"
#include "fast_rates.h"
#include "write_control_program.h"

namespace {

// The boot program's BRR at 9600 bit/s for a crystal.
int BootBrr(double mhz) { return static_cast<int>(mhz * 1e6 / (32 * 9600) + 0.5) - 1; }

TEST(FastRates, FastestRateWithinTwoPercentForEachCrystal) {
  struct Case { double mhz; long maxRate; long first; };  // first: 0 when only 9600 is left
  for (const Case& c : {Case{14.7456, 115200, 115200}, Case{16, 115200, 38400}, Case{18.432, 115200, 115200},
                        Case{10, 115200, 0}, Case{25, 115200, 38400}, Case{8, 115200, 19200},
                        Case{14.7456, 57600, 57600}, Case{16, 19200, 19200}, Case{14.7456, 9600, 0}}) {
    const std::vector<long> ladder = RateLadder(BootBrr(c.mhz), c.maxRate);
    EXPECT_EQ(ladder.empty() ? 0 : ladder[0], c.first) << c.mhz << " MHz, at most " << c.maxRate;
    for (long rate : ladder) EXPECT_LE(WorstRateError(BootBrr(c.mhz), rate), kMaxRateError);
  }
  EXPECT_EQ(BrrForRate(BootBrr(14.7456), 115200), 3);
  EXPECT_EQ(BrrForRate(BootBrr(16), 38400), 12);
  EXPECT_NEAR(ClockFromBootBrr(BootBrr(14.7456)), 14.7456e6, 1);
}

// Programming a byte and selecting its block are the write-control
// program's code byte for byte (image H'1D4 to H'323), but for the two
// branch displacements that its failure text's place changes (H'20B,
// H'267) and that failure path itself (H'272 to H'27D).
TEST(FastProgram, PulseCodeIsTheWriteControlProgramsOwn) {
  const unsigned char* image = kWriteControlProgram;
  const unsigned char* fast = kFastProgram;
  const unsigned char* found = std::search(fast, fast + kFastProgramSize, image + 0x1D4, image + 0x20B);
  ASSERT_NE(found, fast + kFastProgramSize);
  const std::ptrdiff_t at = found - fast - 0x1D4;  // fast = image + at, up to the failure path
  for (std::ptrdiff_t i = 0x1D4; i < 0x324; ++i) {
    if (i == 0x20B || i == 0x267 || (i >= 0x272 && i < 0x27E)) continue;
    const std::ptrdiff_t shift = i < 0x272 ? 0 : 10;  // the failure path is 10 bytes shorter
    EXPECT_EQ(fast[at + i - shift], image[i]) << std::hex << i;
  }
  EXPECT_LE(kFastProgramSize, 1024u);
}

// The program's equates and the host's names of its protocol give the
// same values: a change to one side alone fails here.
TEST(FastProgram, EquatesAreTheHostsProtocol) {
  std::ifstream source(KORVEL_SOURCE_DIR "/onchip/fast_program.s");
  std::map<std::string, long> equates;
  const std::regex equate(R"(^(\w+)\s*=\s*('(.)'|0x[0-9A-Fa-f]+|\d+))");
  for (std::string line; std::getline(source, line);)
    if (std::smatch m; std::regex_search(line, m, equate))
      equates[m[1]] = m[3].matched ? m[3].str()[0] : std::stol(m[2], nullptr, 0);
  using namespace fast_protocol;
  const std::pair<std::string, long> names[] = {
      {"CMD_HELLO", kHello}, {"CMD_WRITE", kWrite}, {"CMD_SUM", kSum}, {"CMD_RATE", kRate},
      {"ANS_HELLO", kHelloAnswer}, {"ANS_PROGRAMMED", kProgrammed}, {"ANS_NOT_VERIFIED", kNotVerified},
      {"ANS_OUTSIDE", kOutsideFlash}, {"ANS_SUM", kSumAnswer}, {"ANS_RATE", kRateAnswer}, {"ANS_BAD_FRAME", kBadFrame},
      {"HEAD", kFrameHead}, {"CRCLEN", kFrameCrc}, {"MAXDATA", kMaxData}, {"VERSION", kVersion}};
  for (const auto& [name, value] : names) EXPECT_EQ(equates.count(name) ? equates[name] : -1, value) << name;
}

TEST(FastLink, FrameLayoutAndCrc) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0xCBF43926u);
  const std::uint8_t data[] = {0xA5, 0x5A};
  const std::vector<std::uint8_t> frame = CommandFrame('W', 0x1F000, 2, data, 2);
  ASSERT_EQ(frame.size(), 13u);
  EXPECT_EQ(std::vector<std::uint8_t>(frame.begin(), frame.begin() + 9),
            (std::vector<std::uint8_t>{'W', 0x01, 0xF0, 0x00, 0x00, 0x00, 0x02, 0xA5, 0x5A}));
  const std::uint32_t crc = Crc32(frame.data(), 9);
  EXPECT_EQ(frame[9] << 24 | frame[10] << 16 | frame[11] << 8 | frame[12], static_cast<int>(crc));
}

}  // namespace
