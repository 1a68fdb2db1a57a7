// Host side of the record exchange with the running write-control program.
#ifndef KORVEL_TRANSFER_PROGRAM_RECORDS_H
#define KORVEL_TRANSFER_PROGRAM_RECORDS_H

// Takes the chip's start line, reads the program file (program_file.h),
// shows its refusal or sends each of its S-records and shows it with the
// chip's answer. 1 when the
// end of the file was reached and the chip accepted every record sent; 0
// otherwise.
int ProgramRecords(const char* programFileName);

// What the last ProgramRecords call sent, for the run summary: the record
// lines that went out (the last one also when the chip refused it or never
// answered), the data bytes of their S1/S2/S3 records, their characters,
// and the seconds from the first record out to the last answer.
struct RecordTally {
  unsigned long records = 0;
  unsigned long dataBytes = 0;
  unsigned long characters = 0;
  double seconds = 0;
};
const RecordTally& LastRecordTally();
// Empties the tally: a run that ends before its records shows none.
void ClearRecordTally();

#endif
