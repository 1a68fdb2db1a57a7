#include "record_file_reader.h"

#include <cstring>

namespace {
constexpr int kCr = 0x0D;
constexpr int kLf = 0x0A;
constexpr int kCtrlZ = 0x1A;
constexpr int kTextEnd = -1;
}  // namespace

RecordFileReader::RecordFileReader() : buffer_(std::make_unique<char[]>(kBufferSize)) { buffer_[0] = '\0'; }

RecordFileReader::~RecordFileReader() { Close(); }

int RecordFileReader::Open(const char* fileName) {
  Close();
  if (fileName == nullptr) return 0;
  // Binary mode: the translation below is ours, the same on every platform.
  // "rb" never creates the file, and the C runtime opens it shared, so other
  // programs may read and write it meanwhile.
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName, "rb"));
  if (!file) return 0;
  // Some systems open a directory for reading and fail only at the first
  // read; take that as a failed open, as Windows reports it.
  const int first = std::getc(file.get());
  if (first == EOF && std::ferror(file.get())) return 0;
  if (first != EOF) std::ungetc(first, file.get());
  file_ = std::move(file);
  open_ = 1;
  textEnded_ = false;
  shape_ = LineShape{};
  return 1;
}

int RecordFileReader::Close() {
  file_.reset();
  open_ = 0;
  return 1;
}

int RecordFileReader::NextTextChar() {
  if (textEnded_) return kTextEnd;
  std::FILE* file = file_.get();
  const int c = std::getc(file);
  if (c == EOF || c == kCtrlZ) {
    // End of file, read failure or Ctrl-Z: the text stays ended.
    textEnded_ = true;
    return kTextEnd;
  }
  if (c != kCr) return c;
  const int next = std::getc(file);
  if (next == kLf) return kLf;
  if (next != EOF) std::ungetc(next, file);
  return kCr;
}

const char* RecordFileReader::ReadLine() {
  char* line = buffer_.get();
  line[0] = '\0';
  if (open_ == 0) return nullptr;
  std::size_t count = 0;
  bool lineEnded = false;
  while (count < kMaxLineLength) {
    const int c = NextTextChar();
    if (c == kTextEnd) break;
    line[count++] = static_cast<char>(c);
    if (c == kLf) {
      lineEnded = true;
      break;
    }
  }
  if (count == 0) return nullptr;
  line[count] = '\0';
  const bool continuation = shape_.cut;
  if (void* lf = std::memchr(line, kLf, count)) *static_cast<char*>(lf) = '\0';
  const std::size_t textLength = lineEnded ? count - 1 : count;
  shape_ = LineShape{count == kMaxLineLength && !lineEnded, continuation,
                     std::memchr(line, '\0', textLength) != nullptr};
  return line;
}
