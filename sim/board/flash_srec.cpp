#include "flash_srec.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "flash.h"

FlashImage::FlashImage() : bytes(FlashMemory::kSize, 0xFF), present(FlashMemory::kSize, false) {}

std::size_t FlashImage::PresentCount() const {
  std::size_t n = 0;
  for (bool p : present) n += p;
  return n;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Decodes the hex pairs after "Sn" into bytes; false on a bad digit or an
// odd number of digits.
bool HexBytes(const std::string& text, std::size_t from, std::vector<std::uint8_t>* out) {
  if ((text.size() - from) % 2 != 0) return false;
  for (std::size_t i = from; i < text.size(); i += 2) {
    const int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<std::uint8_t>(hi << 4 | lo));
  }
  return true;
}

bool Fail(std::string* why, int line, const std::string& what) {
  *why = "line " + std::to_string(line) + ": " + what;
  return false;
}

}  // namespace

bool ParseSrecords(const std::string& text, FlashImage* image, std::string* why) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (line.empty()) continue;
    if (line.size() < 4 || line[0] != 'S' || HexDigit(line[1]) < 0 || HexDigit(line[1]) > 9)
      return Fail(why, number, "not an S-record");
    const int type = line[1] - '0';
    std::vector<std::uint8_t> bytes;
    if (!HexBytes(line, 2, &bytes)) return Fail(why, number, "bad hex digits");
    if (bytes.empty() || bytes[0] + 1u != bytes.size()) return Fail(why, number, "count does not match");
    unsigned sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    if ((sum & 0xFF) != 0xFF) return Fail(why, number, "bad checksum");
    if (type < 1 || type > 3) continue;  // header, count and end records carry no data
    const std::size_t addressLength = static_cast<std::size_t>(type) + 1;
    if (bytes.size() < 1 + addressLength + 1) return Fail(why, number, "record too short");
    std::uint32_t address = 0;
    for (std::size_t i = 0; i < addressLength; ++i) address = address << 8 | bytes[1 + i];
    for (std::size_t i = 1 + addressLength; i + 1 < bytes.size(); ++i, ++address) {
      const std::uint32_t at = address % FlashMemory::kSize;
      image->bytes[at] = bytes[i];
      image->present[at] = true;
    }
  }
  return true;
}

bool LoadFlashFile(const std::string& path, FlashImage* image, std::string* why) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *why = "cannot open " + path;
    return false;
  }
  const std::string data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!data.empty() && data[0] == 'S') {
    if (!ParseSrecords(data, image, why)) {
      *why = path + ": " + *why;
      return false;
    }
    return true;
  }
  if (data.size() > FlashMemory::kSize) {
    *why = path + ": larger than the 128 KB flash";
    return false;
  }
  for (std::size_t i = 0; i < data.size(); ++i) {
    image->bytes[i] = static_cast<std::uint8_t>(data[i]);
    image->present[i] = true;
  }
  return true;
}

namespace {

std::string Record(int type, std::uint32_t address, int addressLength, const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> body;
  body.push_back(static_cast<std::uint8_t>(addressLength + size + 1));
  for (int i = addressLength - 1; i >= 0; --i) body.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
  body.insert(body.end(), data, data + size);
  unsigned sum = 0;
  for (std::uint8_t b : body) sum += b;
  body.push_back(static_cast<std::uint8_t>(~sum));
  std::string line = "S" + std::to_string(type);
  char hex[3];
  for (std::uint8_t b : body) {
    std::snprintf(hex, sizeof hex, "%02X", b);
    line += hex;
  }
  return line + "\r\n";
}

}  // namespace

std::string FormatSrecords(const std::uint8_t* cells, const std::vector<bool>& include, const std::string& header) {
  std::string out = Record(0, 0, 2, reinterpret_cast<const std::uint8_t*>(header.data()), header.size());
  constexpr std::uint32_t kPerRecord = 32;
  for (std::uint32_t a = 0; a < FlashMemory::kSize;) {
    if (!include[a]) {
      ++a;
      continue;
    }
    std::uint32_t end = a;
    while (end < FlashMemory::kSize && include[end] && end - a < kPerRecord) ++end;
    out += Record(2, a, 3, cells + a, end - a);
    a = end;
  }
  return out + Record(8, 0, 3, nullptr, 0);
}
