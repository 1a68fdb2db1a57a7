// The fast mode's pieces that a run cannot show one by one: the rate each
// crystal gets, the pulse code shared with the write-control program, and
// the frame's CRC.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "fast_file.h"
#include "fast_link.h"
#include "fast_program.h"
#include "fast_rates.h"
#include "write_control_program.h"

namespace {

// The boot program's BRR at 9600 bit/s for a crystal.
int BootBrr(double mhz) { return static_cast<int>(mhz * 1e6 / (32 * 9600) + 0.5) - 1; }

// The chip's own rates, phi/32 first, a standard rate in place of the
// computed one where it falls within 2%, down to the last above 9600.
TEST(FastRates, ChipRatesFastestFirstForEachCrystalAndTheCrystalNamed) {
  struct Case { double mhz; long maxRate; long first; int firstBrr; std::size_t rungs; };  // first 0: no rung
  for (const Case& c : {Case{14.7456, kHighestRate, 460800, 0, 47}, Case{16, kHighestRate, 500000, 0, 51},
                        Case{18.432, kHighestRate, 576000, 0, 59}, Case{10, kHighestRate, 316800, 0, 32},
                        Case{25, kHighestRate, 777600, 0, 80}, Case{8, kHighestRate, 249600, 0, 25},
                        Case{14.7456, 115200, 115200, 3, 44}, Case{16, 125000, 124800, 3, 48},
                        Case{16, 19200, 19200, 25, 26}, Case{14.7456, 9600, 0, 0, 0}}) {
    const std::vector<LadderRate> ladder = RateLadder(ClockOfBootBrr(BootBrr(c.mhz)), c.maxRate);
    const std::string where = std::to_string(c.mhz) + " MHz, at most " + std::to_string(c.maxRate);
    ASSERT_EQ(ladder.size(), c.rungs) << where;
    if (ladder.empty()) continue;
    EXPECT_EQ(std::make_pair(ladder[0].rate, ladder[0].brr), std::make_pair(c.first, c.firstBrr)) << where;
    for (std::size_t i = 0; i < ladder.size(); ++i) {
      EXPECT_EQ(ladder[i].brr, c.firstBrr + static_cast<int>(i)) << where;  // every divider, none twice
      EXPECT_EQ(BrrForRate(ClockOfBootBrr(BootBrr(c.mhz)), ladder[i].rate), ladder[i].brr) << where;
      EXPECT_LE(WorstRateError(ClockOfBootBrr(BootBrr(c.mhz)), ladder[i].rate), kMaxRateError) << where;
      EXPECT_GT(ladder[i].rate, kBootRate) << where;
    }
  }
  EXPECT_EQ(BrrForRate(ClockOfBootBrr(BootBrr(16)), 38400), 12);
  EXPECT_NEAR(ClockFromBootBrr(BootBrr(14.7456)), 14.7456e6, 1);
  // Each common crystal is named again from the BRR it makes the boot program
  // choose (9.8304 and 10 MHz a step apart); a clock between them is not.
  for (const double mhz : {8.0, 9.8304, 10.0, 11.0592, 12.0, 12.288, 14.7456, 16.0, 8.5, 13.0, 15.5}) {
    const bool common = mhz != 8.5 && mhz != 13.0 && mhz != 15.5;
    EXPECT_NEAR(CommonCrystal(BootBrr(mhz)), common ? mhz * 1e6 : 0, 1) << mhz;
  }
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

// Runs of H'FF of at least 7 bytes are left out wherever they stand; a
// shorter run is sent with its neighbours. Every byte is still read back.
TEST(FastFile, ErasedRunsAreNotSent) {
  using Pieces = std::vector<std::pair<std::uint32_t, std::size_t>>;
  const std::vector<std::uint8_t> ff7(7, 0xFF), ff6(6, 0xFF);
  const auto join = [](std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  struct Case { std::vector<std::uint8_t> bytes; Pieces sent; };
  for (const Case& c : {Case{join({{1}, ff7, {2}}), {{0x100, 1}, {0x108, 1}}}, Case{join({{1}, ff6, {2}}), {{0x100, 8}}},
                        Case{join({ff7, {1}}), {{0x107, 1}}}, Case{join({{1, 2}, ff7, ff7}), {{0x100, 2}}},
                        Case{ff7, {}}, Case{join({{1}, ff6}), {{0x100, 7}}}}) {
    const FastFile file = FastFileOf({FlashPiece{0x100, c.bytes, 0, ""}}, 7);
    Pieces sent;
    std::size_t sentBytes = 0;
    for (const FlashRange& range : file.sent) sent.emplace_back(range.address, range.bytes.size()), sentBytes += range.bytes.size();
    EXPECT_EQ(sent, c.sent) << c.bytes.size() << " bytes";
    EXPECT_EQ(file.sentBytes, sentBytes);
    EXPECT_EQ(file.dataBytes, c.bytes.size());
  }
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
