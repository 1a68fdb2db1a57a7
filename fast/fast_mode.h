// The fast mode: korvel's own program in the chip's RAM, the fastest bit
// rate the board's crystal allows, blocks with a CRC and a read-back of
// everything programmed.
#ifndef KORVEL_FAST_FAST_MODE_H
#define KORVEL_FAST_FAST_MODE_H

#include "run_report.h"

// Checks the file, synchronises with the boot program, loads the fast-mode
// program and programs the file's bytes through it at no more than
// maxRate bit/s, its rates taken from clockMhz (0: from the boot program's
// BRR). True only when the read-back of every range matched the
// file. What it measured goes into *report (noSync, echoUs, fast); the
// final report is the caller's.
bool ProgramChipFast(const char* fileName, long maxRate, double clockMhz, RunReport* report);

#endif
