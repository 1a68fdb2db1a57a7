#include "board_wire.h"

#include <algorithm>
#include <cmath>

namespace {

double Ns(BoardWire::Time t) { return static_cast<double>(t.time_since_epoch().count()); }
// The first whole nanosecond at or after ns: a character due then has arrived.
BoardWire::Time At(double ns) {
  return BoardWire::Time(std::chrono::duration_cast<BoardWire::Clock::duration>(
      std::chrono::nanoseconds(static_cast<long long>(std::ceil(ns)))));
}

}  // namespace

BoardWire::BoardWire(bool paced, std::function<Time()> now, unsigned latencyMs)
    : paced_(paced), now_(std::move(now)), latency_(std::chrono::milliseconds(latencyMs)) {}

void BoardWire::SetBitTimes(std::function<double()> chipNs, std::function<double()> hostSendNs,
                            std::function<double()> hostReceiveNs) {
  chipBitNs_ = std::move(chipNs);
  hostBitNs_ = std::move(hostSendNs);
  hostReceiveNs_ = std::move(hostReceiveNs);
}

double BoardWire::Limit() const { return armed_ ? static_cast<double>(faults_.lineLimit) : 0; }

void BoardWire::ArmLineFaults() {
  armed_ = true;
  toChipLine_.SetLimit(Limit());
  toHostLine_.SetLimit(Limit());
}

std::uint8_t BoardWire::Noise(const std::map<std::size_t, std::uint8_t>& noise, std::size_t* count,
                              std::uint8_t byte) const {
  if (!armed_) return byte;
  const auto mask = noise.find(++*count);
  return mask == noise.end() ? byte : static_cast<std::uint8_t>(byte ^ mask->second);
}

void BoardWire::FromHost(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  ++hostActivity_;
  const Time now = now_();
  const double bit = HostBit();
  for (std::size_t i = 0; i < size; ++i) {
    if (paced_) {
      toChipLine_.Send(std::max(Ns(now), toChipLine_.End()), bit, data[i]);
    } else if (!chipAligned_) {
      toChip_.push_back({now, data[i]});
    } else {
      for (const LineSampler::Character& c : LineSampler::Alone(data[i], bit, ChipBit(), Limit()))
        toChip_.push_back({now, c.byte, c.framingError});
    }
  }
}

bool BoardWire::TakeArrived(Time at, std::uint8_t* byte, bool* framingError, Time* arrived) {
  Timed got{};
  if (paced_) {
    const std::optional<LineSampler::Character> c = toChipLine_.Peek(ChipReceiveBit());
    if (!c || c->due > Ns(at)) return false;
    toChipLine_.Take();
    got = {At(c->due), c->byte, c->framingError};
  } else {
    if (toChip_.empty()) return false;
    got = toChip_.front();
    toChip_.pop_front();
  }
  *byte = Noise(faults_.rxNoise, &received_, got.byte);
  if (framingError) *framingError = got.framingError;
  if (arrived) *arrived = paced_ ? got.due : at;
  return true;
}

bool BoardWire::TransmitterFree(Time at) const {
  if (!paced_) return forHost_.size() < kHostBacklogLimit;
  return at >= shifterFree_ && forHost_.size() < kHostBacklogLimit;
}

bool BoardWire::TransmitterIdle(Time at) const { return !paced_ || at >= shifterFree_; }

double BoardWire::TransmitBacklog(Time at) const {
  if (!paced_ || at >= shifterFree_) return 0;
  return std::chrono::duration<double, std::nano>(shifterFree_ - at).count() / (10 * ChipBit());
}

void BoardWire::Transmit(std::uint8_t byte) { Transmit(byte, now_()); }

void BoardWire::Transmit(std::uint8_t byte, Time readySince) {
  byte = Noise(faults_.txNoise, &sent_, byte);
  const double bit = ChipBit();
  if (paced_) {
    const double start = std::max(Ns(std::max(shifterFree_, readySince)), toHostLine_.End());
    toHostLine_.Send(start, bit, byte);
    shifterFree_ = At(start + 10 * bit);
    return;
  }
  const Time now = now_();
  for (const LineSampler::Character& c : LineSampler::Alone(byte, bit, HostReceiveBit(), Limit())) {
    if (onWire_.empty() && readySince <= now) {
      Crossed(c.byte, now);
    } else {
      onWire_.push_back({std::max(readySince, onWire_.empty() ? now : onWire_.back().due), c.byte});
    }
  }
}

void BoardWire::Crossed(std::uint8_t byte, Time at) {
  if (latency_ == Clock::duration::zero()) {
    forHost_.push_back(byte);
    return;
  }
  if (!held_.empty() && at >= heldSince_ + latency_) ReleaseHeld();
  if (held_.empty()) heldSince_ = at;
  held_.push_back(byte);
  if (held_.size() >= kAdapterPacketBytes) ReleaseHeld();
}

void BoardWire::ReleaseHeld() {
  forHost_.insert(forHost_.end(), held_.begin(), held_.end());
  held_.clear();
}

void BoardWire::Settle() {
  const Time now = now_();
  if (paced_) {
    for (std::optional<LineSampler::Character> c; (c = toHostLine_.Peek(HostReceiveBit())) && c->due <= Ns(now);) {
      toHostLine_.Take();
      Crossed(c->byte, At(c->due));
    }
  }
  while (!onWire_.empty() && onWire_.front().due <= now) {
    Crossed(onWire_.front().byte, onWire_.front().due);
    onWire_.pop_front();
  }
  if (!held_.empty() && now >= heldSince_ + latency_) ReleaseHeld();
}

const std::vector<std::uint8_t>& BoardWire::ForHost() {
  Settle();
  return forHost_;
}

void BoardWire::HandedToHost(std::size_t count) {
  if (count > 0) ++hostActivity_;
  forHost_.erase(forHost_.begin(), forHost_.begin() + static_cast<std::ptrdiff_t>(std::min(count, forHost_.size())));
}

std::optional<BoardWire::Time> BoardWire::NextEvent() {
  const Time now = now_();
  std::optional<Time> next;
  if (!paced_) {
    // Unpaced, only held-back bytes change by themselves; one due now counts.
    auto due = [&](Time t) {
      t = std::max(t, now);
      if (!next || t < *next) next = t;
    };
    if (!onWire_.empty()) due(onWire_.front().due);
    if (!held_.empty()) due(heldSince_ + latency_);
    return next;
  }
  auto consider = [&](Time t) {
    if (t > now && (!next || t < *next)) next = t;
  };
  if (const auto c = toChipLine_.Peek(ChipReceiveBit())) consider(At(c->due));
  if (const auto c = toHostLine_.Peek(HostReceiveBit())) consider(At(c->due));
  consider(shifterFree_);
  if (!held_.empty()) consider(heldSince_ + latency_);
  return next;
}

std::optional<BoardWire::Time> BoardWire::NextChipEvent(Time at) {
  if (!paced_) return std::nullopt;
  std::optional<Time> next;
  if (const auto c = toChipLine_.Peek(ChipReceiveBit()); c && At(c->due) > at) next = At(c->due);
  if (shifterFree_ > at && (!next || shifterFree_ < *next)) next = shifterFree_;
  return next;
}

std::optional<BoardWire::Time> BoardWire::NextHandoff() {
  std::optional<Time> next;
  if (paced_) {
    if (const auto c = toHostLine_.Peek(HostReceiveBit())) next = At(c->due);
  } else if (!onWire_.empty()) {
    next = onWire_.front().due;
  }
  if (!held_.empty() && (!next || heldSince_ + latency_ < *next)) next = heldSince_ + latency_;
  return next;
}
