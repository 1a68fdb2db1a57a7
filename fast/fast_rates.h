// The bit rates the fast mode can offer a chip, from what its boot program
// set SCI1's bit-rate register to when it aligned to 9600 bit/s.
#ifndef KORVEL_FAST_FAST_RATES_H
#define KORVEL_FAST_FAST_RATES_H

#include <vector>

// The boot program's own rate; it ends every ladder.
constexpr long kBootRate = 9600;
// The highest rate --max-rate takes, and the cap when it is not given:
// above anything SCI1 can run at (phi/32 at its top clock).
constexpr long kHighestRate = 10000000;
// The largest rate error a rate may have, in the worst case, to be offered.
constexpr double kMaxRateError = 0.02;

// The system clock the boot program's BRR stands for, in Hz:
// 32 x 9600 x (BRR + 1).
double ClockFromBootBrr(int bootBrr);

// The common crystal among every clock that would have made the boot
// program choose bootBrr (half a step either way), nearest to
// ClockFromBootBrr; 0 when none lies there.
double CommonCrystal(int bootBrr);

// What the host knows of the chip's clock, in Hz: its estimate and the
// range the real clock lies in.
struct ChipClock {
  double low, hz, high;
};

// From the boot program's BRR: its rounding leaves the clock known to half
// a step of that BRR either way.
ChipClock ClockOfBootBrr(int bootBrr);

// From the crystal the user names (--clock): known exactly.
ChipClock GivenClock(double hz);

// Whether a named clock could have made the boot program choose bootBrr.
bool ClockFitsBootBrr(double hz, int bootBrr);

// BRR for rate at the clock's estimate (clock select 0), or -1 when no
// value 0..255 gives it.
int BrrForRate(const ChipClock& clock, long rate);

// The worst rate error of BrrForRate's value over the clock's range, as a
// fraction (0.01 = 1%).
double WorstRateError(const ChipClock& clock, long rate);

// One rung: the rate the host is set to and the BRR the chip runs it with,
// phi/(32 x (brr + 1)).
struct LadderRate {
  long rate;
  int brr;
};

// The chip's own rates phi/(32 x (N + 1)), N = 0, 1, 2, ..., fastest first,
// above 9600 (the rate the chip already runs at) and no faster than
// maxRate. Where a standard rate of the serial drivers falls on a BRR
// within kMaxRateError it is offered in place of the computed one, which
// is rounded to whole bit/s. Every rung is within kMaxRateError.
std::vector<LadderRate> RateLadder(const ChipClock& clock, long maxRate);

// True for the rates --max-rate takes: 9600 to kHighestRate.
bool IsMaxRate(long rate);

// The crystals --clock takes, in MHz: the clock range
// the H8/3048F runs at (2 to 16 MHz).
constexpr double kLowestClockMhz = 2, kHighestClockMhz = 16;
bool IsClockMhz(double mhz);

#endif
