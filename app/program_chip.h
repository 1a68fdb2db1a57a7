#ifndef KORVEL_APP_PROGRAM_CHIP_H
#define KORVEL_APP_PROGRAM_CHIP_H

// The programming sequence: synchronisation with the boot program,
// confirmation, loading of the write-control program, record transfer and
// the final report. The outcome is shown on the console only.
void ProgramChip();

// The final report: line end, "Success" or "Fail", line end, bell; then,
// on standard error, the hint about slow answers (when the echoes came
// late) and the summary line.
void ReportOutcome(bool success);

// What the last ReportOutcome said, for --exit-status.
bool LastRunSucceeded();

#endif
