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

namespace {

bool g_noSync = false;  // the last run's ten tries all failed
bool g_succeeded = false;

}  // namespace

bool LastRunSucceeded() { return g_succeeded; }

void ReportOutcome(bool success) {
  g_succeeded = success;
  NewLine();
  Print(success ? "Success" : "Fail");
  NewLine();
  Beep();
  const int port = g_runSettings.portIndex;
  ReportSlowAnswers(port);
  // What to look at: a port that did not open was named at the start.
  if (!success && RsLineClosed(port)) {
    WriteNote(kLineClosedNote);
  } else if (g_noSync && RsOpenFailure(port).empty()) {
    WriteNote(kNoSyncHint);
  }
  ReportRunSummary(success);
}

void ProgramChip() {
  const RunSettings& settings = g_runSettings;
  g_noSync = false;
  if (settings.fast) {
    ReportOutcome(ProgramChipFast(settings.programFileName, settings.maxRate, &g_noSync));
    return;
  }
  RsFlush(settings.portIndex);
  Print("WAIT H3048 Boot mode...");
  bool success = SynchroniseBoot(settings.portIndex, &g_noSync) && LoadWriteControlProgram() == 1;
  if (success) {
    Beep();
    success = ProgramRecords(settings.programFileName) == 1;
  }
  ReportOutcome(success);
}
