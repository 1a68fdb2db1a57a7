// Host side of the record exchange with the running write-control program.
#ifndef KORVEL_TRANSFER_PROGRAM_RECORDS_H
#define KORVEL_TRANSFER_PROGRAM_RECORDS_H

// Takes the chip's start line, checks the program file, then sends each of
// its S-records and shows it with the chip's answer. 1 when the end of the
// file was reached and the chip accepted every record sent; 0 otherwise.
int ProgramRecords(const char* programFileName);

#endif
