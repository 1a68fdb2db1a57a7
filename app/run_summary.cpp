#include "run_summary.h"

#include <cstdio>

#include "boot_loader.h"
#include "line_time.h"
#include "program_records.h"
#include "run_clock.h"

namespace {

double g_runStart = 0;

std::string Plural(unsigned long count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

}  // namespace

std::string FormatRunSummary(const RunFigures& f) {
  char text[256];
  std::string line = std::string("korvel: ") + (f.success ? "Success" : "Fail") + ": " + Plural(f.records, "record") +
                     ", " + Plural(f.dataBytes, "data byte");
  if (f.records > 0) {
    std::snprintf(text, sizeof text, " in %.1f s", f.recordSeconds);
    line += text;
  }
  if (f.records > 0 && f.recordSeconds > 0) {
    const double lineShare = LineTimeExactMs(static_cast<double>(f.characters)) / 1000 / f.recordSeconds * 100;
    std::snprintf(text, sizeof text, " (%.0f bytes/s; %s, %.0f%% of %.0f bit/s)", f.dataBytes / f.recordSeconds,
                  Plural(f.characters, "character").c_str(), lineShare,
                  static_cast<double>(kLineBitsPerSecond));
    line += text;
  }
  std::snprintf(text, sizeof text, "; %.1f s in all", f.runSeconds);
  return line + text;
}

void StartRunFigures() {
  g_runStart = RunClockSeconds();
  ClearBootLoadTimes();
  ClearRecordTally();
}

void ReportRunSummary(bool success) {
  const RecordTally& tally = LastRecordTally();
  RunFigures figures;
  figures.success = success;
  figures.records = tally.records;
  figures.dataBytes = tally.dataBytes;
  figures.characters = tally.characters;
  figures.recordSeconds = tally.seconds;
  figures.runSeconds = RunClockSeconds() - g_runStart;
  std::fprintf(stderr, "%s\n", FormatRunSummary(figures).c_str());
  std::fflush(stderr);
}
