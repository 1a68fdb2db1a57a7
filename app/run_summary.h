// The one line on standard error that closes a programming run: outcome,
// what was sent, how long it took and how well the line was used.
#ifndef KORVEL_APP_RUN_SUMMARY_H
#define KORVEL_APP_RUN_SUMMARY_H

#include <string>

#include "run_report.h"

struct RunFigures {
  bool success = false;
  RecordTally sent;       // the records sent, and their time
  double runSeconds = 0;  // start of the run to the final bell
};

// "korvel: Success: 2050 records, 32768 data bytes in 94.7 s (346 bytes/s;
// 81962 characters, 90% of 9600 bit/s); 103.2 s in all". Without a record
// sent: "korvel: Fail: 0 records, 0 data bytes; 5.1 s in all"; the rates
// are left out when the records took no measurable time. No line end.
// A fast run (fast.used) names its blocks, rate and retries instead of the
// records: "korvel: Success: 128 blocks, 32768 data bytes in 4.6 s at
// 115200 bit/s, 0 retries; 6.9 s in all".
std::string FormatRunSummary(const RunFigures& figures, const FastFigures& fast = {});

// Starts the run's clock; Initialize calls it first.
void StartRunFigures();

// Writes the summary line of the run so far to standard error.
void ReportRunSummary(bool success, const RunReport& report);

#endif
