// A serial backend with no device behind it: the receive queue is a byte
// buffer the test fills, writes are collected, time is only counted.
#include "fake_serial_platform.h"

#include "serial_platform.h"

FakeLine g_fakeLine;

namespace {
std::uint64_t ArrivalUs(std::size_t i) {
  return i < g_fakeLine.arrivesAtUs.size() ? g_fakeLine.arrivesAtUs[i] : 0;
}
}  // namespace

namespace serial_platform {

std::string DefaultDeviceName(int port) { return "fake" + std::to_string(port); }

bool Open(const std::string&, const LineSettings&, Handle* handle, std::string*) {
  *handle = 1;
  return true;
}

bool Close(Handle) { return true; }
bool SetBitRate(Handle, long) { return true; }

// Bytes come in order: one that has not arrived holds back those behind it.
int RxCount(Handle) {
  std::size_t end = g_fakeLine.readPos;
  while (end < g_fakeLine.incoming.size() && end < g_fakeLine.arrivesAtUs.size() &&
         g_fakeLine.arrivesAtUs[end] <= g_fakeLine.nowUs)
    ++end;
  if (end >= g_fakeLine.arrivesAtUs.size()) end = g_fakeLine.incoming.size();
  return static_cast<int>(end - g_fakeLine.readPos);
}

int ReadByte(Handle handle, unsigned char* byte) {
  if (RxCount(handle) == 0) return 0;
  *byte = g_fakeLine.incoming[g_fakeLine.readPos++];
  return 1;
}

bool WriteByte(Handle, unsigned char byte) {
  g_fakeLine.outgoing.push_back(byte);
  return true;
}

bool WriteBytes(Handle, const unsigned char* bytes, std::size_t size) {
  g_fakeLine.outgoing.insert(g_fakeLine.outgoing.end(), bytes, bytes + size);
  return true;
}

bool SetControlLine(Handle, ControlLine, bool) { return true; }

void SleepMs(unsigned int ms) {
  g_fakeLine.sleptMs += ms;
  g_fakeLine.nowUs += ms * 1000ULL;
}

bool LineClosed(Handle) { return false; }

bool WaitForRx(Handle handle, unsigned int ms) {
  if (RxCount(handle) > 0) return true;
  const std::uint64_t deadline = g_fakeLine.nowUs + ms * 1000ULL;
  if (g_fakeLine.readPos < g_fakeLine.incoming.size() && ArrivalUs(g_fakeLine.readPos) <= deadline) {
    g_fakeLine.nowUs = ArrivalUs(g_fakeLine.readPos);
    return true;
  }
  SleepMs(ms);
  return false;
}

std::uint64_t MonotonicUs() { return g_fakeLine.nowUs; }

}  // namespace serial_platform
