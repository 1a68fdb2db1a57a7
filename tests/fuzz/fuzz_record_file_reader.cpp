// The record file reader over arbitrary file contents: its lines must be
// what a plain model of the translation gives (CR LF to LF, the text ends
// at the first Ctrl-Z, lines cut at LF or after 1023 characters, a NUL ends
// the line as the caller sees it), and the check over those lines must
// agree with the separate validator.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "record_check.h"
#include "record_file_reader.h"
#include "record_oracle.h"

namespace {

struct ModelLine {
  std::string text;  // as the caller sees it: up to the LF or the first NUL
  LineShape shape;
  std::string piece;  // all of it, NULs and what follows them included
};

std::vector<ModelLine> ModelLines(const std::uint8_t* data, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0x1A) break;
    if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') continue;  // the LF follows
    text += static_cast<char>(data[i]);
  }
  std::vector<ModelLine> lines;
  std::size_t pos = 0;
  bool cut = false;
  while (pos < text.size()) {
    std::size_t take = 0;
    while (take < RecordFileReader::kMaxLineLength && pos + take < text.size()) {
      if (text[pos + take++] == '\n') break;
    }
    std::string piece = text.substr(pos, take);
    pos += take;
    const bool lineEnded = piece.back() == '\n';
    if (lineEnded) piece.pop_back();
    ModelLine line{piece.substr(0, piece.find('\0')), {}, piece};
    line.shape.cut = piece.size() == RecordFileReader::kMaxLineLength && !lineEnded;
    line.shape.continuation = cut;
    line.shape.hasNul = piece.find('\0') != std::string::npos;
    cut = line.shape.cut;
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RecordFileReader reader;
  reader.OpenBytes(std::string(reinterpret_cast<const char*>(data), size));
  const std::vector<ModelLine> model = ModelLines(data, size);
  std::size_t count = 0;
  RecordChecker checker;
  bool accepted = true;
  while (const char* line = reader.ReadLine()) {
    if (count >= model.size() || model[count].text != line) std::abort();
    if (accepted && checker.Check(line, reader.Shape()).action == RecordAction::kReject) accepted = false;
    const LineShape shape = reader.Shape(), expected = model[count].shape;
    if (shape.cut != expected.cut || shape.continuation != expected.continuation || shape.hasNul != expected.hasNul)
      std::abort();
    ++count;
  }
  if (accepted && checker.Finish().action == RecordAction::kReject) accepted = false;
  if (count != model.size()) std::abort();
  if (reader.ReadLine() != nullptr) std::abort();  // the text stays ended

  // The check over the reader's lines, held against the validator over the
  // whole lines of the file (no CR LF, no Ctrl-Z, nothing cut).
  std::vector<std::string> wholeLines;
  bool continues = false;
  for (const ModelLine& line : model) {
    if (continues) wholeLines.back() += line.piece;
    else wholeLines.push_back(line.piece);
    continues = line.shape.cut;
  }
  RecordOracle oracle;
  bool good = true;
  for (const std::string& line : wholeLines) good = good && oracle.Accepts(line);
  good = good && oracle.AcceptsEnd();
  if (accepted != good) std::abort();

  reader.Close();
  if (reader.ReadLine() != nullptr) std::abort();
  return 0;
}
