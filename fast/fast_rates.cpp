#include "fast_rates.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kBootStep = 32.0 * kBootRate;  // Hz per BRR step at 9600 bit/s

// The rate SCI1 runs at with brr at clock hz (clock select 0).
double RateAt(double hz, int brr) { return hz / (32.0 * (brr + 1)); }

}  // namespace

double ClockFromBootBrr(int bootBrr) { return kBootStep * (bootBrr + 1); }

int BrrForRate(int bootBrr, long rate) {
  const long brr = std::lround(ClockFromBootBrr(bootBrr) / (32.0 * static_cast<double>(rate))) - 1;
  return brr >= 0 && brr <= 255 ? static_cast<int>(brr) : -1;
}

double WorstRateError(int bootBrr, long rate) {
  const int brr = BrrForRate(bootBrr, rate);
  if (brr < 0) return 1;
  const double r = static_cast<double>(rate);
  const double low = RateAt(kBootStep * (bootBrr + 0.5), brr), high = RateAt(kBootStep * (bootBrr + 1.5), brr);
  return std::max(std::fabs(low - r), std::fabs(high - r)) / r;
}

std::vector<long> RateLadder(int bootBrr, long maxRate) {
  std::vector<long> ladder;
  for (long rate : kFastRates) {
    if (rate <= maxRate && WorstRateError(bootBrr, rate) <= kMaxRateError) ladder.push_back(rate);
  }
  return ladder;
}

bool IsLadderRate(long rate) {
  return rate == kBootRate || std::find(std::begin(kFastRates), std::end(kFastRates), rate) != std::end(kFastRates);
}
