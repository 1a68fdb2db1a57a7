#include "program_file_formats.h"

#include <cstdint>

#include "record_check.h"

namespace {

constexpr std::size_t kFlashSize = kFlashLastAddress + 1;
const char kTruncated[] = "truncated";
const char kRelocatable[] = "not linked (relocatable object)";

// Big-endian fields; the callers keep at + size within the contents.
std::uint32_t Be16(const std::string& s, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[at]) << 8 | static_cast<std::uint8_t>(s[at + 1]));
}
std::uint32_t Be32(const std::string& s, std::size_t at) { return Be16(s, at) << 16 | Be16(s, at + 2); }

bool Fits(const std::string& s, std::uint64_t offset, std::uint64_t size) { return offset + size <= s.size(); }

FlashPiece Piece(std::uint32_t address, const std::string& s, std::size_t offset, std::size_t size, std::string place) {
  FlashPiece piece;
  piece.address = address;
  piece.bytes.assign(s.begin() + static_cast<std::ptrdiff_t>(offset),
                     s.begin() + static_cast<std::ptrdiff_t>(offset + size));
  piece.place = std::move(place);
  return piece;
}

// --- text lines as the record file reader makes them ----------------------

bool IsTrailingBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Calls take(lineNumber, line) for each line before the first Ctrl-Z, its
// line end and trailing blanks taken off; stops when take returns false.
template <typename Take>
void ForEachLine(const std::string& contents, Take take) {
  const std::string text = contents.substr(0, contents.find('\x1a'));
  unsigned long number = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::size_t last = end;
    while (last > start && IsTrailingBlank(text[last - 1])) --last;
    if (!take(++number, text.substr(start, last - start))) return;
    start = end + 1;
  }
}

bool IsIntelHex(const std::string& contents) {
  bool any = false, all = true;
  ForEachLine(contents, [&](unsigned long, const std::string& line) {
    if (line.empty()) return true;
    any = true;
    all = line[0] == ':';
    return all;
  });
  return any && all;
}

// One Intel HEX line into image; "" or the reason it is refused.
const char* ReadHexLine(const std::string& line, unsigned long number, std::uint32_t* base, bool* ended,
                        ProgramImage* image) {
  if (*ended) return "after end record";
  std::vector<std::uint8_t> b;
  for (std::size_t i = 1; i < line.size(); ++i)
    if (HexValue(line[i]) < 0) return "not hex";
  if (line.size() % 2 == 0) return "odd length";
  for (std::size_t i = 1; i < line.size(); i += 2)
    b.push_back(static_cast<std::uint8_t>(HexValue(line[i]) * 16 + HexValue(line[i + 1])));
  if (b.size() < 5) return "too short";
  if (b[0] != b.size() - 5) return "count";
  unsigned sum = 0;
  for (std::uint8_t value : b) sum += value;
  if ((sum & 0xFF) != 0) return "checksum";
  const std::uint32_t offset = b[1] << 8 | b[2];
  switch (b[3]) {
    case 0x00:
      if (b[0] > 0) {
        FlashPiece piece;
        piece.address = *base + offset;
        piece.bytes.assign(b.begin() + 4, b.end() - 1);
        piece.line = number;
        piece.place = "line " + std::to_string(number);
        image->push_back(std::move(piece));
      }
      return "";
    case 0x01:
      *ended = true;
      return "";
    case 0x02:
    case 0x04:
      if (b[0] != 2) return "count";
      *base = static_cast<std::uint32_t>(b[4] << 8 | b[5]) << (b[3] == 0x02 ? 4 : 16);
      return "";
    case 0x03:
    case 0x05:
      return "";  // a start address: the chip starts from its reset vector
    default:
      return "type";
  }
}

ImageRead ReadIntelHex(const std::string& contents) {
  ImageRead read;
  std::uint32_t base = 0;
  bool ended = false;
  unsigned long lastLine = 0;
  ForEachLine(contents, [&](unsigned long number, const std::string& line) {
    if (line.empty()) return true;
    lastLine = number;
    const char* reason = ReadHexLine(line, number, &base, &ended, &read.image);
    if (*reason != '\0') read.fault = {number, reason};
    return *reason == '\0';
  });
  if (!read.fault.Found() && !ended && !read.image.empty()) {
    const unsigned long ctrlZ = CtrlZCutLine(contents);
    read.fault = ctrlZ != 0 ? FileFault{ctrlZ, kCtrlZBeforeEnd}
                            : FileFault{lastLine, "no end record (the file may be cut off)"};
  }
  return read;
}

// --- COFF ------------------------------------------------------------------

constexpr std::size_t kCoffHeaderSize = 20, kCoffSectionSize = 40;
constexpr std::uint32_t kCoffExecutable = 0x0002;  // f_flags F_EXEC
// s_flags of sections that are not loaded: dsect, noload, pad, copy, bss, info.
constexpr std::uint32_t kCoffNotLoaded = 0x0001 | 0x0002 | 0x0008 | 0x0010 | 0x0080 | 0x0200;

bool IsH8Coff(const std::string& s) { return s.size() >= 2 && Be16(s, 0) >= 0x8300 && Be16(s, 0) <= 0x8304; }

std::string SectionName(const std::string& s, std::size_t at) {
  std::string name;
  for (std::size_t i = 0; i < 8 && s[at + i] != '\0'; ++i) name += s[at + i] >= 0x20 && s[at + i] < 0x7F ? s[at + i] : '?';
  return name;
}

ImageRead ReadCoff(const std::string& s) {
  ImageRead read;
  if (s.size() < kCoffHeaderSize) return {{}, {0, kTruncated}};
  const std::uint32_t sections = Be16(s, 2), flags = Be16(s, 18);
  const std::size_t table = kCoffHeaderSize + Be16(s, 16);
  if (!Fits(s, table, std::uint64_t{sections} * kCoffSectionSize)) return {{}, {0, kTruncated}};
  bool relocated = false;
  for (std::uint32_t i = 0; i < sections; ++i) relocated = relocated || Be16(s, table + i * kCoffSectionSize + 32) != 0;
  if (relocated && (flags & kCoffExecutable) == 0) return {{}, {0, kRelocatable}};
  for (std::uint32_t i = 0; i < sections; ++i) {
    const std::size_t at = table + i * kCoffSectionSize;
    const std::uint32_t paddr = Be32(s, at + 8), size = Be32(s, at + 16), offset = Be32(s, at + 20);
    if ((Be32(s, at + 36) & kCoffNotLoaded) != 0 || size == 0 || offset == 0) continue;
    const std::string place = "section " + SectionName(s, at);
    if (!Fits(s, offset, size)) return {{}, {0, kTruncated}};
    read.image.push_back(Piece(paddr, s, offset, size, place));
  }
  return read;
}

// --- ELF -------------------------------------------------------------------

constexpr std::size_t kElfHeaderSize = 52, kElfProgramHeaderSize = 32;
constexpr std::uint32_t kElfRelocatable = 1, kElfLoad = 1;

ImageRead ReadElf(const std::string& s) {
  ImageRead read;
  if (s.size() < kElfHeaderSize) return {{}, {0, kTruncated}};
  const std::uint32_t machine = Be16(s, 18);
  if (s[4] != 1 || s[5] != 2 || machine < 46 || machine > 48)
    return {{}, {0, "not an H8 ELF file (32-bit, big-endian, machine 46 to 48)"}};
  if (Be16(s, 16) == kElfRelocatable) return {{}, {0, kRelocatable}};
  const std::uint32_t table = Be32(s, 28), entrySize = Be16(s, 42), entries = Be16(s, 44);
  if (entries > 0 && entrySize < kElfProgramHeaderSize) return {{}, {0, "program header too small"}};
  if (!Fits(s, table, std::uint64_t{entries} * entrySize)) return {{}, {0, kTruncated}};
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::size_t at = table + std::size_t{i} * entrySize;
    const std::uint32_t offset = Be32(s, at + 4), paddr = Be32(s, at + 12), fileSize = Be32(s, at + 16);
    if (Be32(s, at) != kElfLoad || fileSize == 0) continue;
    if (!Fits(s, offset, fileSize)) return {{}, {0, kTruncated}};
    read.image.push_back(Piece(paddr, s, offset, fileSize, "segment " + std::to_string(i)));
  }
  return read;
}

// --- raw image -------------------------------------------------------------

bool IsText(const std::string& contents) {
  const std::string text = contents.substr(0, contents.find('\x1a'));
  for (const char c : text) {
    if ((c < ' ' || c > '~') && c != '\r' && c != '\n' && c != '\t') return false;
  }
  return !text.empty();
}

bool IsSRecordLine(const std::string& line) {
  if (line.size() < 4 || line[0] != 'S' || line[1] < '0' || line[1] > '9') return false;
  return line.find_first_not_of("0123456789ABCDEFabcdef", 1) == std::string::npos;
}

// What a file named *.bin plainly holds when it is no raw image ("" when
// it may be one): a program file kept under the wrong name, or objcopy run
// without -O binary. A raw image would have to start with "\x7fELF" or the
// COFF header, or be all text lines of records, to be taken for one.
std::string FormatInsteadOfImage(const std::string& contents) {
  if (contents.compare(0, 4, "\x7f" "ELF") == 0) return "ELF";
  // COFF: the magic, and 1 to 64 section headers of 40 bytes behind the
  // file header's 20 and the optional header (its size at offset 16).
  if (IsH8Coff(contents) && contents.size() >= 20) {
    const std::uint32_t sections = Be16(contents, 2);
    if (sections >= 1 && sections <= 64 && Fits(contents, 20 + Be16(contents, 16), 40 * sections)) return "COFF";
  }
  if (!IsText(contents)) return "";
  if (IsIntelHex(contents)) return "Intel HEX";
  bool records = false;
  ForEachLine(contents, [&records](unsigned long, const std::string& line) {
    if (line.empty()) return true;
    records = IsSRecordLine(line);
    return false;
  });
  return records ? "S-records" : "";
}

ImageRead ReadRawImage(const std::string& s) {
  ImageRead read;
  if (const std::string held = FormatInsteadOfImage(s); !held.empty())
    return {{}, {0, "holds " + held + ", not a raw image (h8300-hms-objcopy -O binary makes one)"}};
  if (s.size() > kFlashSize)
    return {{}, {0, "larger than the flash (" + std::to_string(s.size()) + " bytes, at most 131072)"}};
  if (!s.empty()) read.image.push_back(Piece(0, s, 0, s.size(), "image"));
  return read;
}

bool EndsWithBin(const std::string& name) {
  if (name.size() < 4) return false;
  std::string end = name.substr(name.size() - 4);
  for (char& c : end) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return end == ".bin";
}

}  // namespace

ProgramFileFormat ProgramFileFormatOf(const std::string& fileName, const std::string& contents) {
  if (EndsWithBin(fileName)) return ProgramFileFormat::kRawImage;
  if (contents.compare(0, 4, "\x7f" "ELF") == 0) return ProgramFileFormat::kElf;
  if (IsH8Coff(contents)) return ProgramFileFormat::kCoff;
  if (IsIntelHex(contents)) return ProgramFileFormat::kIntelHex;
  return ProgramFileFormat::kSRecords;
}

ImageRead ReadProgramImage(ProgramFileFormat format, const std::string& contents) {
  ImageRead read;
  switch (format) {
    case ProgramFileFormat::kIntelHex: read = ReadIntelHex(contents); break;
    case ProgramFileFormat::kCoff: read = ReadCoff(contents); break;
    case ProgramFileFormat::kElf: read = ReadElf(contents); break;
    case ProgramFileFormat::kRawImage: read = ReadRawImage(contents); break;
    case ProgramFileFormat::kSRecords: break;
  }
  if (!read.fault.Found()) read.fault = CheckProgramImage(read.image);
  if (read.fault.Found()) read.image.clear();
  return read;
}
