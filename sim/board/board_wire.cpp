#include "board_wire.h"

#include <algorithm>

BoardWire::BoardWire(bool paced, std::function<Time()> now, unsigned latencyMs)
    : paced_(paced), now_(std::move(now)), latency_(std::chrono::milliseconds(latencyMs)) {}

void BoardWire::FromHost(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const Time now = now_();
  for (std::size_t i = 0; i < size; ++i) {
    Time due = now;
    if (paced_) {
      due = std::max(now, lastArrival_) + kByteTime;
      lastArrival_ = due;
    }
    toChip_.push_back({due, data[i]});
  }
}

bool BoardWire::HasArrived() const {
  if (toChip_.empty()) return false;
  return !paced_ || toChip_.front().due <= now_();
}

bool BoardWire::TakeArrived(std::uint8_t* byte) {
  if (!HasArrived()) return false;
  *byte = toChip_.front().byte;
  toChip_.pop_front();
  return true;
}

bool BoardWire::TransmitterFree() const {
  if (!paced_) return forHost_.size() < kHostBacklogLimit;
  return now_() >= shifterFree_ && forHost_.size() < kHostBacklogLimit;
}

bool BoardWire::TransmitterIdle() const { return !paced_ || now_() >= shifterFree_; }

void BoardWire::Transmit(std::uint8_t byte) { Transmit(byte, now_()); }

void BoardWire::Transmit(std::uint8_t byte, Time readySince) {
  if (!paced_) {
    const Time now = now_();
    if (onWire_.empty() && readySince <= now) {
      Crossed(byte, now);
    } else {
      onWire_.push_back({std::max(readySince, onWire_.empty() ? now : onWire_.back().due), byte});
    }
    return;
  }
  const Time start = std::max(shifterFree_, readySince);
  shifterFree_ = start + kByteTime;
  onWire_.push_back({shifterFree_, byte});
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
  forHost_.erase(forHost_.begin(), forHost_.begin() + static_cast<std::ptrdiff_t>(std::min(count, forHost_.size())));
}

std::optional<BoardWire::Time> BoardWire::NextEvent() const {
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
  if (!toChip_.empty()) consider(toChip_.front().due);
  if (!onWire_.empty()) consider(onWire_.front().due);
  consider(shifterFree_);
  if (!held_.empty()) consider(heldSince_ + latency_);
  return next;
}

std::optional<BoardWire::Time> BoardWire::NextHandoff() const {
  std::optional<Time> next;
  if (!onWire_.empty()) next = onWire_.front().due;
  if (!held_.empty() && (!next || heldSince_ + latency_ < *next)) next = heldSince_ + latency_;
  return next;
}
