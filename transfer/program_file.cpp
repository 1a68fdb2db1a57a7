#include "program_file.h"

#include "program_file_formats.h"
#include "record_check.h"
#include "record_file_reader.h"

namespace {

std::string LineRefusal(unsigned long line, const std::string& reason) {
  return "Record error line " + std::to_string(line) + ": " + reason;
}

// The file's name without its folders.
std::string BaseName(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

// The data bytes of a checked S1/S2/S3 line.
FlashPiece PieceOf(const char* line, unsigned long lineNumber) {
  const auto byteAt = [line](std::size_t index) {
    return static_cast<std::uint8_t>(HexValue(line[2 + 2 * index]) * 16 + HexValue(line[3 + 2 * index]));
  };
  const std::size_t addressBytes = static_cast<std::size_t>(line[1] - '0') + 1;  // S1: 2, S2: 3, S3: 4
  FlashPiece piece;
  for (std::size_t i = 1; i <= addressBytes; ++i) piece.address = piece.address << 8 | byteAt(i);
  for (std::size_t i = addressBytes + 1; i < byteAt(0); ++i) piece.bytes.push_back(byteAt(i));
  piece.line = lineNumber;
  piece.place = "line " + std::to_string(lineNumber);
  return piece;
}

// Reads every line through the check and gathers the data records' bytes;
// the refusal of the first bad line (or the last, for a file that ends in
// its data; the Ctrl-Z's, for a text that a Ctrl-Z ends), "" for none.
std::string CheckRecords(RecordFileReader& reader, ProgramImage* image) {
  RecordChecker checker;
  while (const char* line = reader.ReadLine()) {
    const RecordVerdict verdict = checker.Check(line, reader.Shape());
    if (verdict.action == RecordAction::kReject) return LineRefusal(checker.LineNumber(), verdict.reason);
    if (verdict.action == RecordAction::kSend && verdict.dataBytes > 0)
      image->push_back(PieceOf(line, checker.LineNumber()));
  }
  const RecordVerdict end = checker.Finish();
  if (end.action != RecordAction::kReject) return "";
  const unsigned long ctrlZ = CtrlZCutLine(reader.Bytes());
  return ctrlZ != 0 ? LineRefusal(ctrlZ, kCtrlZBeforeEnd) : LineRefusal(checker.LineNumber(), end.reason);
}

}  // namespace

ProgramFile ReadProgramFile(const char* fileName) {
  ProgramFile file;
  RecordFileReader reader;
  if (reader.Open(fileName) == 0) {
    file.refusal = std::string(reader.Failure() == OpenFailure::kTooLarge ? "File too large...[" : "File not Found...[") +
                   fileName + "]";
    return file;
  }
  file.records = reader.Bytes();
  const ProgramFileFormat format = ProgramFileFormatOf(fileName, file.records);
  if (format != ProgramFileFormat::kSRecords) {
    const ImageRead read = ReadProgramImage(format, file.records);
    if (read.fault.Found()) {
      file.refusal = read.fault.line != 0 ? LineRefusal(read.fault.line, read.fault.reason) : "File error: " + read.fault.reason;
      return file;
    }
    file.records.clear();  // an empty image gives a header and an end record: the check says so
    for (const std::string& line : MakeRecords(read.image, BaseName(fileName))) file.records += line + "\n";
    reader.OpenBytes(file.records);
  }
  file.refusal = CheckRecords(reader, &file.image);
  // Records that give a byte twice pass when they give it the same value.
  const FileFault overlap = file.refusal.empty() ? CheckProgramImage(file.image) : FileFault();
  if (overlap.Found()) file.refusal = LineRefusal(overlap.line, overlap.reason);
  if (file.refusal.empty() && file.image.empty()) file.refusal = std::string("No data records in file...[") + fileName + "]";
  return file;
}
