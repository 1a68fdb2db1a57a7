// The program file as both runs take it: read, held to the record check
// and to the flash, and in S-records whatever its format. Prints nothing:
// the run that asks shows the refusal at its own place.
#ifndef KORVEL_TRANSFER_PROGRAM_FILE_H
#define KORVEL_TRANSFER_PROGRAM_FILE_H

#include <string>

#include "program_image.h"

struct ProgramFile {
  bool ok() const { return refusal.empty(); }
  // When not ok, the console line that says why (without line end): "File
  // not Found...[name]", "File too large...[name]", "Record error line N:
  // reason" (also "overlaps line M"), "File error: reason" or "No data
  // records in file...[name]".
  std::string refusal;
  // The S-record text: the file's own lines, or those made of a file in
  // another format (program_file_formats.h).
  std::string records;
  // The data records' bytes at their flash addresses, each piece with the
  // line of records that holds it. A byte given twice has the same value.
  ProgramImage image;
};

ProgramFile ReadProgramFile(const char* fileName);

#endif
