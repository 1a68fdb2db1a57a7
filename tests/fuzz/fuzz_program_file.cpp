// The program file readers (COFF, ELF, Intel HEX, raw image) over any
// bytes, and the image check over any pieces. An odd first byte names the
// file "f.bin" (a raw image), an even one "f" (known by its contents).
//   - What a reader accepts holds only bytes of the file (binary formats)
//     or of its hex digits (Intel HEX), all inside the flash, none given
//     twice with different values; its S-records pass the file check and
//     the separate validator, are S1 exactly below H'10000, hold at most 16
//     bytes each, and give back exactly the image's bytes.
//   - The same input read as pieces (3 address bytes, a size byte, the
//     bytes) gets from the image check the fault a plain map finds first.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "program_file_formats.h"
#include "record_check.h"
#include "record_oracle.h"

namespace {

using Bytes = std::map<std::uint32_t, std::uint8_t>;

void Require(bool holds) {
  if (!holds) std::abort();
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (std::uint8_t b : bytes) text += {"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
  return text;
}

// The bytes the records carry for the flash, in the model's terms.
Bytes FromRecords(const std::vector<std::string>& records) {
  Bytes bytes;
  Require(records.size() >= 2 && records.front().compare(0, 2, "S0") == 0);
  bool s2 = false;
  for (std::size_t r = 1; r + 1 < records.size(); ++r) {
    const std::string& line = records[r];
    const unsigned addressBytes = line[1] == '1' ? 2 : 3;
    Require((line[1] == '1' || line[1] == '2') && line.size() >= 4 + 2 * addressBytes + 2);
    std::vector<unsigned> b;
    for (std::size_t i = 2; i + 1 < line.size(); i += 2) b.push_back(static_cast<unsigned>(HexDigitValue(line[i]) * 16 + HexDigitValue(line[i + 1])));
    std::uint32_t address = 0;
    for (unsigned i = 1; i <= addressBytes; ++i) address = address << 8 | b[i];
    const std::size_t size = b.size() - 2 - addressBytes;
    Require(size >= 1 && size <= 16 && (line[1] == '1') == (address < 0x10000));
    s2 = s2 || line[1] == '2';
    for (std::size_t i = 0; i < size; ++i) bytes[static_cast<std::uint32_t>(address + i)] = static_cast<std::uint8_t>(b[1 + addressBytes + i]);
  }
  Require(records.back() == (s2 ? "S804000000FB" : "S9030000FC"));
  return bytes;
}

void CheckReader(const std::string& name, const std::string& contents) {
  const ProgramFileFormat format = ProgramFileFormatOf(name, contents);
  if (format == ProgramFileFormat::kSRecords) return;
  const ImageRead read = ReadFlashImage(format, contents);
  if (read.image.empty()) return;
  std::string upper = contents;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 32) : c; });
  Bytes model;
  for (const FlashPiece& piece : read.image) {
    Require(!piece.bytes.empty() && piece.address + piece.bytes.size() <= kFlashLastAddress + 1);
    if (format == ProgramFileFormat::kIntelHex) {
      Require(upper.find(Hex(piece.bytes)) != std::string::npos);
    } else {
      Require(contents.find(std::string(piece.bytes.begin(), piece.bytes.end())) != std::string::npos);
    }
    for (std::size_t i = 0; i < piece.bytes.size(); ++i) {
      const auto [at, added] = model.emplace(static_cast<std::uint32_t>(piece.address + i), piece.bytes[i]);
      Require(added || at->second == piece.bytes[i]);
    }
  }
  const std::vector<std::string> records = MakeRecords(read.image, name);
  Require(CheckRecordLines(records).ok);
  RecordOracle oracle;
  for (const std::string& record : records) Require(oracle.Accepts(record));
  Require(FromRecords(records) == model);
}

void CheckImageCheck(const std::uint8_t* data, std::size_t size) {
  FlashImage image;
  for (std::size_t at = 0; at + 4 <= size && image.size() < 64;) {
    FlashPiece piece;
    piece.address = static_cast<std::uint32_t>(data[at] << 16 | data[at + 1] << 8 | data[at + 2]);
    const std::size_t length = std::min<std::size_t>(data[at + 3] + 1u, size - at - 4);
    piece.bytes.assign(data + at + 4, data + at + 4 + length);
    piece.line = image.size() + 1;
    piece.place = "line " + std::to_string(piece.line);
    at += 4 + length;
    if (!piece.bytes.empty()) image.push_back(piece);
  }
  FileFault expected;
  std::map<std::uint32_t, std::pair<std::uint8_t, unsigned long>> given;  // value, line
  for (const FlashPiece& piece : image) {
    if (piece.address + piece.bytes.size() > kFlashLastAddress + 1) expected = {piece.line, "outside flash"};
    for (std::size_t i = 0; i < piece.bytes.size() && !expected.Found(); ++i) {
      const auto [at, added] = given.emplace(static_cast<std::uint32_t>(piece.address + i), std::make_pair(piece.bytes[i], piece.line));
      if (!added && at->second.first != piece.bytes[i]) expected = {piece.line, "overlaps line " + std::to_string(at->second.second)};
    }
    if (expected.Found()) break;
  }
  const FileFault fault = CheckFlashImage(image);
  Require(fault.line == expected.line && fault.reason == expected.reason);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string contents(reinterpret_cast<const char*>(data) + 1, size - 1);
  CheckReader((data[0] & 1) != 0 ? "f.bin" : "f", contents);
  CheckImageCheck(data + 1, size - 1);
  return 0;
}
