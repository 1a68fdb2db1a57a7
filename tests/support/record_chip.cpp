#include "record_chip.h"

namespace {

const std::string kComplete = "[COMPLETE]\r\n";
const std::string kFail = "[FAIL]\r\n";
constexpr std::uint8_t kAccept = 0x55;
// The failure text goes on for ever on the chip; here for about a second,
// one copy in the time 9600 bit/s takes for its 8 characters.
constexpr int kFailCopies = 120;
constexpr int kFailCopyMs = 9;

// The chip's hex digit: no character is rejected.
unsigned DigitValue(std::uint8_t c) {
  std::uint8_t v = static_cast<std::uint8_t>(c - 0x30);
  if (v >= 10) v = static_cast<std::uint8_t>(v - 7);
  return v & 0x0Fu;
}

bool IsDataType(int type) { return type >= 1 && type <= 3; }
bool IsEndType(int type) { return type >= 7 && type <= 9; }

}  // namespace

RecordChip::RecordChip() : RecordChip(Behaviour{}) {}

RecordChip::RecordChip(Behaviour behaviour) : behaviour_(behaviour), flash_(kFlashSize, 0xFF) {}

void RecordChip::Announce(PtyPeer& peer, int delayMs) { peer.Send("[START]\r\n", delayMs); }

PtyPeer::Script RecordChip::Script() {
  return [this](PtyPeer& peer, std::uint8_t c, std::size_t) { Take(peer, c); };
}

void RecordChip::Take(PtyPeer& peer, std::uint8_t c) {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (phase_) {
    case Phase::kStopped:
    case Phase::kFailing:
    case Phase::kSwallow:
      return;
    case Phase::kWaitS:
      if (c == 'S') {
        record_ = "S";
        phase_ = Phase::kType;
      }
      return;
    case Phase::kType:
      record_ += static_cast<char>(c);
      type_ = static_cast<int>(DigitValue(c));
      if (type_ == 4 || type_ == 5 || type_ == 6 || type_ > 9) {
        SendComplete(peer, 0);
        return;
      }
      highDigit_ = -1;
      phase_ = Phase::kCount;
      return;
    default:
      record_ += static_cast<char>(c);
      if (highDigit_ < 0) {
        highDigit_ = static_cast<int>(DigitValue(c));
        return;
      }
      const unsigned value = static_cast<unsigned>(highDigit_) << 4 | DigitValue(c);
      highDigit_ = -1;
      TakeByte(peer, value);
  }
}

void RecordChip::TakeByte(PtyPeer& peer, unsigned value) {
  switch (phase_) {
    case Phase::kCount: {
      // The bytes before the data: the count byte alone for S0/S7/S8/S9
      // (their address is discarded with the rest), plus the address for
      // S1/S2/S3.
      const int before = IsDataType(type_) ? type_ + 2 : 1;
      const int n = static_cast<int>(value) - before;
      count_ = static_cast<std::uint32_t>(n);
      if (n < 0) {
        phase_ = Phase::kChecksum;
      } else if (IsDataType(type_)) {
        left_ = static_cast<std::uint32_t>(type_ + 1);
        address_ = 0;
        phase_ = Phase::kAddress;
      } else {
        left_ = count_;
        phase_ = Phase::kDiscard;
      }
      return;
    }
    case Phase::kAddress:
      address_ = address_ << 8 | value;
      if (--left_ == 0) {
        left_ = count_;
        phase_ = Phase::kData;
      }
      return;
    case Phase::kData:
      Program(peer, value);
      if (phase_ == Phase::kFailing) return;
      ++address_;
      // The chip tests the count only after taking a byte: from 0 it runs
      // through 2^32 bytes.
      if (--left_ == 0) phase_ = Phase::kChecksum;
      else if (left_ == 0xFFFFFFFFu) phase_ = Phase::kSwallow;
      return;
    case Phase::kDiscard:
      if (--left_ == 0) phase_ = Phase::kChecksum;
      else if (left_ == 0xFFFFFFFFu) phase_ = Phase::kSwallow;
      return;
    case Phase::kChecksum:
      EndRecord(peer);
      return;
    default:
      return;
  }
}

void RecordChip::EndRecord(PtyPeer& peer) {
  records_.push_back(record_);
  const int delay = behaviour_.answerDelayMs;
  const bool faultDue = answers_ >= behaviour_.faultAfter;
  if (behaviour_.fault == Fault::kSilent && faultDue) {
    // No answer, but the loop goes on.
  } else if (behaviour_.fault == Fault::kAnswerByte && faultDue && !faultUsed_) {
    faultUsed_ = true;
    peer.Send(Bytes{behaviour_.faultByte}, delay);
    ++answers_;
  } else {
    peer.Send(Bytes{kAccept}, delay);
    ++answers_;
  }
  if (IsEndType(type_)) {
    SendComplete(peer, delay);
    return;
  }
  phase_ = Phase::kWaitS;
}

void RecordChip::Program(PtyPeer& peer, unsigned value) {
  const std::uint8_t data = static_cast<std::uint8_t>(value);
  std::uint8_t& cell = flash_[address_ & (kFlashSize - 1)];
  const bool injected = behaviour_.fault == Fault::kFailStream && answers_ >= behaviour_.faultAfter;
  if (!injected && (cell & data) == data) {
    cell = data;  // programming only clears bits
    return;
  }
  phase_ = Phase::kFailing;
  for (int i = 0; i < kFailCopies; ++i) peer.Send(kFail, behaviour_.answerDelayMs + i * kFailCopyMs);
}

void RecordChip::SendComplete(PtyPeer& peer, int delayMs) {
  peer.Send(kComplete, delayMs);
  completed_ = true;
  phase_ = Phase::kStopped;
}

std::vector<std::string> RecordChip::Records() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_;
}

std::size_t RecordChip::Answers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return answers_;
}

bool RecordChip::Completed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return completed_;
}

bool RecordChip::Failing() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return phase_ == Phase::kFailing;
}

std::vector<std::uint8_t> RecordChip::Flash() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return flash_;
}
