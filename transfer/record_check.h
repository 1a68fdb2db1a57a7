// The check of a program file before any of it goes to the chip.
//
// The write-control program in the chip trusts every character it gets: it
// never verifies a checksum, takes any character inside a record as a hex
// digit, programs an address beyond the flash at the address modulo
// H'20000, stops for good at an end record or at a type it does not handle,
// and a record without data bytes makes it swallow the records that follow
// as data. So every line that begins with "S" must be a well-formed Motorola
// S-record the chip handles, and the check also says which of them are
// worth sending.
//
// Lines are counted as lines of the file: the pieces of a line longer than
// the reader's buffer count once. Before the end record, a line that does
// not begin with "S" and holds a NUL byte is refused ("NUL byte"): the NUL
// hides the rest of the line, which may be a record. A line that is a data
// record behind a UTF-8 byte-order mark or blanks/tabs is refused as well
// ("byte-order mark before record", "blanks before record"): only lines
// that begin with "S" are sent, so its bytes would be missing from the
// flash. A header or end record behind them carries nothing for the flash;
// such a line is not checked and not sent. The blanks may run past the
// reader's cut: the rest of such a line is read on after them.
//
// The rules for a line beginning with "S", in the order they are tested:
//   "after end record"  an S7, S8 or S9 record came before it
//   "too long"          longer than the reader's buffer (no record the chip
//                       takes comes near it)
//   "type"              the type is not a digit 0..9 other than 4
//   "not hex"           a character after the type is not a hex digit
//                       (either case); trailing blanks, tabs and CRs are
//                       allowed
//   "odd length"        the hex digits do not make whole bytes
//   "too short"         no count byte, or a count below the address field
//                       plus the checksum (2 bytes: S0 S1 S5 S9, 3: S2 S6
//                       S8, 4: S3 S7)
//   "count"             the count differs from the number of bytes after it
//   "checksum"          the checksum is wrong
//   "outside flash (H'20000)"
//                       S1/S2/S3 data beyond H'1FFFF, with the record's
//                       first address past it
//   "record count"      an S5/S6 count differs from the number of S1/S2/S3
//                       records before it
// And at the end of the file, on its last line:
//   "no end record (the file may be cut off)"
//                       the last record is a data record, and no S7, S8 or
//                       S9 came: the chip would take what came, and the
//                       rest of the file would be missing from the flash
// Other lines that do not begin with "S" are not records and are not checked.
#ifndef KORVEL_TRANSFER_RECORD_CHECK_H
#define KORVEL_TRANSFER_RECORD_CHECK_H

#include <cstdint>
#include <string>
#include <vector>

#include "record_file_reader.h"

// The last flash address of the chip; data records must stay within it.
constexpr unsigned long kFlashLastAddress = 0x1FFFF;

enum class RecordAction {
  kIgnore,  // not a record: the line does not begin with "S"
  kSend,    // a good record for the chip
  kSkip,    // a good record that carries nothing for the chip: S5/S6 count
            // records, S1/S2/S3 without data, S0 without header bytes
  kReject,  // a bad record: the file must not be sent
};

struct RecordVerdict {
  RecordAction action;
  const char* reason;  // for kReject a short word or two (see above), else "";
                       // valid until the checker's next call
  unsigned dataBytes = 0;  // for kSend of a data record: its bytes for the flash
};

// Checks the lines of one file in order, as the record file reader returns
// them. Stop at the first kReject: the state after it means nothing.
class RecordChecker {
 public:
  // shape: what the reader knows of the line (see RecordFileReader::Shape).
  // The rest of a cut line does not count as a line; it is kIgnore unless
  // it holds a NUL byte before the end record.
  RecordVerdict Check(const char* line, LineShape shape = {});
  // After the file's last line: kReject when the file ends in its data.
  RecordVerdict Finish() const;
  // 1-based number of the file line last checked, counting every line.
  unsigned long LineNumber() const { return lineNumber_; }
  // Whether a record with bytes for the flash (S1/S2/S3 with data) came.
  bool HasFlashData() const { return flashRecords_ > 0; }

 private:
  unsigned long lineNumber_ = 0;
  unsigned long dataRecords_ = 0;   // S1/S2/S3 records so far
  unsigned long flashRecords_ = 0;  // ... of them with data
  bool ended_ = false;              // an S7/S8/S9 record came
  bool lastWasData_ = false;        // the last record was S1, S2 or S3
  std::string head_;                // of a cut line, see OpenHead
  std::string reason_;              // a reason made for this record
};

struct RecordCheckResult {
  bool ok = true;
  unsigned long lineNumber = 0;  // the first bad line, 1-based; 0 when ok
  std::string reason;
};

// "outside flash (H'20000)": the reason for bytes from start on that leave
// the flash, naming the first of them beyond it.
std::string OutsideFlash(std::uint64_t start);

// The value of one hex digit, either case; -1 for any other character.
int HexValue(char c);

// The whole check over the lines of a file, each a whole line that the
// reader would hand out in pieces if it is long, and the end of the file.
RecordCheckResult CheckRecordLines(const std::vector<std::string>& lines);

#endif
