#include "boot_chip.h"

namespace {
constexpr std::uint8_t kSyncAnswer = 0x00;
constexpr std::uint8_t kConfirmByte = 0x55;
constexpr std::uint8_t kConfirmAnswer = 0xAA;
}  // namespace

BootChip::BootChip(Options options) : options_(std::move(options)), stage_(options_.begin) {}

BootChip::~BootChip() { Stop(); }

BootChip& BootChip::SetAnswer(Step step, Answer answer) {
  answers_[step] = std::move(answer);
  return *this;
}

void BootChip::Start() {
  peer_.Start([this](PtyPeer&, std::uint8_t byte, std::size_t) { OnByte(byte); });
}

void BootChip::Stop() { peer_.Stop(); }

void BootChip::Reply(const Step& step, std::uint8_t normalAnswer) {
  const auto found = answers_.find(step);
  const Answer answer = found == answers_.end() ? Answer::Normal() : found->second;
  int extraAt = 0;
  if (answer.kind != Answer::Kind::Silent) {
    const std::uint8_t byte = answer.kind == Answer::Kind::Wrong ? answer.wrongByte : normalAnswer;
    peer_.Send(Bytes{byte}, answer.delayMs);
    extraAt = answer.delayMs;
  }
  if (!answer.extra.empty()) peer_.Send(answer.extra, extraAt + answer.extraDelayMs);
}

void BootChip::OnByte(std::uint8_t byte) {
  switch (stage_) {
    case Stage::Sync:
    case Stage::Confirm:
      if (byte == kConfirmByte) {
        Reply(Confirm(), kConfirmAnswer);
        stage_ = Stage::LengthHigh;
      } else {
        Reply(SyncByte(syncCount_++), kSyncAnswer);
      }
      return;
    case Stage::LengthHigh:
      Reply(LengthHigh(), byte);
      length_ = static_cast<std::size_t>(byte) << 8;
      stage_ = Stage::LengthLow;
      return;
    case Stage::LengthLow:
      Reply(LengthLow(), byte);
      length_ |= byte;
      stage_ = Stage::Image;
      return;
    case Stage::Image:
      Reply(ImageByte(imageCount_++), byte);
      if (imageCount_ < length_) return;
      stage_ = Stage::Running;
      if (options_.startSignal) {
        peer_.Send(Bytes{*options_.startSignal}, options_.startSignalDelayMs);
        if (!options_.afterStart.empty())
          peer_.Send(options_.afterStart, options_.startSignalDelayMs + options_.afterStartDelayMs);
      }
      return;
    case Stage::Running:
      if (options_.running) options_.running(*this, byte);
      return;
  }
}
