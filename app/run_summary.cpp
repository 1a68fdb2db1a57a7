#include "run_summary.h"

#include <cstdio>

#include "console.h"
#include "line_time.h"
#include "run_clock.h"

namespace {

double g_runStart = 0;

std::string Plural(unsigned long count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

}  // namespace

std::string FormatRunSummary(const RunFigures& f, const FastFigures& fast) {
  const RecordTally& sent = f.sent;
  char text[256];
  std::string line = std::string("korvel: ") + (f.success ? "Success" : "Fail") + ": ";
  if (fast.chosen && !fast.used) {
    line += "before the fast program's hello, nothing programmed";
  } else if (fast.used) {
    line += Plural(fast.blocks, "block") + ", " + Plural(fast.dataBytes, "data byte");
    std::snprintf(text, sizeof text, " in %.1f s", fast.seconds);
    line += text;
    if (fast.rate > 0) line += " at " + std::to_string(fast.rate) + " bit/s";  // 0: the chip was lost at a rate check
    std::snprintf(text, sizeof text, ", %u %s", fast.retries, fast.retries == 1 ? "retry" : "retries");
    line += text;
  } else {
    line += Plural(sent.records, "record") + ", " + Plural(sent.dataBytes, "data byte");
    std::snprintf(text, sizeof text, " in %.1f s", sent.seconds);
    if (sent.records > 0) line += text;
    if (sent.records > 0 && sent.seconds > 0) {
      const double lineShare = LineTimeExactMs(static_cast<double>(sent.characters)) / 1000 / sent.seconds * 100;
      std::snprintf(text, sizeof text, " (%.0f bytes/s; %s, %.0f%% of %.0f bit/s)", sent.dataBytes / sent.seconds,
                    Plural(sent.characters, "character").c_str(), lineShare, static_cast<double>(kLineBitsPerSecond));
      line += text;
    }
  }
  std::snprintf(text, sizeof text, "; %.1f s in all", f.runSeconds);
  return line + text;
}

void StartRunFigures() { g_runStart = RunClockSeconds(); }

void ReportRunSummary(bool success, const RunReport& report) {
  const RunFigures figures{success, report.sent, RunClockSeconds() - g_runStart};
  PrintErrorLine(FormatRunSummary(figures, report.fast));
}
