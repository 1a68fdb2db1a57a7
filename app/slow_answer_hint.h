// After the run: a word on standard error when the chip's answers came
// late, as they do through a USB serial adapter that holds received bytes
// back, and how to make that adapter pass them on at once.
#ifndef KORVEL_APP_SLOW_ANSWER_HINT_H
#define KORVEL_APP_SLOW_ANSWER_HINT_H

#include <string>

#include "run_report.h"

// Echoes of the boot load slower than this (median) are worth a hint: the
// line itself needs 2.1 ms for a byte and its echo.
constexpr double kSlowEchoMs = 8.0;

// The hint for a median echo time and the port's device name; empty when
// the echoes were not slow (or none came).
std::string SlowAnswerHint(double medianEchoMs, const std::string& device);

// Writes the hint for the run's boot load, if any, to standard error.
void ReportSlowAnswers(int port, const RunReport& report);

#endif
