// How far the transfer has got, for a front end that draws a progress bar
// (the browser page). The console is not touched: with no watcher set,
// reporting costs nothing and the command line shows what it always did.
#ifndef KORVEL_RUNTIME_RUN_PROGRESS_H
#define KORVEL_RUNTIME_RUN_PROGRESS_H

#include <functional>

// unit: "records" (record mode) or "blocks" (fast mode); done of all.
using ProgressWatcher = std::function<void(const char* unit, unsigned long done, unsigned long all)>;

// An empty watcher stops the reports.
void SetProgressWatcher(ProgressWatcher watcher);

// A watcher is set: worth counting what a report needs beforehand.
bool ProgressWatched();

void ReportProgress(const char* unit, unsigned long done, unsigned long all);

#endif
