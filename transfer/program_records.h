// Host side of the record exchange with the running write-control program.
#ifndef KORVEL_TRANSFER_PROGRAM_RECORDS_H
#define KORVEL_TRANSFER_PROGRAM_RECORDS_H

#include "run_report.h"

// Takes the chip's start line, reads the program file (program_file.h),
// shows its refusal or sends each of its S-records and shows it with the
// chip's answer. 1 when the end of the file was reached and the chip
// accepted every record sent; 0 otherwise. What went out is counted into
// *sent when given.
int ProgramRecords(const char* programFileName, RecordTally* sent = nullptr);

#endif
