#include "program_image.h"

#include <algorithm>
#include <map>

#include "record_check.h"

namespace {

constexpr std::size_t kFlashSize = kFlashLastAddress + 1;
constexpr std::size_t kRecordDataBytes = 16;
constexpr std::size_t kMaxHeaderBytes = 252;  // count byte 255: address 2, checksum 1
constexpr std::uint32_t kS2From = 0x10000;    // the first address an S1 record cannot hold

// One S-record: type, address field of addressBytes, the bytes, count and checksum.
std::string Record(int type, unsigned addressBytes, std::uint32_t address, const std::uint8_t* bytes,
                   std::size_t size) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text = "S" + std::to_string(type);
  unsigned sum = 0;
  const auto put = [&](unsigned value) {
    text += kHex[value >> 4 & 15];
    text += kHex[value & 15];
    sum += value;
  };
  put(static_cast<unsigned>(addressBytes + size + 1));
  for (unsigned i = addressBytes; i-- > 0;) put(address >> (8 * i) & 0xFF);
  for (std::size_t i = 0; i < size; ++i) put(bytes[i]);
  put(~sum & 0xFF);
  return text;
}

}  // namespace

FileFault CheckProgramImage(const ProgramImage& image) {
  // The bytes given so far as runs that do not overlap, each of one piece:
  // start -> (end, piece).
  std::map<std::uint64_t, std::pair<std::uint64_t, std::size_t>> runs;
  for (std::size_t p = 0; p < image.size(); ++p) {
    const FlashPiece& piece = image[p];
    const std::string self = piece.line != 0 ? "" : piece.place + " ";
    const std::uint64_t start = piece.address, end = start + piece.bytes.size();
    if (end > kFlashSize) return {piece.line, self + OutsideFlash(start)};
    auto run = runs.upper_bound(start);
    if (run != runs.begin()) --run;
    std::uint64_t covered = start;  // below it: compared with a run or new
    std::vector<std::pair<std::uint64_t, std::uint64_t>> newRuns;
    for (; run != runs.end() && run->first < end; ++run) {
      const std::uint64_t runEnd = run->second.first;
      if (runEnd <= start) continue;
      if (run->first > covered) newRuns.emplace_back(covered, run->first);
      const FlashPiece& earlier = image[run->second.second];
      for (std::uint64_t at = std::max(run->first, start); at < std::min(runEnd, end); ++at) {
        if (earlier.bytes[at - earlier.address] != piece.bytes[at - start])
          return {piece.line, self + "overlaps " + earlier.place};
      }
      covered = std::max(covered, runEnd);
    }
    if (covered < end) newRuns.emplace_back(covered, end);
    for (const auto& [from, to] : newRuns) runs[from] = {to, p};
  }
  return {};
}

std::vector<std::string> MakeRecords(const ProgramImage& image, const std::string& header) {
  const std::string name = header.substr(0, kMaxHeaderBytes);
  std::vector<std::string> records = {Record(0, 2, 0, reinterpret_cast<const std::uint8_t*>(name.data()), name.size())};
  bool above = false;
  std::uint32_t runStart = 0;
  std::vector<std::uint8_t> run;  // adjacent bytes from runStart
  const auto emitRun = [&] {
    for (std::size_t at = 0; at < run.size(); at += kRecordDataBytes) {
      const std::uint32_t address = runStart + static_cast<std::uint32_t>(at);
      const bool s2 = address >= kS2From;
      above = above || s2;
      records.push_back(Record(s2 ? 2 : 1, s2 ? 3 : 2, address, &run[at], std::min(kRecordDataBytes, run.size() - at)));
    }
    run.clear();
  };
  std::vector<const FlashPiece*> pieces;
  for (const FlashPiece& piece : image) pieces.push_back(&piece);
  std::stable_sort(pieces.begin(), pieces.end(), [](const FlashPiece* a, const FlashPiece* b) { return a->address < b->address; });
  for (const FlashPiece* piece : pieces) {
    const std::uint32_t runEnd = runStart + static_cast<std::uint32_t>(run.size());
    if (piece->address > runEnd || run.empty()) {
      emitRun();
      runStart = piece->address;
    }
    const std::size_t known = runStart + run.size() - piece->address;  // bytes already in the run
    if (known < piece->bytes.size()) run.insert(run.end(), piece->bytes.begin() + static_cast<std::ptrdiff_t>(known), piece->bytes.end());
  }
  emitRun();
  records.push_back(above ? Record(8, 3, 0, nullptr, 0) : Record(9, 2, 0, nullptr, 0));
  return records;
}
