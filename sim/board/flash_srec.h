// Flash contents as files: Motorola S-records in and out, raw images in.
// Used for preloading the virtual chip's flash and for dumping it after a
// run, and by the tests to compare what was programmed with the file sent.
#ifndef KORVEL_SIM_FLASH_SREC_H
#define KORVEL_SIM_FLASH_SREC_H

#include <cstdint>
#include <string>
#include <vector>

// A picture of the 128 KB flash: the bytes (H'FF where nothing is given)
// and which of them a file gave.
struct FlashImage {
  std::vector<std::uint8_t> bytes;
  std::vector<bool> present;
  FlashImage();
  std::size_t PresentCount() const;
};

// Reads S1/S2/S3 data records into image; S0, S5, S7-S9 are accepted and
// ignored. Addresses are taken modulo 128 KB, as the write-control program
// does. Checks each record's count and checksum. False with a reason (and
// the line number) on the first bad line; blank lines are skipped.
bool ParseSrecords(const std::string& text, FlashImage* image, std::string* why);

// Reads a file for preloading: S-records when its first character is "S",
// otherwise a raw image from offset 0 of at most 128 KB.
bool LoadFlashFile(const std::string& path, FlashImage* image, std::string* why);

// S2 records (24-bit addresses) of up to 32 bytes for the cells marked in
// include, with an S0 header and an S8 end record; CR LF line ends.
std::string FormatSrecords(const std::uint8_t* cells, const std::vector<bool>& include,
                           const std::string& header = "h8board");

#endif
