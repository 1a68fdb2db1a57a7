#include "fast_file.h"

#include <map>
#include <utility>

#include "program_records.h"
#include "record_check.h"
#include "record_file_reader.h"

namespace {

int ByteAt(const char* line, std::size_t index) {
  return HexValue(line[2 + 2 * index]) * 16 + HexValue(line[3 + 2 * index]);
}

// Where a checked S1/S2/S3 line puts its data bytes: address -> (byte, line).
using Placed = std::map<std::uint32_t, std::pair<std::uint8_t, unsigned long>>;

// False, with *clash set to the earlier line, when a byte is already placed
// with another value.
bool Place(const char* line, unsigned long lineNumber, Placed* placed, unsigned long* clash) {
  const std::size_t addressBytes = static_cast<std::size_t>(line[1] - '0') + 1;  // S1: 2, S2: 3, S3: 4
  const std::size_t count = static_cast<std::size_t>(ByteAt(line, 0));
  std::uint32_t address = 0;
  for (std::size_t i = 1; i <= addressBytes; ++i) address = address << 8 | static_cast<std::uint32_t>(ByteAt(line, i));
  for (std::size_t i = addressBytes + 1; i < count; ++i, ++address) {
    const auto byte = static_cast<std::uint8_t>(ByteAt(line, i));
    const auto found = placed->emplace(address, std::make_pair(byte, lineNumber));
    if (!found.second && found.first->second.first != byte) {
      *clash = found.first->second.second;
      return false;
    }
  }
  return true;
}

}  // namespace

FastFile ReadFastFile(const char* fileName) {
  FastFile file;
  RecordFileReader reader;
  if (reader.Open(fileName) == 0) {
    file.problem = std::string(reader.Failure() == OpenFailure::kTooLarge ? "File too large...[" : "File not Found...[") +
                   fileName + "]";
    return file;
  }
  if (!TakeOtherFormat(reader, fileName)) return file;  // shown; no problem left to show
  RecordChecker checker;
  Placed placed;
  while (const char* line = reader.ReadLine()) {
    const RecordVerdict verdict = checker.Check(line, reader.Shape());
    unsigned long clash = 0;
    if (verdict.action == RecordAction::kReject) {
      file.problem = "Record error line " + std::to_string(checker.LineNumber()) + ": " + verdict.reason;
      return file;
    }
    if (verdict.action == RecordAction::kSend && verdict.dataBytes > 0 &&
        !Place(line, checker.LineNumber(), &placed, &clash)) {
      file.problem = "Record error line " + std::to_string(checker.LineNumber()) + ": overlaps line " +
                     std::to_string(clash) + " with other bytes";
      return file;
    }
  }
  if (const RecordVerdict end = checker.Finish(); end.action == RecordAction::kReject) {
    file.problem = "Record error line " + std::to_string(checker.LineNumber()) + ": " + end.reason;
    return file;
  }
  if (placed.empty()) {
    file.problem = std::string("No data records in file...[") + fileName + "]";
    return file;
  }
  for (const auto& [address, byte] : placed) {
    if (file.ranges.empty() || file.ranges.back().address + file.ranges.back().bytes.size() != address)
      file.ranges.push_back(FlashRange{address, {}});
    file.ranges.back().bytes.push_back(byte.first);
  }
  file.dataBytes = placed.size();
  file.ok = true;
  return file;
}

std::vector<FlashBlock> CutIntoBlocks(const std::vector<FlashRange>& ranges, std::size_t maxBlock) {
  std::vector<FlashBlock> blocks;
  for (const FlashRange& range : ranges) {
    for (std::size_t at = 0; at < range.bytes.size(); at += maxBlock) {
      const std::size_t size = std::min(maxBlock, range.bytes.size() - at);
      blocks.push_back(FlashBlock{range.address + static_cast<std::uint32_t>(at), range.bytes.data() + at, size});
    }
  }
  return blocks;
}
