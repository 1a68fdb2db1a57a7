// A program as the flash takes it, whatever file it came from: pieces of
// bytes at their flash addresses, in the order the file holds them. The
// program file readers (program_file_formats.h) make it; the check below
// holds it to the flash, and the record maker turns it into the S-records
// the write-control program takes.
#ifndef KORVEL_TRANSFER_PROGRAM_IMAGE_H
#define KORVEL_TRANSFER_PROGRAM_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

struct FlashPiece {
  std::uint32_t address = 0;        // where the first byte goes
  std::vector<std::uint8_t> bytes;  // never empty
  unsigned long line = 0;           // the line of a text file that holds it; 0 in a binary file
  std::string place;                // the same for a message: "line 7", "section .data", "segment 2"
};
using ProgramImage = std::vector<FlashPiece>;

// What is wrong with a program file. line > 0: a line of a text file,
// shown as "Record error line N: reason"; 0: "File error: reason".
struct FileFault {
  unsigned long line = 0;
  std::string reason;  // "" when nothing is wrong
  bool Found() const { return !reason.empty(); }
};

// Every piece inside H'00000 to H'1FFFF ("outside flash (H'20000)"), and no byte
// given twice with different values ("overlaps line 3", "section .data
// overlaps section .text"): the first fault in file order, naming the
// later piece and the earlier one it contradicts.
FileFault CheckProgramImage(const ProgramImage& image);

// The S-records for a checked image: an S0 holding header (at most 252
// bytes of it), then its bytes in address order, every run of adjacent
// bytes in records of 16 from the run's start (S1 for a record that starts
// below H'10000, S2 above), then the end record (S9, or S8 after an S2),
// start address 0. Lines without line end.
std::vector<std::string> MakeRecords(const ProgramImage& image, const std::string& header);

#endif
