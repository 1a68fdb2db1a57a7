#include "record_file_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
constexpr int kCr = 0x0D;
constexpr int kLf = 0x0A;
constexpr int kCtrlZ = 0x1A;
constexpr int kTextEnd = -1;
constexpr std::size_t kChunk = 64 * 1024;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
}  // namespace

unsigned long CtrlZCutLine(const std::string& bytes) {
  const std::size_t at = bytes.find(static_cast<char>(kCtrlZ));
  if (at == std::string::npos || bytes.find_first_not_of(" \t\r\n\x1a", at) == std::string::npos) return 0;
  const auto before = bytes.begin() + static_cast<std::ptrdiff_t>(at);
  return 1 + static_cast<unsigned long>(std::count(bytes.begin(), before, '\n'));
}

RecordFileReader::RecordFileReader() : buffer_(std::make_unique<char[]>(kBufferSize)) { buffer_[0] = '\0'; }

RecordFileReader::~RecordFileReader() { Close(); }

int RecordFileReader::Open(const char* fileName) {
  Close();
  failure_ = OpenFailure::kCannotOpen;
  if (fileName == nullptr) return 0;
  // Binary mode: the translation below is ours, the same on every platform.
  // "rb" never creates the file, and the C runtime opens it shared, so other
  // programs may read and write it meanwhile.
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName, "rb"));
  if (!file) return 0;
  std::string bytes;
  std::size_t got = 0;
  do {
    // One byte past the limit tells a file over it from one that fills it.
    const std::size_t room = std::min(kChunk, kMaxFileBytes + 1 - bytes.size());
    bytes.resize(bytes.size() + room);
    got = std::fread(&bytes[bytes.size() - room], 1, room, file.get());
    bytes.resize(bytes.size() - room + got);
  } while (got > 0 && bytes.size() <= kMaxFileBytes);
  if (bytes.size() > kMaxFileBytes) {
    failure_ = OpenFailure::kTooLarge;
    return 0;
  }
  // Some systems open a directory for reading and fail only at the first
  // read; take that as a failed open, as Windows reports it. A failure
  // later ends the text where it came.
  if (bytes.empty() && std::ferror(file.get())) return 0;
  OpenBytes(std::move(bytes));
  return 1;
}

void RecordFileReader::OpenBytes(std::string bytes) {
  Close();
  bytes_ = std::move(bytes);
  open_ = 1;
  failure_ = OpenFailure::kNone;
  Rewind();
}

int RecordFileReader::Rewind() {
  position_ = 0;
  textEnded_ = false;
  shape_ = LineShape{};
  return open_;
}

int RecordFileReader::Close() {
  bytes_.clear();
  bytes_.shrink_to_fit();
  open_ = 0;
  return 1;
}

int RecordFileReader::NextTextChar() {
  if (textEnded_ || position_ >= bytes_.size() || bytes_[position_] == kCtrlZ) {
    // End of file or Ctrl-Z: the text stays ended.
    textEnded_ = true;
    return kTextEnd;
  }
  const int c = static_cast<unsigned char>(bytes_[position_++]);
  if (c == kCr && position_ < bytes_.size() && bytes_[position_] == kLf) {
    ++position_;
    return kLf;
  }
  return c;
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
