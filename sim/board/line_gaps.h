// Bytes lost or held back on the line once the loaded program runs: a
// character the chip's receiver never sees, a character of the chip's that
// never reaches the host, an answer that leaves late. Counted as the
// line's noise is, from the first byte after the boot program's start
// signal (1-based), each direction on its own.
#ifndef KORVEL_SIM_LINE_GAPS_H
#define KORVEL_SIM_LINE_GAPS_H

#include <cstddef>
#include <map>
#include <set>

struct LineGaps {
  std::set<std::size_t> rxDrop;              // the Nth byte the chip receives is lost
  std::set<std::size_t> txDrop;              // the Nth byte the chip sends is lost
  std::map<std::size_t, unsigned> txLateMs;  // the Nth byte the chip sends leaves this much later; later ones wait behind it
};

// Counts the bytes of both directions and says what happens to each.
class LineGapCounter {
 public:
  explicit LineGapCounter(LineGaps gaps = {}) : gaps_(std::move(gaps)) {}

  // A byte has reached the chip: false when it is lost.
  bool PassReceived() { return gaps_.rxDrop.count(++received_) == 0; }
  // The chip sends a byte: false when it is lost; *lateMs how long it is
  // held back (0: not at all).
  bool PassSent(unsigned* lateMs) {
    const auto late = gaps_.txLateMs.find(++sent_);
    *lateMs = late == gaps_.txLateMs.end() ? 0 : late->second;
    return gaps_.txDrop.count(sent_) == 0;
  }

  std::size_t Received() const { return received_; }
  std::size_t Sent() const { return sent_; }

 private:
  LineGaps gaps_;
  std::size_t received_ = 0, sent_ = 0;
};

#endif
