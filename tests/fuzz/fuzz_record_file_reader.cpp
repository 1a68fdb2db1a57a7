// The record file reader over arbitrary file contents: its lines must be
// what a plain model of the translation gives (CR LF to LF, the text ends
// at the first Ctrl-Z, lines cut at LF or after 1023 characters, a NUL ends
// the line as the caller sees it), and the check over those lines must
// agree with the separate validator.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "record_check.h"
#include "record_file_reader.h"
#include "record_oracle.h"

namespace {

std::vector<std::string> ModelLines(const std::uint8_t* data, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0x1A) break;
    if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') continue;  // the LF follows
    text += static_cast<char>(data[i]);
  }
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t take = 0;
    while (take < RecordFileReader::kMaxLineLength && pos + take < text.size()) {
      if (text[pos + take++] == '\n') break;
    }
    std::string piece = text.substr(pos, take);
    pos += take;
    lines.push_back(piece.substr(0, piece.find_first_of(std::string("\n\0", 2))));
  }
  return lines;
}

const std::string& ScratchFile() {
  static const std::string path = [] {
    char name[] = "/tmp/korvel-fuzz-reader.XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    close(fd);
    return std::string(name);
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = ScratchFile();
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
  if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size) || close(fd) != 0) std::abort();

  RecordFileReader reader;
  if (reader.Open(path.c_str()) != 1) std::abort();
  std::vector<std::string> lines;
  while (const char* line = reader.ReadLine()) {
    if (std::strlen(line) > RecordFileReader::kMaxLineLength) std::abort();
    lines.emplace_back(line);
  }
  if (reader.ReadLine() != nullptr) std::abort();  // the text stays ended
  if (lines != ModelLines(data, size)) std::abort();

  RecordOracle oracle;
  bool good = true;
  for (const std::string& line : lines) good = good && oracle.Accepts(line);
  if (CheckRecordLines(lines).ok != good) std::abort();

  reader.Close();
  if (reader.ReadLine() != nullptr) std::abort();
  return 0;
}
