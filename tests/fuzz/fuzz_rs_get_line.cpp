// RsGetLine over an arbitrary byte stream: the first input byte chooses
// max, the rest is what arrives on the line.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fake_serial_platform.h"
#include "rs.h"

namespace {

// The line as RsGetLine must leave it, worked out independently.
struct Expected {
  int result = 0;
  bool ended = false;  // a CR or ETX came; otherwise the call timed out
  std::vector<std::uint8_t> line;
  std::size_t consumed = 0;
};

Expected Model(const std::uint8_t* data, std::size_t size, int max) {
  Expected e;
  std::size_t pos = 0;
  bool overflow = false;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t c = data[i];
    e.consumed = i + 1;
    if (c == 0x0A) continue;
    if (c == 0x02) {
      e.line.clear();
      pos = 0;
      overflow = false;
      continue;
    }
    if (c == 0x0D || c == 0x03) {
      e.result = overflow ? 0 : 1;
      e.ended = true;
      return e;
    }
    if (static_cast<int>(pos) < max) {
      e.line.push_back(c);
      ++pos;
    } else {
      overflow = true;
    }
  }
  return e;  // time-out: result 0, the bytes so far
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int max = data[0] % 100;
  g_fakeLine = FakeLine{};
  g_fakeLine.incoming.assign(data + 1, data + size);
  RsInit();
  RsOpen(0, 5, 1, 0, 0);
  std::vector<char> buffer(static_cast<std::size_t>(max) + 1 + 16, '\x7f');
  const int result = RsGetLine(0, buffer.data(), max, 100);
  const Expected e = Model(data + 1, size - 1, max);
  if (result != e.result) std::abort();
  // Never a byte written past max + 1.
  for (std::size_t i = static_cast<std::size_t>(max) + 1; i < buffer.size(); ++i)
    if (buffer[i] != '\x7f') std::abort();
  // The buffer holds the model's line up to its terminating zero (a NUL in
  // the line ends it early, as it would for the caller).
  const std::size_t shown = std::strlen(buffer.data());
  std::size_t expectedShown = 0;
  while (expectedShown < e.line.size() && e.line[expectedShown] != 0) ++expectedShown;
  if (shown != expectedShown || (shown > 0 && std::memcmp(buffer.data(), e.line.data(), shown) != 0)) std::abort();
  // Nothing is read past the byte that ended the line; a time-out reads
  // everything and then spends exactly its idle budget, 11 polls of 10 ms.
  if (g_fakeLine.readPos != (e.ended ? e.consumed : size - 1)) std::abort();
  if (g_fakeLine.sleptMs != (e.ended ? 0u : 110u)) std::abort();
  RsClose(0);
  return 0;
}
