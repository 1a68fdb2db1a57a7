// The program-file check over arbitrary lines (the input split at LF): it
// must accept exactly the files the separate validator accepts, and name
// the first line that validator refuses. When the first input byte is odd,
// every line of whole hex bytes first gets its count and checksum made
// right, so that the fuzzer reaches the rules behind them (the flash end,
// record counts, the end record) instead of stalling at the checksum.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "record_check.h"
#include "record_oracle.h"

namespace {

void RepairCountAndChecksum(std::string* line) {
  if (line->size() < 6 || (*line)[0] != 'S' || (line->size() - 2) % 2 != 0) return;
  std::vector<unsigned> bytes;
  for (std::size_t i = 2; i < line->size(); i += 2) {
    const int high = HexDigitValue((*line)[i]), low = HexDigitValue((*line)[i + 1]);
    if (high < 0 || low < 0) return;
    bytes.push_back(static_cast<unsigned>(high * 16 + low));
  }
  if (bytes.size() - 1 > 255) return;
  bytes[0] = static_cast<unsigned>(bytes.size() - 1);
  unsigned sum = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i) sum += bytes[i];
  bytes.back() = ~sum & 0xFF;
  static const char kDigits[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    (*line)[2 + 2 * i] = kDigits[bytes[i] >> 4];
    (*line)[3 + 2 * i] = kDigits[bytes[i] & 0xF];
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += static_cast<char>(data[i]);
    }
  }
  if (!line.empty()) lines.push_back(line);
  if (size > 0 && (data[0] & 1) != 0)
    for (std::string& each : lines) RepairCountAndChecksum(&each);

  RecordOracle oracle;
  std::size_t firstBad = 0;  // 1-based; 0: every line good
  for (std::size_t i = 0; i < lines.size() && firstBad == 0; ++i)
    if (!oracle.Accepts(lines[i])) firstBad = i + 1;
  if (firstBad == 0 && !oracle.AcceptsEnd()) firstBad = lines.size();

  const RecordCheckResult result = CheckRecordLines(lines);
  if (result.ok != (firstBad == 0)) std::abort();
  if (!result.ok && (result.lineNumber != firstBad || result.reason.empty()))
    std::abort();
  if (result.ok && (result.lineNumber != 0 || !result.reason.empty())) std::abort();
  return 0;
}
