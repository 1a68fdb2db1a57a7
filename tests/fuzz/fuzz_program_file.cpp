// The program file readers (COFF, ELF, Intel HEX, raw image) over any
// bytes, and the image check over any pieces. An odd first byte names the
// file "f.bin" (a raw image), an even one "f" (known by its contents).
//   - What a reader accepts lies inside the flash, holds bytes of the file
//     (binary formats) and gives no byte twice with different values; its
//     S-records pass the file check and the separate validator, are S1
//     exactly below H'10000 with at most 16 bytes, and give back exactly
//     the image's bytes.
//   - The same input read as pieces (3 address bytes, a size byte, the
//     bytes) gets from the image check the fault a plain map finds first.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "program_file_formats.h"
#include "record_check.h"
#include "record_oracle.h"

namespace {

void Require(bool holds) {
  if (!holds) std::abort();
}

void CheckReader(const std::string& name, const std::string& contents) {
  const ProgramFileFormat format = ProgramFileFormatOf(name, contents);
  const ImageRead read = format == ProgramFileFormat::kSRecords ? ImageRead() : ReadProgramImage(format, contents);
  if (read.image.empty()) return;
  std::map<std::uint32_t, std::uint8_t> model;
  for (const FlashPiece& piece : read.image) {
    Require(!piece.bytes.empty() && piece.address + piece.bytes.size() <= kFlashLastAddress + 1);
    const std::string bytes(piece.bytes.begin(), piece.bytes.end());
    Require(format == ProgramFileFormat::kIntelHex || contents.find(bytes) != std::string::npos);
    for (std::size_t i = 0; i < bytes.size(); ++i)
      Require(model.emplace(piece.address + i, piece.bytes[i]).first->second == piece.bytes[i]);
  }
  const std::vector<std::string> records = MakeRecords(read.image, name);
  Require(CheckRecordLines(records).ok);
  RecordOracle oracle;
  std::map<std::uint32_t, std::uint8_t> sent;  // the bytes of the data records
  for (const std::string& record : records) {
    Require(oracle.Accepts(record));
    if (record[1] != '1' && record[1] != '2') continue;
    const std::size_t digits = record[1] == '1' ? 4 : 6, size = (record.size() - 6 - digits) / 2;
    const std::uint32_t address = static_cast<std::uint32_t>(std::stoul(record.substr(4, digits), nullptr, 16));
    Require(size <= 16 && (record[1] == '1') == (address < 0x10000));
    for (std::size_t i = 0; i < size; ++i)
      sent[address + i] = static_cast<std::uint8_t>(std::stoul(record.substr(4 + digits + 2 * i, 2), nullptr, 16));
  }
  Require(sent == model);
}

void CheckImageCheck(const std::uint8_t* data, std::size_t size) {
  ProgramImage image;
  for (std::size_t at = 0; at + 5 <= size && image.size() < 64; at += 4 + image.back().bytes.size()) {
    FlashPiece piece;
    piece.address = static_cast<std::uint32_t>(data[at] << 16 | data[at + 1] << 8 | data[at + 2]);
    piece.bytes.assign(data + at + 4, data + at + 4 + std::min<std::size_t>(data[at + 3] + 1u, size - at - 4));
    piece.line = image.size() + 1;
    piece.place = "line " + std::to_string(piece.line);
    image.push_back(piece);
  }
  FileFault expected;
  std::map<std::uint32_t, const FlashPiece*> given;  // the first piece to give each byte
  for (std::size_t p = 0; p < image.size() && !expected.Found(); ++p) {
    const FlashPiece& piece = image[p];
    if (piece.address + piece.bytes.size() > kFlashLastAddress + 1) {
      char outside[40];  // the first address beyond the flash
      const unsigned long first = std::max<unsigned long>(piece.address, kFlashLastAddress + 1);
      std::snprintf(outside, sizeof outside, "outside flash (H'%05lX)", first);
      expected = {piece.line, outside};
    }
    for (std::uint32_t i = 0; i < piece.bytes.size() && !expected.Found(); ++i) {
      const FlashPiece* first = given.emplace(piece.address + i, &piece).first->second;
      if (first->bytes[piece.address + i - first->address] != piece.bytes[i]) expected = {piece.line, "overlaps " + first->place};
    }
  }
  const FileFault fault = CheckProgramImage(image);
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
