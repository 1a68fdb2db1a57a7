#include "run_summary.h"

#include <cstdio>

#include "program_records.h"
#include "run_clock.h"

namespace {

constexpr double kLineBitRate = 9600;
constexpr double kBitsPerCharacter = 10;  // 8N1: start, 8 data, stop

double g_runStart = 0;

std::string Plural(unsigned long count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

}  // namespace

std::string FormatRunSummary(const RunFigures& f) {
  char text[256];
  const std::string sent = Plural(f.records, "record") + ", " + Plural(f.dataBytes, "data byte");
  if (f.records == 0) {
    std::snprintf(text, sizeof text, "korvel: %s: %s; %.1f s in all", f.success ? "Success" : "Fail", sent.c_str(),
                  f.runSeconds);
    return text;
  }
  const double seconds = f.recordSeconds > 0 ? f.recordSeconds : 1e-9;
  const double lineShare = f.characters * kBitsPerCharacter / seconds / kLineBitRate * 100;
  std::snprintf(text, sizeof text, "korvel: %s: %s in %.1f s (%.0f bytes/s; %s, %.0f%% of %.0f bit/s); %.1f s in all",
                f.success ? "Success" : "Fail", sent.c_str(), f.recordSeconds, f.dataBytes / seconds,
                Plural(f.characters, "character").c_str(), lineShare, kLineBitRate, f.runSeconds);
  return text;
}

void StartRunFigures() { g_runStart = RunClockSeconds(); }

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
