#ifndef KORVEL_TESTS_FAKE_SERIAL_PLATFORM_H
#define KORVEL_TESTS_FAKE_SERIAL_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct FakeLine {
  std::vector<std::uint8_t> incoming;  // what the far end has sent
  std::size_t readPos = 0;
  std::vector<std::uint8_t> outgoing;  // what we wrote
  unsigned long long sleptMs = 0;
};

extern FakeLine g_fakeLine;

#endif
