// Runs the rows of the run table and checks them: in process over the
// virtual board (board_line.h), or through the real korvel against h8board
// on a pseudo-terminal.
#ifndef KORVEL_TESTS_RUNS_RUN_HARNESS_H
#define KORVEL_TESTS_RUNS_RUN_HARNESS_H

#include <string>
#include <vector>

#include "run_table.h"

// The program file a row names, made on first use. Samples (blink.mot,
// blink_s3.mot, random32k_*.mot, top4k_s2_32.mot, random128k_s2_32.mot)
// come from tools/make_sample_records.sh; the others are built here:
// three.mot (S0, two S1 records of 16 bytes at H'100, S9), three_lf.mot
// (the same with LF line ends and a Ctrl-Z), bad_checksum.mot, no_data.mot,
// outside.mot, one_long_line.mot, bad_after_long.mot, damaged.mot,
// noise.bin, huge.mot (5 MB, the last record bad), cut_off.mot (three.mot
// up to its first data record), blanks_past_cut.mot (its first data record
// behind 1,100 blanks), 64mb.bin and 64mb_and_1.bin (NULs), folder.mot (a folder),
// missing.mot (none). "" when the tools for a sample are missing.
std::string ProgramFile(const std::string& name);

// Every expectation of the row; a failure names the row. In process on
// the virtual clock:
void RunInProcess(const RunRow& row);
// All at once through the real korvel (row i on its own h8board's pty), or
// korvel.exe under Wine (row i on COM<i+1>, one prefix for all).
void RunExecutables(const std::vector<RunRow>& rows, bool underWine);

// The row's console text with the tokens filled in, for this file.
std::string ExpandConsole(const std::string& text, const std::string& file);

#endif
