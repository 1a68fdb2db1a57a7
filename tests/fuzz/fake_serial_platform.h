#ifndef KORVEL_TESTS_FAKE_SERIAL_PLATFORM_H
#define KORVEL_TESTS_FAKE_SERIAL_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <vector>

// One line on a virtual clock: sleeps and waits move nowUs, nothing is
// really waited.
struct FakeLine {
  std::vector<std::uint8_t> incoming;  // what the far end has sent
  // When each incoming byte arrives, in order; a byte beyond the list's
  // end is there from the start.
  std::vector<std::uint64_t> arrivesAtUs;
  std::size_t readPos = 0;
  std::vector<std::uint8_t> outgoing;  // what we wrote
  unsigned long long sleptMs = 0;      // sleeps, and waits that ran out
  std::uint64_t nowUs = 0;
};

extern FakeLine g_fakeLine;

#endif
