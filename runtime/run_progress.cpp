#include "run_progress.h"

#include <utility>

namespace {
ProgressWatcher g_watcher;
}

void SetProgressWatcher(ProgressWatcher watcher) { g_watcher = std::move(watcher); }

bool ProgressWatched() { return static_cast<bool>(g_watcher); }

void ReportProgress(const char* unit, unsigned long done, unsigned long all) {
  if (g_watcher) g_watcher(unit, done, all);
}
