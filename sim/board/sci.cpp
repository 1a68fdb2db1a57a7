#include "sci.h"

namespace {
constexpr std::uint8_t kClearable = Sci::kTdre | Sci::kRdrf | Sci::kOrer | Sci::kFer | Sci::kPer;
}

Sci::Sci() = default;

std::uint8_t Sci::Read(int reg) {
  switch (reg) {
    case kSmr: return smr_;
    case kBrr: return brr_;
    case kScr: return scr_;
    case kTdr: return tdr_;
    case kSsr:
      readAsOne_ |= ssr_ & kClearable;
      if (changes_ == changesAtLastRead_) {
        ++unchangedReads_;
      } else {
        unchangedReads_ = 0;
        changesAtLastRead_ = changes_;
      }
      return ssr_;
    case kRdr: return rdr_;
    default: return 0xFF;
  }
}

void Sci::Write(int reg, std::uint8_t value) {
  Changed();
  switch (reg) {
    case kSmr: smr_ = value; break;
    case kBrr: brr_ = value; break;
    case kScr:
      scr_ = value;
      // Turning the transmitter off empties TDR as far as software can tell.
      if (!(scr_ & kTe)) ssr_ |= kTdre | kTend;
      break;
    case kTdr: tdr_ = value; break;
    case kSsr: {
      const std::uint8_t cleared = readAsOne_ & static_cast<std::uint8_t>(~value) & kClearable;
      ssr_ &= static_cast<std::uint8_t>(~cleared);
      readAsOne_ &= static_cast<std::uint8_t>(~cleared);
      if (cleared & kTdre) ssr_ &= static_cast<std::uint8_t>(~kTend);
      ssr_ = static_cast<std::uint8_t>((ssr_ & ~kMpbt) | (value & kMpbt));
      break;
    }
    default: break;  // RDR is read-only
  }
}

bool Sci::ReadyToReceive() const { return (scr_ & kRe) && !(ssr_ & kReceiveFlags); }

void Sci::ByteArrived(std::uint8_t byte, bool framingError, bool parityError) {
  if (!(scr_ & kRe) || (ssr_ & (kOrer | kFer | kPer))) return;
  Changed();
  auto set = [this](std::uint8_t flag) {
    ssr_ |= flag;
    readAsOne_ &= static_cast<std::uint8_t>(~flag);  // this 1 has not been read yet
  };
  if (ssr_ & kRdrf) {
    set(kOrer);
    return;
  }
  rdr_ = byte;
  if (framingError) set(kFer);
  if (parityError) set(kPer);
  if (!framingError && !parityError) set(kRdrf);
}

bool Sci::TransmitPending() const { return (scr_ & kTe) && !(ssr_ & kTdre); }

std::uint8_t Sci::StartTransmit() {
  Changed();
  ssr_ |= kTdre;
  ssr_ &= static_cast<std::uint8_t>(~kTend);
  readAsOne_ &= static_cast<std::uint8_t>(~kTdre);
  return tdr_;
}

void Sci::TransmitIdle() {
  if ((ssr_ & kTdre) && !(ssr_ & kTend)) {
    Changed();
    ssr_ |= kTend;
  }
}
