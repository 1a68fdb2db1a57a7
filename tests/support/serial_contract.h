// What every serial backend (serial_platform.h) must do, on a line whose
// far end answers, stays silent and vanishes. The far end is the test's:
// once it has received H'00 H'55 it answers H'00 H'AA, as the boot program
// does, and once it has received 'V' it goes away. Failures come back as
// text, one line each, so that the same check runs in a test and, for the
// Windows backend, in a plain program under Wine.
#ifndef KORVEL_TESTS_SERIAL_CONTRACT_H
#define KORVEL_TESTS_SERIAL_CONTRACT_H

#include <functional>
#include <string>

#include "serial_platform.h"

// poke: lets a far end that runs on the caller's thread act (a virtual line).
inline std::string CheckSerialContract(const std::string& device, const std::function<void()>& poke = [] {}) {
  using namespace serial_platform;
  std::string failures;
  auto check = [&failures](bool ok, const char* what) { failures += ok ? "" : std::string(what) + "\n"; };
  auto waitedFully = [](Handle h, unsigned ms) {
    const std::uint64_t start = MonotonicUs();
    return !WaitForRx(h, ms) && MonotonicUs() - start >= ms * 1000ULL;
  };
  Handle h = 0;
  std::string why;
  if (!Open(device, {9600, 8, Parity::None, StopBits::One}, &h, &why)) return "open: " + why + "\n";
  unsigned char byte = 0xEE;
  check(RxCount(h) == 0 && ReadByte(h, &byte) == 0 && !WaitForRx(h, 0) && waitedFully(h, 50), "silent: a byte came");
  const unsigned char sync[] = {0x00, 0x55};
  check(WriteBytes(h, sync, 0) && WriteBytes(h, sync, 2), "answers: write");
  poke();
  check(WaitForRx(h, 2000), "answers: nothing came");
  for (int i = 0; i < 100 && RxCount(h) < 2; ++i) SleepMs(1);  // a real line may hand them over one by one
  check(RxCount(h) == 2 && WaitForRx(h, 0) && RxCount(h) == 2, "answers: the count, or a wait that took a byte");
  check(ReadByte(h, &byte) == 1 && byte == 0x00 && ReadByte(h, &byte) == 1 && byte == 0xAA, "answers: read");
  check(ReadByte(h, &byte) == 0 && RxCount(h) == 0, "answers: a third byte");
  check(WriteByte(h, 'V'), "vanishes: write");
  poke();
  SleepMs(100);
  check(waitedFully(h, 50), "vanishes: a wait returned early or said a byte came");
  check(RxCount(h) <= 0 && ReadByte(h, &byte) <= 0, "vanishes: a byte came");
  WriteByte(h, 0x00);  // may fail, must not hang
  check(Close(h), "close");
  return failures;
}

#endif
