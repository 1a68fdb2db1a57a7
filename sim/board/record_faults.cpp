#include "record_faults.h"

namespace {
const std::string kStartText = "[START]\r\n";
}

std::vector<std::uint8_t> RecordFilter::Pass(std::uint8_t byte) {
  if (!started_) {
    seen_ += static_cast<char>(byte);
    if (seen_.size() > kStartText.size()) seen_.erase(0, seen_.size() - kStartText.size());
    started_ = seen_ == kStartText;
    return {byte};
  }
  const std::size_t record = ++answers_;
  hungUp_ = hungUp_ || (faults_.hangUpAfter && record > *faults_.hangUpAfter);
  if (hungUp_ || (faults_.silentAfter && record > *faults_.silentAfter)) return {};
  const auto replaced = faults_.answers.find(record);
  if (replaced != faults_.answers.end()) return replaced->second;
  return {byte};
}
