// The fast mode's pieces that a run cannot show one by one: the rate each
// crystal gets, the pulse code shared with the write-control program, and
// the frame's CRC.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "fast_link.h"
#include "fast_program.h"
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
  const unsigned char *image = kWriteControlProgram, *fast = kFastProgram;
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

TEST(FastLink, FrameLayoutAndCrc) {
  EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>("123456789"), 9), 0xCBF43926u);  // the CRC-32 check value
  const std::uint8_t data[] = {0xA5, 0x5A};
  const std::vector<std::uint8_t> frame = CommandFrame('W', 0x1F000, 2, data, 2);
  ASSERT_EQ(frame.size(), 13u);
  EXPECT_EQ(std::vector<std::uint8_t>(frame.begin(), frame.begin() + 9),
            (std::vector<std::uint8_t>{'W', 0x01, 0xF0, 0x00, 0x00, 0x00, 0x02, 0xA5, 0x5A}));
  EXPECT_EQ(frame[9] << 24 | frame[10] << 16 | frame[11] << 8 | frame[12], static_cast<int>(Crc32(frame.data(), 9)));
}

}  // namespace
