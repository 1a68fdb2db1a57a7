#include "run_clock.h"

#include <chrono>

namespace {

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double (*g_clock)() = SteadySeconds;

}  // namespace

double RunClockSeconds() { return g_clock(); }

void SetRunClock(double (*clock)()) { g_clock = clock != nullptr ? clock : SteadySeconds; }
