// Intel HEX files against the records korvel makes of them, or the first
// fault; the binary formats are programmed whole from the run table's
// sample files (tools/make_sample_records.sh).
#include "program_file_formats.h"

#include <gtest/gtest.h>

#include "transfer_test_files.h"

namespace {

// One Intel HEX line: count, address, type, data, checksum.
std::string Hex(unsigned type, unsigned address, const std::vector<std::uint8_t>& data = {}) {
  std::vector<unsigned> bytes = {static_cast<unsigned>(data.size()), address >> 8 & 0xFF, address & 0xFF, type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  std::string line = ":";
  for (unsigned b : bytes) line += HexByte(b), sum += b;
  return line + HexByte(-sum & 0xFF) + "\r\n";
}

const std::string kEnd = Hex(1, 0);

// The records made, S0 left out, "no data", or "line N: reason" / "file: reason".
std::string Outcome(const std::string& contents) {
  const ImageRead read = ReadProgramImage(ProgramFileFormat::kIntelHex, contents);
  if (read.fault.Found()) return (read.fault.line != 0 ? "line " + std::to_string(read.fault.line) : "file") + ": " + read.fault.reason;
  if (read.image.empty()) return "no data";
  std::string records;
  for (const std::string& line : MakeRecords(read.image, "t")) records += line.rfind("S0", 0) == 0 ? "" : line + " ";
  return records;
}

TEST(IntelHex, RecordsMadeAndFaults) {
  const std::vector<std::uint8_t> a = Pattern(10, 1), b = Pattern(10, 2);
  std::vector<std::uint8_t> ab = a;
  ab.insert(ab.end(), b.begin(), b.end());
  const std::vector<std::uint8_t> first16(ab.begin(), ab.begin() + 16), last4(ab.begin() + 16, ab.end());
  const std::string s9 = MakeRecord(9, 0) + " ", s8 = MakeRecord(8, 0) + " ";
  const std::vector<std::pair<std::string, std::string>> cases = {
      // Adjacent lines make one run of 16-byte records; a byte given twice alike is no fault.
      {Hex(0, 0, a) + Hex(0, 10, b) + Hex(0, 19, {b[9]}) + kEnd,
       MakeRecord(1, 0, first16) + " " + MakeRecord(1, 16, last4) + " " + s9},
      // Linear (04) and segment (02) bases, to H'1FFFF; start addresses (03, 05), blank lines and lower case pass.
      {Hex(4, 0, {0, 1}) + Hex(0, 0xFFF6, a) + "\r\n" + Hex(5, 0, {0, 0, 1, 0}) + kEnd,
       MakeRecord(2, 0x1FFF6, a) + " " + s8},
      {Hex(2, 0, {0x0F, 0xFF}) + Hex(0, 0x10, {7}) + Hex(3, 0, {0, 0, 1, 0}) + "  \t\r\n" + "\n" + ":00000001ff\n",
       MakeRecord(2, 0x10000, {7}) + " " + s8},
      {Hex(0, 0, a) + Hex(0, 9, b) + kEnd, "line 2: overlaps line 1"},
      {Hex(4, 0, {0, 2}) + Hex(0, 0x40, a) + kEnd, "line 2: outside flash (H'20040)"}, {Hex(4, 0, {0, 1}) + Hex(0, 0xFFF8, a) + kEnd, "line 2: outside flash (H'20000)"},
      {Hex(0, 0, a) + kEnd + Hex(0, 0x40, b), "line 3: after end record"}, {Hex(0, 0, a) + Hex(0, 0x40, b), "line 2: no end record (the file may be cut off)"},
      // A Ctrl-Z ends the text: named where records follow it, not where only line ends do.
      {Hex(0, 0, a) + "\x1a" + Hex(0, 0x40, b) + kEnd,
       "line 2: no end record before a Ctrl-Z (H'1A), which ends the text"},
      {Hex(0, 0, a) + "\x1a\r\n\x1a", "line 1: no end record (the file may be cut off)"},
      {Hex(0, 0, a) + Hex(6, 0) + kEnd, "line 2: type"}, {Hex(2, 0, {1, 2, 3}) + kEnd, "line 1: count"},
      {":0400000001020304F1\n" + kEnd, "line 1: checksum"}, {kEnd, "no data"},
  };
  for (const auto& [contents, expected] : cases) EXPECT_EQ(Outcome(contents), expected) << contents;
}

// Known by the contents whatever the name. A name ending in .bin is no promise either: what plainly is another
// program file is refused, anything else is an image, however it starts.
TEST(ProgramFileFormat, KnownByItsContentsAndABinThatHoldsNoImage) {
  const std::string coff = std::string("\x83\x01\x00\x01", 4) + std::string(56, '\0'), nul(1, '\0'), no = ", not a raw image";
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"app.mot", "\r\n" + kEnd, "Intel HEX"}, {"app.hex", " " + kEnd, "S-records"}, {"app.HEX.Bin", kEnd, "Intel HEX" + no},
      {"a.bin", "S00600004844521B\r\nS9030000FC\r\n", "S-records" + no}, {"a.bin", "\r\n \nS9030000fc\x1a\x01", "S-records" + no},
      {"a.bin", std::string("\x7f" "ELF\x01\x02", 6), "ELF" + no}, {"a.bin", coff, "COFF" + no}, {"a.bin", coff.substr(0, 59), "image"},
      {"a.bin", coff.substr(0, 2) + std::string(62, '\0'), "image"}, {"a.bin", "S9030000FC\r\n" + nul, "image"},
      {"a.bin", "Speed 9600\n", "image"}, {"a.bin", nul + nul + "\x01", "image"}};
  for (const auto& [name, contents, expected] : cases) {
    const ProgramFileFormat format = ProgramFileFormatOf(name, contents);
    const std::string fault = ReadProgramImage(format, contents).fault.reason;  // "holds ..." for a .bin that is none
    EXPECT_EQ(format == ProgramFileFormat::kSRecords ? "S-records" : format == ProgramFileFormat::kIntelHex ? "Intel HEX"
              : fault.empty() ? "image" : fault.substr(6, fault.find(" (h8300-hms-objcopy -O binary makes one)") - 6), expected) << contents;
  }
}

}  // namespace
