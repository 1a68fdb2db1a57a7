// The moments the chip's bytes become the host's on a paced line, with and
// without a USB adapter holding them back: the paced board stays awake for these.
#include <gtest/gtest.h>

#include <vector>

#include "board_wire.h"

TEST(BoardWire, HandsBytesOverWhenTheyHaveCrossedOrTheAdapterLetsThemGo) {
  constexpr long long B = 1041667, L = 16000000, kNone = -1;  // ns: one character, the adapter's latency
  struct Step { long long atNs; bool transmit; std::size_t forHost; long long handoffNs; };
  const struct { unsigned latencyMs; std::vector<Step> steps; } cases[] = {
      {0, {{0, true, 0, B}, {B, false, 1, kNone}}},
      // The first byte waits in the adapter; the second crosses after (or before) the adapter lets it go.
      {16, {{0, true, 0, B}, {B, false, 0, B + L}, {16500000, true, 0, B + L}, {B + L, false, 1, 16500000 + B}}},
      {16, {{0, true, 0, B}, {B, false, 0, B + L}, {2000000, true, 0, 2000000 + B}}},
  };
  for (const auto& c : cases) {
    BoardWire::Time now{};
    BoardWire wire(true, [&now] { return now; }, c.latencyMs);
    for (const Step& s : c.steps) {
      SCOPED_TRACE(testing::Message() << "latency " << c.latencyMs << " ms, at " << s.atNs << " ns");
      now = BoardWire::Time(std::chrono::nanoseconds(s.atNs));
      if (s.transmit) wire.Transmit(0x55);
      EXPECT_EQ(wire.ForHost().size(), s.forHost);
      const auto handoff = wire.NextHandoff();
      EXPECT_EQ(handoff ? (*handoff - BoardWire::Time{}).count() : kNone, s.handoffNs);
    }
  }
}
