// Byte transfer and timed receive on an open slot. Every read is preceded
// by a count query; a wait returns as soon as the driver has a byte, and
// its time-out keeps the length of the 5 ms (RsWaitRx) or 10 ms
// (RsGetLine) polls it replaces.
#include <algorithm>
#include <cstdint>

#include "rs.h"
#include "rs_port_table.h"

namespace {
constexpr unsigned int kWaitPollMs = 5;
constexpr unsigned int kLinePollMs = 10;
constexpr long kReceiveQueueBytes = 2048;

// Waits up to ms for a byte on the slot. A slot that is not open sleeps
// the whole time.
bool WaitOnSlot(int port, unsigned int ms) {
  if (!RsSlotIsOpen(port)) {
    RsSleep(ms);
    return false;
  }
  return serial_platform::WaitForRx(RsPortTable.handle[port], ms);
}

// Waits up to us microseconds for a byte on the slot and says how long it
// waited. A wait that found no byte is charged at least what it was given,
// so a caller's budget runs out even on a clock that did not move.
std::uint64_t WaitIdle(int port, std::uint64_t us) {
  const std::uint64_t start = serial_platform::MonotonicUs();
  const bool arrived = WaitOnSlot(port, static_cast<unsigned int>((us + 999) / 1000));
  const std::uint64_t waited = serial_platform::MonotonicUs() - start;
  return arrived ? waited : std::max(waited, us);
}
}  // namespace

int RsPutc(int port, int byte) {
  if (!RsSlotIsOpen(port)) return 0;
  return serial_platform::WriteByte(RsPortTable.handle[port], static_cast<unsigned char>(byte)) ? 1 : 0;
}

int RsWrite(int port, const unsigned char* bytes, std::size_t size) {
  if (!RsSlotIsOpen(port)) return 0;
  return serial_platform::WriteBytes(RsPortTable.handle[port], bytes, size) ? 1 : 0;
}

int RsRxCount(int port) {
  if (!RsSlotIsOpen(port)) return 0;
  const int count = serial_platform::RxCount(RsPortTable.handle[port]);
  return count > 0 ? count : 0;
}

int RsGetc(int port) {
  if (!RsSlotIsOpen(port)) return 0;
  if (RsRxCount(port) == 0) return 0;
  unsigned char byte = 0;
  if (serial_platform::ReadByte(RsPortTable.handle[port], &byte) != 1) return 0;
  return byte;
}

void RsFlush(int port) {
  // Bytes that come in while it runs go as well, but only up to one more
  // receive queue's worth: a line that delivers faster than we read (a
  // pseudo-terminal, a USB device that ignores the bit rate) must not keep
  // the flush going for ever.
  long limit = RsRxCount(port);
  if (limit == 0) return;
  limit += kReceiveQueueBytes;
  while (limit-- > 0 && RsRxCount(port) != 0) RsGetc(port);
}

int RsWaitRx(int port, int ms) {
  const int periods = ms / static_cast<int>(kWaitPollMs) + 1;
  if (periods <= 0) return 0;
  return WaitOnSlot(port, static_cast<unsigned int>(periods) * kWaitPollMs) ? 1 : 0;
}

int RsLineClosed(int port) {
  return RsSlotIsOpen(port) && serial_platform::LineClosed(RsPortTable.handle[port]) ? 1 : 0;
}

int RsPuts(int port, const char* text) {
  for (const char* p = text; *p != '\0'; ++p) {
    if (RsPutc(port, static_cast<unsigned char>(*p)) != 1) return 0;
  }
  return 1;
}

int RsGetLine(int port, char* buffer, int max, unsigned int ms) {
  buffer[0] = '\0';
  int pos = 0;
  // The idle time of the whole call, however the bytes trickle in:
  // ms/10+1 periods of 10 ms, charged by the time actually spent waiting.
  const std::uint64_t budgetUs = (static_cast<std::uint64_t>(ms) / kLinePollMs + 1) * kLinePollMs * 1000;
  std::uint64_t idleUs = 0;
  while (idleUs < budgetUs) {
    if (RsRxCount(port) == 0) {
      idleUs += WaitIdle(port, budgetUs - idleUs);
      continue;
    }
    const int c = RsGetc(port);
    if (c == kRsLf) continue;
    if (c == kRsStx) {
      buffer[0] = '\0';
      pos = 0;
      continue;
    }
    if (c == kRsCr || c == kRsEtx) return pos <= max ? 1 : 0;
    if (pos < max) {
      buffer[pos++] = static_cast<char>(c);
      buffer[pos] = '\0';
    } else {
      pos = max + 1;  // overflow: the rest of the line is dropped
    }
  }
  return 0;
}

void RsSleep(unsigned int ms) {
  if (ms != 0) serial_platform::SleepMs(ms);
}

std::uint64_t RsClockUs() { return serial_platform::MonotonicUs(); }
