// A serial backend with no device behind it: the receive queue is a byte
// buffer the fuzz target fills, writes are collected, sleeps only counted.
#include "fake_serial_platform.h"

#include "serial_platform.h"

FakeLine g_fakeLine;

namespace serial_platform {

std::string DefaultDeviceName(int port) { return "fake" + std::to_string(port); }

bool Open(const std::string&, const LineSettings&, Handle* handle, std::string*) {
  *handle = 1;
  return true;
}

bool Close(Handle) { return true; }

int RxCount(Handle) { return static_cast<int>(g_fakeLine.incoming.size() - g_fakeLine.readPos); }

int ReadByte(Handle, unsigned char* byte) {
  if (g_fakeLine.readPos >= g_fakeLine.incoming.size()) return 0;
  *byte = g_fakeLine.incoming[g_fakeLine.readPos++];
  return 1;
}

bool WriteByte(Handle, unsigned char byte) {
  g_fakeLine.outgoing.push_back(byte);
  return true;
}

bool SetControlLine(Handle, ControlLine, bool) { return true; }

void SleepMs(unsigned int ms) { g_fakeLine.sleptMs += ms; }

}  // namespace serial_platform
