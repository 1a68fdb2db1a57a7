// Reads a program file one line at a time, without the line end.
//
// Open reads the whole file into memory, once: the lines checked and the
// lines sent are the same bytes, and a pipe or a named pipe, which can be
// read only once, works like a file. Rewind goes back to the first line.
//
// The reader works on the file's raw bytes and applies its own text
// translation, so every build reads a file the same way:
//   - CR LF becomes LF, wherever the pair lies;
//   - a CR not followed directly by LF stays as it is;
//   - the first 0x1A (Ctrl-Z) ends the text; nothing after it is returned;
//   - every other byte passes unchanged.
// A line is at most kMaxLineLength characters; a longer one comes back in
// pieces of that length, the remainder as one more line, none marked as a
// piece (Shape() tells the pieces apart). The record transfer sends lines
// exactly as returned here.
#ifndef KORVEL_TRANSFER_RECORD_FILE_READER_H
#define KORVEL_TRANSFER_RECORD_FILE_READER_H

#include <cstddef>
#include <memory>
#include <string>

// What the reader knows of the line it returned last, beyond its text.
struct LineShape {
  bool cut = false;           // stopped at kMaxLineLength; the line goes on
  bool continuation = false;  // the rest of a line whose start was cut
  bool hasNul = false;        // a NUL byte hides the rest of the piece
};

// Why the last Open failed.
enum class OpenFailure {
  kNone,
  kCannotOpen,  // missing, a folder, unreadable
  kTooLarge,    // more than kMaxFileBytes
};

// The 1-based line of the first Ctrl-Z in a file's bytes when more than
// blanks, line ends and Ctrl-Zs follow it: a Ctrl-Z that cuts the text
// short, records perhaps behind it. 0 for none.
unsigned long CtrlZCutLine(const std::string& bytes);

// The refusal of a text that ends at such a Ctrl-Z before an end record.
constexpr char kCtrlZBeforeEnd[] = "no end record before a Ctrl-Z (H'1A), which ends the text";

class RecordFileReader {
 public:
  static constexpr std::size_t kBufferSize = 1024;
  static constexpr std::size_t kMaxLineLength = kBufferSize - 1;
  // The largest file taken: an S-record file for a 128 KB flash is a few
  // hundred KB at most.
  static constexpr std::size_t kMaxFileBytes = 64ul * 1024 * 1024;

  RecordFileReader();
  ~RecordFileReader();
  RecordFileReader(const RecordFileReader&) = delete;
  RecordFileReader& operator=(const RecordFileReader&) = delete;

  // Closes a file that is open, then reads the named one whole into memory.
  // Never creates a file. 1 when read; 0 otherwise (Failure() says why),
  // and the reader is then closed even if a file was open before. A name
  // that opens but cannot be read from its first byte (a directory, for
  // one) counts as not opened; a read failure later ends the file there.
  int Open(const char* fileName);

  // Takes these bytes as the file's contents, as Open does with a file's.
  void OpenBytes(std::string bytes);

  // Back to the first line of the file read last. Always 1 when one is open.
  int Rewind();

  // Drops the file's contents. Always 1.
  int Close();

  // Why the last Open returned 0.
  OpenFailure Failure() const { return failure_; }

  // The file's bytes as read, untranslated; empty when none is open.
  const std::string& Bytes() const { return bytes_; }

  // The next line as a zero-terminated string in the reader's buffer, valid
  // until the next call or the reader's end; nullptr when the text is done
  // or no file is open. A NUL byte ends the line as the caller sees it.
  const char* ReadLine();

  // The shape of the line ReadLine returned last.
  LineShape Shape() const { return shape_; }

 private:
  // The next character of the translated text, or -1 at its end.
  int NextTextChar();

  std::unique_ptr<char[]> buffer_;
  std::string bytes_;
  std::size_t position_ = 0;
  int open_ = 0;
  bool textEnded_ = false;
  OpenFailure failure_ = OpenFailure::kNone;
  LineShape shape_;
};

#endif
