#include "program_chip.h"

#include "boot_loader.h"
#include "console.h"
#include "program_records.h"
#include "rs.h"
#include "run_notes.h"
#include "run_settings.h"
#include "run_summary.h"
#include "slow_answer_hint.h"

namespace {

constexpr int kSyncTries = 10;
constexpr int kSyncByte = 0x00;
constexpr int kConfirmByte = 0x55;
constexpr int kConfirmAnswer = 0xAA;

bool g_noSync = false;  // the last run's ten tries all failed

// Brings the boot program into step with our bit rate, then confirms it.
// Nothing is flushed in between: a surplus answer is the next one read.
bool Synchronise(int port) {
  for (int attempt = 1; attempt <= kSyncTries; ++attempt) {
    Print(".");
    if (BootEcho(port, kSyncByte, kSyncByte) == 1) {
      Print("!");
      return BootEcho(port, kConfirmByte, kConfirmAnswer) == 1;
    }
  }
  g_noSync = true;
  return false;
}

}  // namespace

void ReportOutcome(bool success) {
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
  RsFlush(settings.portIndex);
  Print("WAIT H3048 Boot mode...");
  bool success = Synchronise(settings.portIndex) && LoadWriteControlProgram() == 1;
  if (success) {
    Beep();
    success = ProgramRecords(settings.programFileName) == 1;
  }
  ReportOutcome(success);
}
