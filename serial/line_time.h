// Time on the line to the chip at the boot program's 9600 bit/s 8N1: 10
// bits a character (start bit, 8 data bits, stop bit), 1.04 ms. The boot
// load and the record exchange run at this rate throughout; the fast mode
// starts at it and may then change rate (fast/fast_rates.cpp).
#ifndef KORVEL_SERIAL_LINE_TIME_H
#define KORVEL_SERIAL_LINE_TIME_H

#include <cstddef>

constexpr unsigned long kLineBitsPerSecond = 9600;
constexpr unsigned long kBitsPerCharacter = 10;

// How long the characters take on the line, in milliseconds.
constexpr double LineTimeExactMs(double characters) {
  return characters * kBitsPerCharacter * 1000.0 / kLineBitsPerSecond;
}

// The same in whole milliseconds, rounded up.
constexpr int LineTimeMs(std::size_t characters) {
  return static_cast<int>((static_cast<unsigned long>(characters) * kBitsPerCharacter * 1000 + kLineBitsPerSecond - 1) /
                          kLineBitsPerSecond);
}

#endif
