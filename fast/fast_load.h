// The fast mode's load: the first stage's report of the boot BRR, the
// clocks the boot program aligns at, and the fast-mode program sent through
// the first stage (onchip/first_stage.s) at the fastest rate of the ladder
// that checks both ways.
#ifndef KORVEL_FAST_FAST_LOAD_H
#define KORVEL_FAST_FAST_LOAD_H

#include <cstdint>

#include "fast_rates.h"

// Whether the host's port can be set to rate at all (a driver, or Wine,
// that knows only a list of rates may refuse it), asked before the chip is;
// the port is left at current.
bool HostTakes(int port, long rate, long current);

// The boot BRR the first stage sends as it starts, or -1 when none came.
int FirstStageHello(int port);

// Whether bootBrr is what the boot program sets at a clock where it can
// align to 9600 bit/s: 8 to 16 MHz (H8/3048F hardware manual, boot mode
// section, Table 18-13, system clock frequencies for which automatic
// bit-rate adjustment is possible).
bool BootClockInRange(int bootBrr);

// What the load ended with: the rung the program runs at (brr -1 for the
// boot program's own 9600 bit/s) and its hello.
struct LoadedProgram {
  LadderRate rung{kBootRate, -1};
  int version = 0;
  std::uint32_t crcSent = 0, crcReported = 0;  // the load's CRC bytes, first on the line high
};

// Sends the fast-mode program at the ladder's rates of clock up to
// maxRate, fastest first, stepping down when a rate's check or the load
// fails; 9600 bit/s is the last. Prints a line for each rate that failed. False when none
// carried it.
bool LoadFastProgram(int port, int bootBrr, const ChipClock& clock, long maxRate, LoadedProgram* loaded);

#endif
