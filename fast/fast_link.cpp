#include "fast_link.h"

#include "fast_protocol.h"
#include "rs.h"

using namespace fast_protocol;

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size, std::uint32_t crc) {
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

std::vector<std::uint8_t> CommandFrame(char cmd, std::uint32_t address, std::uint32_t length,
                                       const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> frame = {static_cast<std::uint8_t>(cmd)};
  for (std::uint32_t field : {address, length})
    for (int shift = 16; shift >= 0; shift -= 8) frame.push_back(static_cast<std::uint8_t>(field >> shift));
  frame.insert(frame.end(), data, data + size);
  const std::uint32_t crc = Crc32(frame.data(), frame.size());
  for (int shift = 24; shift >= 0; shift -= 8) frame.push_back(static_cast<std::uint8_t>(crc >> shift));
  return frame;
}

void SendFrame(int port, const std::vector<std::uint8_t>& frame) { RsWrite(port, frame.data(), frame.size()); }

std::vector<std::uint8_t> ReadBytes(int port, std::size_t n, unsigned ms) {
  std::vector<std::uint8_t> bytes;
  while (bytes.size() < n && RsWaitRx(port, static_cast<int>(ms)) == 1) {
    bytes.push_back(static_cast<std::uint8_t>(RsGetc(port)));
  }
  return bytes;
}

std::vector<std::uint8_t> AnswerBytes(char code, std::uint32_t value) {
  std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(code)};
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
  std::uint8_t sum = 0;
  for (std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
  bytes.push_back(static_cast<std::uint8_t>(~sum));
  return bytes;
}

Answer ReadAnswer(int port, unsigned ms) {
  const std::vector<std::uint8_t> bytes = ReadBytes(port, kAnswerBytes, ms);
  Answer answer;
  if (bytes.size() < kAnswerBytes) return answer;
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i + 1 < kAnswerBytes; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
  if (static_cast<std::uint8_t>(~sum) != bytes[kAnswerBytes - 1]) return answer;
  answer.code = static_cast<char>(bytes[0]);
  for (int i = 1; i <= 4; ++i) answer.value = answer.value << 8 | bytes[i];
  return answer;
}

void WaitForQuiet(int port, unsigned quietMs) {
  const std::uint64_t end = RsClockUs() + 2'000'000;
  while (RsWaitRx(port, static_cast<int>(quietMs)) == 1 && RsClockUs() < end) RsFlush(port);
  RsFlush(port);
}
