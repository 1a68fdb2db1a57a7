// Files for the transfer tests: a scratch folder, S-records built with their
// count and checksum, and the external tools that make real ones.
#ifndef KORVEL_TESTS_TRANSFER_TEST_FILES_H
#define KORVEL_TESTS_TRANSFER_TEST_FILES_H

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

// A fresh folder under the system's temporary folder, removed at the end.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvel-transfer-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  // Writes the bytes exactly as given; returns the file's path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary | std::ios::trunc) << bytes;
    return Path(name);
  }

 private:
  std::filesystem::path path_;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string HexByte(unsigned value) { return {"0123456789ABCDEF"[value >> 4 & 15], "0123456789ABCDEF"[value & 15]}; }

// One S-record of the given type, address and data, count and checksum right.
inline std::string MakeRecord(int type, std::uint32_t address, const std::vector<std::uint8_t>& data = {}) {
  static const unsigned addressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
  std::vector<unsigned> bytes{static_cast<unsigned>(addressBytes[type] + data.size() + 1)};
  for (unsigned i = addressBytes[type]; i-- > 0;) bytes.push_back((address >> (8 * i)) & 0xFFu);
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  std::string text = "S" + std::to_string(type);
  for (unsigned b : bytes) text += HexByte(b), sum += b;
  return text + HexByte(~sum);
}

inline std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>((i * 37 + seed * 11 + 5) & 0xFE);
  return data;
}

// Runs a shell command line, its output dropped; true when it exited with 0.
inline bool RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }
inline bool ToolAvailable(const std::string& tool) { return RunTool("command -v " + tool); }

#endif
