// Reads a program file one line at a time, without the line end.
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
#include <cstdio>
#include <memory>

// What the reader knows of the line it returned last, beyond its text.
struct LineShape {
  bool cut = false;           // stopped at kMaxLineLength; the line goes on
  bool continuation = false;  // the rest of a line whose start was cut
  bool hasNul = false;        // a NUL byte hides the rest of the piece
};

class RecordFileReader {
 public:
  static constexpr std::size_t kBufferSize = 1024;
  static constexpr std::size_t kMaxLineLength = kBufferSize - 1;

  RecordFileReader();
  ~RecordFileReader();
  RecordFileReader(const RecordFileReader&) = delete;
  RecordFileReader& operator=(const RecordFileReader&) = delete;

  // Closes a file that is open, then opens the named one for reading. Never
  // creates a file. 1 when opened; 0 otherwise, and the reader is then
  // closed even if a file was open before. A name that opens but cannot be
  // read from its first byte (a directory, for one) counts as not opened.
  int Open(const char* fileName);

  // Closes the file if one is open. Always 1.
  int Close();

  // The next line as a zero-terminated string in the reader's buffer, valid
  // until the next call or the reader's end; nullptr when the text is done
  // or no file is open. A read failure ends the text like the end of the
  // file. A NUL byte ends the line as the caller sees it.
  const char* ReadLine();

  // The shape of the line ReadLine returned last.
  LineShape Shape() const { return shape_; }

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  // The next character of the translated text, or -1 at its end.
  int NextTextChar();

  std::unique_ptr<char[]> buffer_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  int open_ = 0;
  bool textEnded_ = false;
  LineShape shape_;
};

#endif
