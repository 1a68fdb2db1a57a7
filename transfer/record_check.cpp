#include "record_check.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string OutsideFlash(std::uint64_t start) {
  const std::uint64_t first = std::max<std::uint64_t>(start, kFlashLastAddress + 1);
  char text[48];
  std::snprintf(text, sizeof text, "outside flash (H'%05llX)", static_cast<unsigned long long>(first));
  return text;
}

namespace {

// Address field size in bytes by record type; 0: not a type the chip takes.
constexpr unsigned kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

// The byte whose two digits start at text (both known to be hex).
unsigned ByteAt(const char* text) {
  return static_cast<unsigned>(HexValue(text[0]) * 16 + HexValue(text[1]));
}

RecordVerdict Reject(const char* reason) { return {RecordAction::kReject, reason}; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// What stands before a data record (S1, S2, S3) that does not begin its
// line: a UTF-8 byte-order mark, blanks or tabs, or both. nullptr when the
// line holds no data record behind them. The chip would never see such a
// record, and its bytes would be missing from the flash.
const char* HiddenDataRecord(const char* line) {
  static constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
  const char* p = line;
  const bool marked = std::strncmp(p, kByteOrderMark, 3) == 0;
  if (marked) p += 3;
  while (IsBlank(*p)) ++p;
  if (p == line || p[0] != 'S' || p[1] < '1' || p[1] > '3') return nullptr;
  return marked ? "byte-order mark before record" : "blanks before record";
}

// For a line the reader cut while it held nothing but a byte-order mark and
// blanks, perhaps with an "S" last: that much of it, shortened, so that its
// rest can be read on as if it followed directly. "" for any other line.
std::string OpenHead(const std::string& text) {
  static constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
  const bool marked = text.compare(0, 3, kByteOrderMark) == 0;
  std::size_t p = marked ? 3 : 0;
  while (p < text.size() && IsBlank(text[p])) ++p;
  const bool s = p + 1 == text.size() && text[p] == 'S';
  if (p != text.size() && !s) return "";
  return (marked ? kByteOrderMark : "") + std::string(" ") + (s ? "S" : "");
}

}  // namespace

RecordVerdict RecordChecker::Check(const char* line, LineShape shape) {
  if (!shape.continuation) {
    ++lineNumber_;
    head_.clear();
  }
  if (shape.continuation || line == nullptr || line[0] != 'S') {
    // A data record behind blanks may lie past the reader's cut: the rest
    // of a cut line is read on after the blanks before it.
    if (line != nullptr && (!shape.continuation || !head_.empty())) {
      const std::string text = head_ + line;
      if (const char* before = HiddenDataRecord(text.c_str())) return Reject(before);
      head_ = shape.cut && !shape.hasNul ? OpenHead(text) : "";
    }
    // A NUL may hide a record behind it; on a record line the record's own
    // rules catch a NUL inside it, and what follows a whole record is no
    // record.
    if (shape.hasNul && !ended_) return Reject("NUL byte");
    return {RecordAction::kIgnore, ""};
  }
  if (ended_) return Reject("after end record");
  if (shape.cut) return Reject("too long");

  const char typeChar = line[1];
  if (typeChar < '0' || typeChar > '9' || kAddressBytes[typeChar - '0'] == 0) return Reject("type");
  const int type = typeChar - '0';

  std::size_t end = std::strlen(line);
  // Trailing blanks, tabs and CRs (a CR CR LF line end leaves one) are
  // skipped by the chip after the checksum.
  while (end > 2 && (IsBlank(line[end - 1]) || line[end - 1] == '\r')) --end;
  const char* digits = line + 2;
  const std::size_t digitCount = end - 2;
  for (std::size_t i = 0; i < digitCount; ++i)
    if (HexValue(digits[i]) < 0) return Reject("not hex");
  if (digitCount % 2 != 0) return Reject("odd length");
  if (digitCount == 0) return Reject("too short");

  const std::size_t byteCount = digitCount / 2;  // the count byte included
  const unsigned count = ByteAt(digits);
  const unsigned addressBytes = kAddressBytes[type];
  if (count < addressBytes + 1) return Reject("too short");
  if (count != byteCount - 1) return Reject("count");

  unsigned sum = 0;
  for (std::size_t i = 0; i < byteCount - 1; ++i) sum += ByteAt(digits + 2 * i);
  const unsigned checksum = ByteAt(digits + 2 * (byteCount - 1));
  if (((sum + checksum) & 0xFF) != 0xFF) return Reject("checksum");

  std::uint64_t address = 0;
  for (unsigned i = 0; i < addressBytes; ++i) address = address << 8 | ByteAt(digits + 2 + 2 * i);
  const unsigned payload = count - addressBytes - 1;  // data or header bytes

  lastWasData_ = type >= 1 && type <= 3;
  switch (type) {
    case 0:
      // The chip discards a header; one without text is not worth a record.
      return {payload == 0 ? RecordAction::kSkip : RecordAction::kSend, ""};
    case 1:
    case 2:
    case 3:
      ++dataRecords_;
      // Without data bytes the chip's loop would take the next record as data.
      if (payload == 0) return {RecordAction::kSkip, ""};
      if (address + payload - 1 > kFlashLastAddress) {
        reason_ = OutsideFlash(address);
        return Reject(reason_.c_str());
      }
      ++flashRecords_;
      return {RecordAction::kSend, "", payload};
    case 5:
    case 6:
      // The chip does not know these types and would stop at them.
      if (address != dataRecords_) return Reject("record count");
      return {RecordAction::kSkip, ""};
    default:  // 7, 8, 9: the chip stops after it
      ended_ = true;
      return {RecordAction::kSend, ""};
  }
}

RecordVerdict RecordChecker::Finish() const {
  // The file ended inside its data: cut off on its way (a copy, a download,
  // a build that was stopped), its last records missing.
  if (lastWasData_ && !ended_) return Reject("no end record (the file may be cut off)");
  return {RecordAction::kIgnore, ""};
}

RecordCheckResult CheckRecordLines(const std::vector<std::string>& lines) {
  RecordChecker checker;
  for (const std::string& line : lines) {
    // In pieces as the reader hands out a long line.
    const std::size_t piece = RecordFileReader::kMaxLineLength;
    LineShape shape;
    for (std::size_t at = 0; at == 0 || shape.cut; at += piece) {
      const std::string text = line.substr(std::min(at, line.size()), piece);
      shape = LineShape{text.size() == piece, at > 0, text.find('\0') != std::string::npos};
      const RecordVerdict verdict = checker.Check(text.c_str(), shape);
      if (verdict.action == RecordAction::kReject) return {false, checker.LineNumber(), verdict.reason};
    }
  }
  const RecordVerdict verdict = checker.Finish();
  if (verdict.action == RecordAction::kReject) return {false, checker.LineNumber(), verdict.reason};
  return {};
}
