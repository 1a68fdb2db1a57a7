#include "program_chip.h"

#include "boot_loader.h"
#include "console.h"
#include "fast_mode.h"
#include "program_records.h"
#include "rs.h"
#include "run_notes.h"
#include "run_settings.h"
#include "run_summary.h"
#include "slow_answer_hint.h"

void ReportOutcome(bool success, const RunReport& report) {
  NewLine();
  Print(success ? "Success" : "Fail");
  NewLine();
  Beep();
  const int port = g_runSettings.portIndex;
  ReportSlowAnswers(port, report);
  // What to look at: a port that did not open was named at the start.
  if (!success && RsLineClosed(port)) {
    WriteNote(kLineClosedNote);
  } else if (report.noSync && RsOpenFailure(port).empty()) {
    WriteNote(kNoSyncHint);
  }
  ReportRunSummary(success, report);
}

bool ProgramChip() {
  const RunSettings& settings = g_runSettings;
  RunReport report;
  if (settings.fast) {
    const bool success = ProgramChipFast(settings.programFileName, settings.maxRate, settings.clockMhz, &report);
    ReportOutcome(success, report);
    return success;
  }
  RsFlush(settings.portIndex);
  Print("WAIT H3048 Boot mode...");
  bool success = SynchroniseBoot(settings.portIndex, &report.noSync) && LoadWriteControlProgram(&report.echoUs) == 1;
  if (success) {
    Beep();
    success = ProgramRecords(settings.programFileName, &report.sent) == 1;
  }
  ReportOutcome(success, report);
  return success;
}
