#include "program_chip.h"

#include "boot_loader.h"
#include "console.h"
#include "fast_mode.h"
#include "program_records.h"
#include "rs.h"
#include "run_settings.h"
#include "run_summary.h"
#include "slow_answer_hint.h"

void ReportOutcome(bool success) {
  NewLine();
  Print(success ? "Success" : "Fail");
  NewLine();
  Beep();
  ReportSlowAnswers(g_runSettings.portIndex);
  ReportRunSummary(success);
}

void ProgramChip() {
  const RunSettings& settings = g_runSettings;
  if (settings.fast) {
    ReportOutcome(ProgramChipFast(settings.programFileName, settings.maxRate));
    return;
  }
  RsFlush(settings.portIndex);
  Print("WAIT H3048 Boot mode...");
  bool success = SynchroniseBoot(settings.portIndex) && LoadWriteControlProgram() == 1;
  if (success) {
    Beep();
    success = ProgramRecords(settings.programFileName) == 1;
  }
  ReportOutcome(success);
}
