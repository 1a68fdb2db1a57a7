// The record exchange with the running write-control program: one record
// line out, one answer byte back, and only H'55 accepts the record.
#include "program_records.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "console.h"
#include "line_time.h"
#include "program_file.h"
#include "record_check.h"
#include "record_file_reader.h"
#include "rs.h"
#include "run_clock.h"
#include "run_progress.h"
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

void TallySent(const char* line, unsigned dataBytes, double startSeconds, RecordTally* sent) {
  ++sent->records;
  sent->dataBytes += dataBytes;
  sent->characters += std::strlen(line);
  sent->seconds = RunClockSeconds() - startSeconds;
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

// The records SendRecords will send, for the progress reports; counted
// only when somebody watches.
unsigned long RecordsToSend(const std::string& records) {
  if (!ProgressWatched()) return 0;
  RecordFileReader reader;
  reader.OpenBytes(records);
  RecordChecker checker;
  unsigned long count = 0;
  while (const char* line = reader.ReadLine()) {
    if (checker.Check(line, reader.Shape()).action == RecordAction::kSend) ++count;
  }
  return count;
}

// Sends the records of the file, checked whole before, one at a time. The
// checker runs again beside them for what each line is worth sending.
int SendRecords(int port, RecordFileReader& reader, unsigned long total, RecordTally* sent) {
  RecordChecker checker;
  const double startSeconds = RunClockSeconds();
  while (const char* line = reader.ReadLine()) {
    const RecordVerdict verdict = checker.Check(line, reader.Shape());
    if (verdict.action != RecordAction::kSend) continue;
    RsPuts(port, line);  // a failed write shows as a missing answer
    PrintLong(RecordEcho(line));
    // A write may return while the record is still queued in the driver (a
    // POSIX write() does), so the wait adds the record's own line time.
    const bool answered = RsWaitRx(port, kAnswerMs + LineTimeMs(std::strlen(line))) != 0;
    TallySent(line, verdict.dataBytes, startSeconds, sent);
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
    ReportProgress("records", static_cast<unsigned long>(sent->records), total);
  }
  return 1;
}

int TransferFile(int port, const char* fileName, RecordTally* sent) {
  const ProgramFile file = ReadProgramFile(fileName);
  if (!file.ok()) {
    PrintLong(file.refusal);
    NewLine();
    return 0;
  }
  Print("Program H3048...");
  NewLine();
  const unsigned long total = RecordsToSend(file.records);
  RecordFileReader reader;  // the lines checked are the lines sent
  reader.OpenBytes(file.records);
  return SendRecords(port, reader, total, sent);
}

}  // namespace

int ProgramRecords(const char* programFileName, RecordTally* sent) {
  const int port = g_runSettings.portIndex;
  const char* fileName = programFileName != nullptr ? programFileName : "";

  char startLine[kStartLineMax + 1];
  if (RsGetLine(port, startLine, kStartLineMax, kStartLineMs) == 1) {
    Print("%s", startLine);
    NewLine();
  }
  RsSleep(kSettleMs);
  RsFlush(port);

  RecordTally unused;
  return TransferFile(port, fileName, sent != nullptr ? sent : &unused);
}
