#include "flash_image.h"

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

FileFault CheckFlashImage(const FlashImage& image) {
  std::vector<std::uint8_t> value(kFlashSize);
  std::vector<int> owner(kFlashSize, -1);  // the first piece that gave the byte
  for (std::size_t p = 0; p < image.size(); ++p) {
    const FlashPiece& piece = image[p];
    const std::string self = piece.line != 0 ? "" : piece.place + " ";
    if (std::uint64_t{piece.address} + piece.bytes.size() > kFlashSize) return {piece.line, self + "outside flash"};
    for (std::size_t i = 0; i < piece.bytes.size(); ++i) {
      const std::size_t at = piece.address + i;
      if (owner[at] < 0) {
        owner[at] = static_cast<int>(p);
        value[at] = piece.bytes[i];
      } else if (value[at] != piece.bytes[i]) {
        return {piece.line, self + "overlaps " + image[static_cast<std::size_t>(owner[at])].place};
      }
    }
  }
  return {};
}

std::vector<std::string> MakeRecords(const FlashImage& image, const std::string& header) {
  std::vector<std::uint8_t> value(kFlashSize);
  std::vector<bool> given(kFlashSize, false);
  for (const FlashPiece& piece : image) {
    for (std::size_t i = 0; i < piece.bytes.size(); ++i) {
      value[piece.address + i] = piece.bytes[i];
      given[piece.address + i] = true;
    }
  }
  const std::string name = header.substr(0, kMaxHeaderBytes);
  std::vector<std::string> records = {Record(0, 2, 0, reinterpret_cast<const std::uint8_t*>(name.data()), name.size())};
  bool above = false;
  for (std::size_t at = 0; at < kFlashSize;) {
    if (!given[at]) {
      ++at;
      continue;
    }
    std::size_t size = 0;
    while (size < kRecordDataBytes && at + size < kFlashSize && given[at + size]) ++size;
    const bool s2 = at >= kS2From;
    above = above || s2;
    records.push_back(Record(s2 ? 2 : 1, s2 ? 3 : 2, static_cast<std::uint32_t>(at), &value[at], size));
    at += size;
  }
  records.push_back(above ? Record(8, 3, 0, nullptr, 0) : Record(9, 2, 0, nullptr, 0));
  return records;
}
