// The bit rates the fast mode can offer a chip, from what its boot program
// set SCI1's bit-rate register to when it aligned to 9600 bit/s.
#ifndef KORVEL_FAST_FAST_RATES_H
#define KORVEL_FAST_FAST_RATES_H

#include <vector>

// The rates tried, fastest first; 9600 is the boot program's own and ends
// every ladder.
constexpr long kFastRates[] = {115200, 57600, 38400, 19200};
constexpr long kBootRate = 9600;
// The largest rate error a rate may have, in the worst case, to be offered.
constexpr double kMaxRateError = 0.02;

// The system clock the boot program's BRR stands for, in Hz:
// 32 x 9600 x (BRR + 1).
double ClockFromBootBrr(int bootBrr);

// BRR for rate at the clock that bootBrr stands for (clock select 0), or -1
// when no value 0..255 gives it.
int BrrForRate(int bootBrr, long rate);

// The worst rate error of BrrForRate's value over every clock that would
// have made the boot program choose bootBrr (its rounding leaves the clock
// known to half a step of that BRR either way), as a fraction (0.01 = 1%).
double WorstRateError(int bootBrr, long rate);

// The rates to try, fastest first, no faster than maxRate, each within
// kMaxRateError; never 9600 (the rate the chip already runs at).
std::vector<long> RateLadder(int bootBrr, long maxRate);

// True for the rates --max-rate takes: the ladder's and 9600.
bool IsLadderRate(long rate);

#endif
