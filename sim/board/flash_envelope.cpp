#include "flash_envelope.h"

#include <cstdio>

#include "flash.h"

namespace {
long long Ns(BoardWire::Time from, BoardWire::Time to) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(to - from).count();
}
}  // namespace

void FlashEnvelope::Flag(Pulse& p, const std::string& what) {
  p.flags += (p.flags.empty() ? "" : ", ") + what;
  ++flags_;
}

void FlashEnvelope::Flmcr(std::uint8_t before, std::uint8_t after, Time now, std::optional<std::uint32_t> offset) {
  const auto rose = [&](std::uint8_t bit) { return !(before & bit) && (after & bit); };
  const auto fell = [&](std::uint8_t bit) { return (before & bit) && !(after & bit); };
  if (rose(FlashMemory::kVppe)) vppeOn_ = now;
  if (fell(FlashMemory::kVppe)) vppeOn_.reset();
  if ((after & FlashMemory::kVppe) && rose(FlashMemory::kP)) pulseOn_ = now;
  if (pulseOn_ && fell(FlashMemory::kP)) {
    Pulse p;
    p.offset = offset.value_or(0);
    p.lengthNs = Ns(*pulseOn_, now);
    p.vppeToPulseNs = vppeOn_ ? Ns(*vppeOn_, *pulseOn_) : 0;
    int& attempts = attempts_[p.offset];
    if (attempts < 0) Flag(p, "pulsed after it verified");
    p.attempt = attempts < 0 ? 0 : ++attempts;
    if (p.attempt > kMaxPulses) Flag(p, "pulse " + std::to_string(p.attempt) + " of at most 6");
    if (p.vppeToPulseNs < kVppeToPulseNs) Flag(p, "VPPE settle too short");
    const int doubling = p.attempt < 1 ? 0 : std::min(p.attempt, kMaxPulses) - 1;
    if (p.lengthNs > kFirstPulseMaxNs << doubling) Flag(p, "pulse too long");
    pulses_.push_back(p);
    pulseOpen_ = true;
    pulseOn_.reset();
    pulseOff_ = now;
  }
  if (rose(FlashMemory::kPv)) {
    verifyOn_ = now;
    if (pulseOpen_ && pulseOff_) {
      pulses_.back().pulseToVerifyNs = Ns(*pulseOff_, now);
      if (pulses_.back().pulseToVerifyNs < kPulseToVerifyNs) Flag(pulses_.back(), "program-verify too soon");
    }
  }
  if (fell(FlashMemory::kPv)) verifyOn_.reset();
}

void FlashEnvelope::VerifyRead(std::uint32_t offset, Time now, bool verified) {
  if (!verifyOn_ || !pulseOpen_ || pulses_.back().offset != offset) return;
  Pulse& p = pulses_.back();
  p.verifyToReadNs = Ns(*verifyOn_, now);
  if (p.verifyToReadNs < kVerifyToReadNs) Flag(p, "verifying read too soon");
  if (verified) attempts_[offset] = -1;
  pulseOpen_ = false;
}

void FlashEnvelope::Erased(unsigned ms) {
  attempts_.clear();
  erases_.emplace_back(pulses_.size(), ms);
}

std::string FlashEnvelope::Text() const {
  std::string text;
  char line[160];
  auto erase = erases_.begin();
  for (std::size_t n = 0; n <= pulses_.size(); ++n) {
    for (; erase != erases_.end() && erase->first == n; ++erase)
      text += "erase of every block by the boot program: " + std::to_string(erase->second) + " ms\n";
    if (n == pulses_.size()) break;
    const Pulse& p = pulses_[n];
    std::snprintf(line, sizeof line, "H'%05X pulse %d: %.2f us; VPPE->P %.2f us, P->PV %.2f us, PV->read %.2f us%s%s\n",
                  static_cast<unsigned>(p.offset), p.attempt, p.lengthNs / 1e3, p.vppeToPulseNs / 1e3,
                  p.pulseToVerifyNs / 1e3, p.verifyToReadNs / 1e3, p.flags.empty() ? "" : "; outside: ",
                  p.flags.c_str());
    text += line;
  }
  return text;
}
