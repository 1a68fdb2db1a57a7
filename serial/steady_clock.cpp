// MonotonicUs for both real backends: the steady clock their waits run on.
#include <chrono>

#include "serial_platform.h"

namespace serial_platform {

std::uint64_t MonotonicUs() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

}  // namespace serial_platform
