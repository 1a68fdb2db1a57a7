// Byte transfer and timed receive on an open slot. Reception is polled:
// every read is preceded by a count query, and every wait is a loop of
// queries with short sleeps in between.
#include "rs.h"
#include "rs_port_table.h"

namespace {
constexpr unsigned int kWaitPollMs = 5;
constexpr unsigned int kLinePollMs = 10;
constexpr long kReceiveQueueBytes = 2048;
}  // namespace

int RsPutc(int port, int byte) {
  if (!RsSlotIsOpen(port)) return 0;
  return serial_platform::WriteByte(RsPortTable.handle[port], static_cast<unsigned char>(byte)) ? 1 : 0;
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
  const int queries = ms / static_cast<int>(kWaitPollMs) + 1;
  for (int i = 0; i < queries; ++i) {
    if (RsRxCount(port) > 0) return 1;
    RsSleep(kWaitPollMs);
  }
  return 0;
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
  unsigned int idle = ms / kLinePollMs + 1;
  while (idle > 0) {
    if (RsRxCount(port) == 0) {
      --idle;
      RsSleep(kLinePollMs);
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
