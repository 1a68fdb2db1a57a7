#include "fast_rates.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kBootStep = 32.0 * kBootRate;  // Hz per BRR step at 9600 bit/s

// The rates above 9600 with a B-constant in Linux's termios and a place in
// Wine's rate list: what a driver or an emulation that knows only a list
// of rates can still be set to. Tried first on each BRR.
constexpr long kStandardRates[] = {1000000, 921600, 576000, 500000, 460800, 230400, 115200, 57600, 38400, 19200};

// The rate SCI1 runs at with brr at clock hz (clock select 0): the SCI's
// asynchronous-mode relation B = phi / (64 x 2^(2n-1) x (N + 1)) with n = 0
// (SMR CKS1/CKS0 = 00), as the SCI sections of the H8 manuals give it, so
// phi/32 at N = 0. (The H8/3048 manual's own table of it was not at hand;
// its boot-mode section gives the boot program's alignment, Table 18-13.)
double RateAt(double hz, int brr) { return hz / (32.0 * (brr + 1)); }

// Crystals in common use from the lowest clock the boot program aligns to
// 9600 bit/s at, 8 MHz, to the chip's top, 16 MHz (the manual's Table 18-13):
// the round ones and those that divide to the standard bit rates.
constexpr double kCommonCrystals[] = {8e6, 9.8304e6, 10e6, 11.0592e6, 12e6, 12.288e6, 14.7456e6, 16e6};

}  // namespace

double ClockFromBootBrr(int bootBrr) { return kBootStep * (bootBrr + 1); }

double CommonCrystal(int bootBrr) {
  const double estimate = ClockFromBootBrr(bootBrr);
  double nearest = 0;
  for (const double crystal : kCommonCrystals) {
    // The boot program rounds: the clocks from half a step below to half a step above.
    const bool stands = crystal >= estimate - kBootStep / 2 && crystal < estimate + kBootStep / 2;
    if (stands && (nearest == 0 || std::fabs(crystal - estimate) < std::fabs(nearest - estimate))) nearest = crystal;
  }
  return nearest;
}

ChipClock ClockOfBootBrr(int bootBrr) {
  return {kBootStep * (bootBrr + 0.5), ClockFromBootBrr(bootBrr), kBootStep * (bootBrr + 1.5)};
}

ChipClock GivenClock(double hz) { return {hz, hz, hz}; }

bool ClockFitsBootBrr(double hz, int bootBrr) {
  const ChipClock range = ClockOfBootBrr(bootBrr);
  return hz >= range.low && hz <= range.high;
}

int BrrForRate(const ChipClock& clock, long rate) {
  const long brr = std::lround(clock.hz / (32.0 * static_cast<double>(rate))) - 1;
  return brr >= 0 && brr <= 255 ? static_cast<int>(brr) : -1;
}

double WorstRateError(const ChipClock& clock, long rate) {
  const int brr = BrrForRate(clock, rate);
  if (brr < 0) return 1;
  const double r = static_cast<double>(rate);
  const double low = RateAt(clock.low, brr), high = RateAt(clock.high, brr);
  return std::max(std::fabs(low - r), std::fabs(high - r)) / r;
}

std::vector<LadderRate> RateLadder(const ChipClock& clock, long maxRate) {
  std::vector<LadderRate> ladder;
  for (int brr = 0; brr <= 255; ++brr) {
    long rate = std::lround(RateAt(clock.hz, brr));
    if (rate <= kBootRate) break;
    for (long standard : kStandardRates) {
      if (BrrForRate(clock, standard) == brr && WorstRateError(clock, standard) <= kMaxRateError) {
        rate = standard;
        break;
      }
    }
    if (rate <= maxRate && BrrForRate(clock, rate) == brr && WorstRateError(clock, rate) <= kMaxRateError)
      ladder.push_back({rate, brr});
  }
  return ladder;
}

bool IsMaxRate(long rate) { return rate >= kBootRate && rate <= kHighestRate; }

bool IsClockMhz(double mhz) { return mhz >= kLowestClockMhz && mhz <= kHighestClockMhz; }
