// The record exchange with the running write-control program: one record
// line out, one answer byte back, and only H'55 accepts the record.
#include "program_records.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "console.h"
#include "line_time.h"
#include "program_file_formats.h"
#include "record_check.h"
#include "record_file_reader.h"
#include "rs.h"
#include "run_clock.h"
#include "run_settings.h"

namespace {

constexpr int kStartLineMax = 80;
constexpr unsigned int kStartLineMs = 1000;
constexpr unsigned int kSettleMs = 5;
constexpr int kAnswerMs = 500;  // from the record's last character on the wire
constexpr int kAccepted = 0x55;  // 'U': the chip took the whole record
// The rest of a failure text after its first character ("[FAIL]\r\n").
constexpr int kFailureTextMax = 80;
constexpr unsigned int kFailureTextMs = 100;

// The record as the console shows it: without the CRs that may trail it,
// which would move the cursor back over the record.
std::string RecordEcho(const char* line) {
  std::string echo(line);
  echo.erase(std::remove(echo.begin(), echo.end(), '\r'), echo.end());
  return echo + ":";
}

RecordTally g_tally;

void TallySent(const char* line, unsigned dataBytes, double startSeconds) {
  ++g_tally.records;
  g_tally.dataBytes += dataBytes;
  g_tally.characters += std::strlen(line);
  g_tally.seconds = RunClockSeconds() - startSeconds;
}

void ReportBadLine(unsigned long lineNumber, const char* reason) {
  Print("Record error line %lu: %s", lineNumber, reason);
  NewLine();
}

// The file's name without its folders.
std::string BaseName(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

// Reads the whole file through the check; false after showing the first bad
// line (or the last, for a file that ends in its data), or when no record
// holds bytes for the flash: such a file would
// program nothing, and the run must not end in "Success" for it.
bool CheckFile(RecordFileReader& reader, const char* fileName) {
  RecordChecker checker;
  while (const char* line = reader.ReadLine()) {
    const RecordVerdict verdict = checker.Check(line, reader.Shape());
    if (verdict.action == RecordAction::kReject) {
      ReportBadLine(checker.LineNumber(), verdict.reason);
      return false;
    }
  }
  if (const RecordVerdict end = checker.Finish(); end.action == RecordAction::kReject) {
    ReportBadLine(checker.LineNumber(), end.reason);
    return false;
  }
  if (!checker.HasFlashData()) {
    PrintLong(std::string("No data records in file...[") + fileName + "]");
    NewLine();
    return false;
  }
  return true;
}

// Shows an answer other than H'55. A printable one begins a text from the
// chip ("[FAIL]", "[COMPLETE]"), whose rest is shown with it.
void ReportRefusal(int port, int answer) {
  Print("NG");
  if (answer >= 0x20 && answer <= 0x7E) {
    char rest[kFailureTextMax + 1];
    RsGetLine(port, rest, kFailureTextMax, kFailureTextMs);
    Print(" %c%s", answer, rest);
  } else {
    Print(" %02X", answer);
  }
}

// Sends the records of the file, checked whole before, one at a time. The
// checker runs again beside them for what each line is worth sending.
int SendRecords(int port, RecordFileReader& reader) {
  RecordChecker checker;
  const double startSeconds = RunClockSeconds();
  while (const char* line = reader.ReadLine()) {
    const RecordVerdict verdict = checker.Check(line, reader.Shape());
    if (verdict.action == RecordAction::kReject) {
      ReportBadLine(checker.LineNumber(), verdict.reason);
      return 0;
    }
    if (verdict.action != RecordAction::kSend) continue;
    RsPuts(port, line);  // a failed write shows as a missing answer
    PrintLong(RecordEcho(line));
    // A write may return while the record is still queued in the driver (a
    // POSIX write() does), so the wait adds the record's own line time.
    const bool answered = RsWaitRx(port, kAnswerMs + LineTimeMs(std::strlen(line))) != 0;
    TallySent(line, verdict.dataBytes, startSeconds);
    if (!answered) {
      Print("NG");
      NewLine();
      return 0;
    }
    const int answer = RsGetc(port);
    if (answer != kAccepted) {
      ReportRefusal(port, answer);
      NewLine();
      return 0;
    }
    Print("OK:%c", answer);
    NewLine();
  }
  return 1;
}

int TransferFile(int port, RecordFileReader& reader, const char* fileName) {
  if (reader.Open(fileName) == 0) {
    PrintLong(std::string(reader.Failure() == OpenFailure::kTooLarge ? "File too large...[" : "File not Found...[") +
              fileName + "]");
    NewLine();
    return 0;
  }
  if (!TakeOtherFormat(reader, fileName) || !CheckFile(reader, fileName)) return 0;
  reader.Rewind();  // the lines checked are the lines sent
  Print("Program H3048...");
  NewLine();
  return SendRecords(port, reader);
}

}  // namespace

// A file in a format other than S-records (COFF, ELF, Intel HEX, a raw
// image) is read into a flash image, checked, and replaced by the S-records
// made of it, which then go the way of an S-record file's lines. false
// after showing what is wrong with it.
bool TakeOtherFormat(RecordFileReader& reader, const char* fileName) {
  const ProgramFileFormat format = ProgramFileFormatOf(fileName, reader.Bytes());
  if (format == ProgramFileFormat::kSRecords) return true;
  const ImageRead read = ReadProgramImage(format, reader.Bytes());
  if (read.fault.Found()) {
    if (read.fault.line != 0) {
      ReportBadLine(read.fault.line, read.fault.reason.c_str());
    } else {
      PrintLong("File error: " + read.fault.reason);
      NewLine();
    }
    return false;
  }
  std::string records;  // none for an empty image: the check says so
  if (!read.image.empty())
    for (const std::string& line : MakeRecords(read.image, BaseName(fileName))) records += line + "\n";
  reader.OpenBytes(std::move(records));
  return true;
}

const RecordTally& LastRecordTally() { return g_tally; }
void ClearRecordTally() { g_tally = RecordTally(); }

int ProgramRecords(const char* programFileName) {
  const int port = g_runSettings.portIndex;
  const char* fileName = programFileName != nullptr ? programFileName : "";

  char startLine[kStartLineMax + 1];
  if (RsGetLine(port, startLine, kStartLineMax, kStartLineMs) == 1) {
    Print("%s", startLine);
    NewLine();
  }
  RsSleep(kSettleMs);
  RsFlush(port);

  RecordFileReader reader;
  const int result = TransferFile(port, reader, fileName);
  reader.Close();
  return result;
}
