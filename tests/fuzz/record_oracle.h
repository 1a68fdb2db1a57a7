// An S-record validator written separately from the program-file check, so
// the fuzzers can hold the check's verdicts against it: a file is accepted
// exactly when every line beginning with "S" is a record the chip handles.
#ifndef KORVEL_FUZZ_RECORD_ORACLE_H
#define KORVEL_FUZZ_RECORD_ORACLE_H

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

// The value of a hex digit (either case); -1 for any other character.
inline int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

class RecordOracle {
 public:
  // Takes the next line of the file (up to its first NUL); false when it is
  // a line the check must reject.
  bool Accepts(const std::string& fullLine) {
    const std::string line = fullLine.substr(0, fullLine.find('\0'));
    // Not a record: refused when a data record stands behind a byte-order mark
    // or blanks, or a NUL cuts it before the end record.
    static const std::regex kHiddenData("^(\xEF\xBB\xBF)?[ \t]*S[123]");
    if (line.empty() || line[0] != 'S')
      return !std::regex_search(line, kHiddenData) && (ended_ || line.size() == fullLine.size());
    if (ended_ || line.size() < 2 || fullLine.size() >= kCutLength) return false;
    static const std::string kTypes = "012356789";
    if (kTypes.find(line[1]) == std::string::npos) return false;
    const int type = line[1] - '0';

    std::string digits = line.substr(2);
    while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\t' || digits.back() == '\r'))
      digits.pop_back();
    if (digits.empty() || digits.size() % 2 != 0) return false;
    std::vector<unsigned> bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
      const int high = HexDigitValue(digits[i]), low = HexDigitValue(digits[i + 1]);
      if (high < 0 || low < 0) return false;
      bytes.push_back(static_cast<unsigned>(high * 16 + low));
    }
    unsigned sum = 0;
    for (unsigned b : bytes) sum += b;
    if (bytes[0] + 1 != bytes.size() || (sum & 0xFF) != 0xFF) return false;

    const std::size_t addressBytes = type == 0 || type == 1 || type == 5 || type == 9 ? 2
                                     : type == 2 || type == 6 || type == 8           ? 3
                                                                                     : 4;
    if (bytes[0] < addressBytes + 1) return false;
    std::uint64_t address = 0;
    for (std::size_t i = 1; i <= addressBytes; ++i) address = address * 256 + bytes[i];
    const std::size_t dataBytes = bytes.size() - 2 - addressBytes;

    lastData_ = type >= 1 && type <= 3;
    if (type >= 1 && type <= 3) {
      ++dataRecords_;
      return dataBytes == 0 || address + dataBytes <= 0x20000;
    }
    if (type == 5 || type == 6) return address == dataRecords_;
    if (type >= 7) ended_ = true;
    return true;
  }

  // After the last line: false when the last record was a data record and
  // no end record came.
  bool AcceptsEnd() const { return ended_ || !lastData_; }

 private:
  static constexpr std::size_t kCutLength = 1023;  // the reader hands out such a line in pieces
  bool lastData_ = false;
  unsigned long dataRecords_ = 0;
  bool ended_ = false;
};

#endif
