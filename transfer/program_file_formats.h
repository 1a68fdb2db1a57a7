// The program file formats other than Motorola S-records, read into one
// ProgramImage (program_image.h): what toolchains write without an extra
// objcopy step.
//
//   COFF        the H8 GNU tools' own (magic H'8300 to H'8304: H8/300,
//               H8/300H, H8S and their normal modes): the sections with
//               contents that are loaded (not bss, noload, dsect, info,
//               pad or copy), at their physical address s_paddr
//   ELF         ELF32, big-endian, e_machine 46 to 48 (H8/300, H8/300H,
//               H8S): the PT_LOAD segments' file bytes at p_paddr; the
//               part of p_memsz beyond p_filesz is not programmed
//   Intel HEX   record types 00 (data), 01 (end), 02 and 04 (segment and
//               linear address), 03 and 05 (start address, ignored), each
//               line's checksum checked; lines read as the record file
//               reader does (CR LF, Ctrl-Z), trailing blanks allowed
//   raw image   a file whose name ends in ".bin" (any case): the flash
//               from H'00000, at most 128 KB
//
// An unlinked object (ELF ET_REL; COFF with relocations and without the
// executable flag) is refused: its addresses are not yet the program's.
#ifndef KORVEL_TRANSFER_PROGRAM_FILE_FORMATS_H
#define KORVEL_TRANSFER_PROGRAM_FILE_FORMATS_H

#include <string>

#include "program_image.h"

enum class ProgramFileFormat { kSRecords, kIntelHex, kCoff, kElf, kRawImage };

// By the contents, whatever the name says; the name only for a raw image.
// Intel HEX: every line that is not blank begins with ":" (and one does).
// Anything else is taken as S-records.
ProgramFileFormat ProgramFileFormatOf(const std::string& fileName, const std::string& contents);

// Reads contents in the given format (not kSRecords) and checks the image
// (CheckProgramImage). image is empty when the file holds no byte for the
// flash, and on a fault.
struct ImageRead {
  ProgramImage image;
  FileFault fault;
};
ImageRead ReadProgramImage(ProgramFileFormat format, const std::string& contents);

#endif
