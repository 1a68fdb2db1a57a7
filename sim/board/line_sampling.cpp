#include "line_sampling.h"

#include <cmath>
#include <limits>

namespace {

constexpr double kThreshold = 0.5;
constexpr double kForever = std::numeric_limits<double>::infinity();

// Calls f(s0, s1, level, tau) for each stretch of constant level from the
// first character on (the line high before it and after the last; a gap
// settles with the low-pass of the character before it), until f returns
// true.
template <typename Chars, typename F>
void ForEachStretch(const Chars& chars, F f) {
  double at = chars.empty() ? 0 : chars.front().start;
  double tau = 0;
  for (const auto& c : chars) {
    if (c.start > at && f(at, c.start, 1.0, tau)) return;
    tau = c.tau;
    for (int j = 0; j < 10; ++j) {
      const double s0 = c.start + j * c.bit;
      if (f(s0, s0 + c.bit, static_cast<double>((c.frame >> j) & 1), tau)) return;
    }
    at = c.start + 10 * c.bit;
  }
  f(at, kForever, 1.0, tau);
}

}  // namespace

double LineSampler::Relax(double v, double u, double dt, double tau) {
  if (dt <= 0) return v;
  if (tau <= 0) return u;
  return u + (v - u) * std::exp(-dt / tau);
}

void LineSampler::Send(double start, double bitNs, std::uint8_t byte) {
  // Half a bit at the limit to reach half the swing: exp(-T / (2 tau)) = 1/2.
  const double limitBit = limit_ > 0 ? 1e9 / limit_ : 0;
  const double tau = bitNs < limitBit ? limitBit / (2 * std::log(2.0)) : 0;
  // Such a driver does not get back to the idle level in time: the stop bit stays low.
  const std::uint16_t stop = tau > 0 ? 0 : 0x200;
  chars_.push_back({start, bitNs, static_cast<std::uint16_t>(stop | byte << 1), tau});
  takeHunt_.reset();
  peeked_.reset();
}

double LineSampler::Level(double t) const {
  double v = 1;
  // At the very moment of a change, the new level.
  ForEachStretch(chars_, [&](double s0, double s1, double u, double tau) {
    if (s0 > t) return true;
    v = tau > 0 ? Relax(v, u, std::min(s1, t) - s0, tau) : u;
    return s1 > t;
  });
  return v;
}

std::optional<double> LineSampler::FallingEdge(double from) const {
  double v = 1;
  bool armed = false;  // the line has been high since from
  std::optional<double> edge;
  ForEachStretch(chars_, [&](double s0, double s1, double u, double tau) {
    if (s1 <= from) {
      v = Relax(v, u, s1 - s0, tau);
      return false;
    }
    const double a = std::max(s0, from);
    const double va = Relax(v, u, a - s0, tau);
    v = Relax(va, u, s1 - a, tau);
    if (va >= kThreshold) armed = true;
    if (u > 0) {
      armed = armed || v >= kThreshold;
      return false;
    }
    if (!armed || va < kThreshold) return false;
    const double crossing = a + tau * std::log(va / kThreshold);  // a itself without the low-pass
    if (crossing >= s1) return false;
    edge = crossing;
    return true;
  });
  return edge;
}

std::optional<LineSampler::Character> LineSampler::Peek(double bitNs) {
  if (!peeked_ || peekedBit_ != bitNs) {
    peeked_ = Read(bitNs);
    peekedBit_ = bitNs;
  }
  return *peeked_;
}

std::optional<LineSampler::Character> LineSampler::Read(double bitNs) {
  for (double from = huntFrom_;;) {
    const std::optional<double> edge = FallingEdge(from);
    if (!edge) return std::nullopt;
    if (bitNs <= 0) bitNs = BitAt(*edge);
    const double sample0 = *edge + bitNs / 2;
    if (Level(sample0) >= kThreshold) {  // a glitch, not a start bit
      from = sample0;
      continue;
    }
    Character c{*edge + 10 * bitNs, 0, false};
    for (int j = 1; j <= 8; ++j)
      if (Level(sample0 + j * bitNs) >= kThreshold) c.byte |= static_cast<std::uint8_t>(1u << (j - 1));
    c.framingError = Level(sample0 + 9 * bitNs) < kThreshold;
    takeHunt_ = sample0 + 9 * bitNs;
    return c;
  }
}

double LineSampler::BitAt(double t) const {
  for (const Sent& c : chars_)
    if (t < c.start + 10 * c.bit) return c.bit;
  return chars_.empty() ? 1 : chars_.back().bit;
}

void LineSampler::Take() {
  if (!takeHunt_) return;
  huntFrom_ = *takeHunt_;
  takeHunt_.reset();
  peeked_.reset();
  // Characters wholly before the hunt no longer matter (a filtered line
  // keeps the one before, whose stop bit it still remembers).
  while (chars_.size() > 1 && chars_[1].start + 10 * chars_[1].bit <= huntFrom_) {
    end_ = chars_.front().start + 10 * chars_.front().bit;
    chars_.pop_front();
  }
  if (!chars_.empty() && chars_.front().tau <= 0 && chars_.front().start + 10 * chars_.front().bit <= huntFrom_) {
    end_ = chars_.front().start + 10 * chars_.front().bit;
    chars_.pop_front();
  }
}

std::vector<LineSampler::Character> LineSampler::Alone(std::uint8_t byte, double sendBitNs, double receiveBitNs,
                                                       double maxRate) {
  LineSampler line;
  line.SetLimit(maxRate);
  line.Send(0, sendBitNs, byte);
  std::vector<Character> read;
  while (const std::optional<Character> c = line.Peek(receiveBitNs)) {
    read.push_back(*c);
    line.Take();
  }
  return read;
}
