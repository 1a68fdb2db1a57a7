// The clock that the run summary's times are read from.
#ifndef KORVEL_RUNTIME_RUN_CLOCK_H
#define KORVEL_RUNTIME_RUN_CLOCK_H

// Seconds on a steady clock, or on the clock a test has set.
double RunClockSeconds();

// nullptr restores the steady clock.
void SetRunClock(double (*clock)());

#endif
