#ifndef KORVEL_APP_PROGRAM_CHIP_H
#define KORVEL_APP_PROGRAM_CHIP_H

#include "run_report.h"

// The programming sequence: synchronisation with the boot program,
// confirmation, loading of the write-control program, record transfer and
// the final report. The outcome is shown on the console; it is also
// returned, for --exit-status.
bool ProgramChip();

// The final report: line end, "Success" or "Fail", line end, bell; then,
// on standard error, the hint about slow answers (when the echoes came
// late) and the summary line, both read from the run's report (an
// empty one for a run that stopped before the chip).
void ReportOutcome(bool success, const RunReport& report = RunReport());

#endif
