#include "cpu_test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "h8_disasm.h"

std::string DisassembleAll(const Bytes8& code, std::uint32_t address) {
  std::string out;
  for (std::size_t off = 0; off < code.size();) {
    const H8Instruction insn = H8Disassemble(code.data() + off, code.size() - off, address + static_cast<std::uint32_t>(off));
    if (!out.empty()) out += "; ";
    out += insn.Known() ? insn.mnemonic + (insn.operands.empty() ? "" : " " + insn.operands) : "?";
    off += insn.Known() ? static_cast<std::size_t>(insn.length) : 2;
  }
  return out;
}

void RunSnippet(H8Cpu& cpu, FlatMemory& memory, const Bytes8& code) {
  memory.Load(kSnippetAddress, code);
  cpu.SetPc(kSnippetAddress);
  const std::uint32_t end = kSnippetAddress + static_cast<std::uint32_t>(code.size());
  for (int i = 0; i < 1000 && cpu.Pc() >= kSnippetAddress && cpu.Pc() < end; ++i) {
    ASSERT_TRUE(cpu.Step()) << cpu.Fault();
  }
}

namespace {

const char* const kTools[] = {"as", "ld", "gcc", "objdump", "objcopy"};

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    const std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

}  // namespace

std::string CrossTools::Missing() {
  std::string missing;
  for (const char* tool : kTools) {
    if (Path(tool).empty()) missing += std::string(missing.empty() ? "" : ", ") + "h8300-hms-" + tool;
  }
  return missing;
}

std::string CrossTools::Path(const std::string& tool) { return FindOnPath("h8300-hms-" + tool); }

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "korvel-cpu-XXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string RunTool(const std::string& tool, const std::vector<std::string>& args, bool* ok) {
  const std::string program = CrossTools::Path(tool);
  const ProcessResult result = RunProcess(program, args, 120);
  std::string line = program;
  for (const auto& a : args) line += " " + a;
  EXPECT_EQ(result.exitCode, 0) << line << "\n" << result.err << result.out;
  if (result.exitCode != 0 && ok != nullptr) *ok = false;
  return result.out;
}

bool BuildTestProgram(const TempDir& dir, const std::vector<std::string>& sources,
                      const std::string& gcc_options, TestProgram& program) {
  std::vector<std::string> all = {"cpu_start.s", "cpu_runtime.c"};
  all.insert(all.end(), sources.begin(), sources.end());
  std::vector<std::string> objects;
  for (const std::string& name : all) {
    const std::string source = SourcePath("tests/sim/cpu_programs/" + name);
    const std::string object = dir.File(name + ".o");
    bool ok = true;
    if (name.size() > 2 && name.compare(name.size() - 2, 2, ".s") == 0) {
      RunTool("as", {source, "-o", object}, &ok);
    } else {
      RunTool("gcc", {"-mh", gcc_options, "-Wall", "-Wextra", "-Werror", "-c", source, "-o", object}, &ok);
    }
    if (!ok) return false;
    objects.push_back(object);
  }
  program.coff = dir.File("program.coff");
  std::vector<std::string> link = {"-mh8300h", "-T", SourcePath("tests/sim/cpu_programs/cpu_programs.ld"), "-o",
                                   program.coff};
  link.insert(link.end(), objects.begin(), objects.end());
  bool ok = true;
  RunTool("ld", link, &ok);
  if (ok) RunTool("objcopy", {"-O", "binary", program.coff, dir.File("program.bin")}, &ok);
  if (!ok) return false;
  program.image = ReadBinaryFile(dir.File("program.bin"));
  EXPECT_FALSE(program.image.empty());
  return !program.image.empty();
}

Bytes8 ReadBinaryFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes8(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBinaryFile(const std::string& path, const Bytes8& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// Replaces every "0xV:32" by "0xV':24" with V' = V cut to 24 bits.
std::string Fields24(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    if (s.compare(i, 2, "0x") == 0) {
      std::size_t j = i + 2;
      while (j < s.size() && IsHex(s[j])) ++j;
      if (s.compare(j, 3, ":32") == 0) {
        const unsigned long v = std::strtoul(s.substr(i + 2, j - i - 2).c_str(), nullptr, 16) & 0xFFFFFF;
        char text[16];
        std::snprintf(text, sizeof text, "0x%lx:24", v);
        out += text;
        i = j + 3;
        continue;
      }
    }
    out += s[i++];
  }
  return out;
}

// ".+12 (0xff31a)" -> "0xff31a", "@@83 (0x53)" -> "@@0x53".
std::string Targets(const std::string& s) {
  const std::size_t open = s.find(" (0x");
  if (open == std::string::npos) return s;
  const std::size_t close = s.find(')', open);
  std::size_t start = open;
  while (start > 0 && s[start - 1] != ',' && s[start - 1] != '\t' && s[start - 1] != '@') --start;
  return s.substr(0, start) + s.substr(open + 2, close - open - 2) + s.substr(close + 1);
}

}  // namespace

std::string NormaliseObjdumpText(const std::string& text) {
  if (text.empty() || text.compare(0, 5, ".word") == 0) return "";
  const std::size_t tab = text.find('\t');
  std::string mnemonic = text.substr(0, tab);
  std::string operands = tab == std::string::npos ? "" : text.substr(tab + 1);
  while (!operands.empty() && (operands.back() == ' ' || operands.back() == '\t')) operands.pop_back();
  if (mnemonic == "inc") mnemonic = "inc.b";
  operands = Targets(Fields24(operands));
  return operands.empty() ? mnemonic : mnemonic + "\t" + operands;
}

std::vector<ObjdumpLine> ParseObjdump(const std::string& output) {
  std::vector<ObjdumpLine> lines;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    // "   ff300:\t7a 07 00 0f \tmov.l\t#0xff300,er7"; continuation lines
    // carry bytes only.
    const std::size_t colon = line.find(":\t");
    if (colon == std::string::npos) continue;
    std::size_t i = 0;
    while (i < colon && line[i] == ' ') ++i;
    bool address_ok = i < colon;
    for (std::size_t k = i; k < colon; ++k) address_ok = address_ok && IsHex(line[k]);
    if (!address_ok) continue;
    const std::uint32_t address = static_cast<std::uint32_t>(std::strtoul(line.substr(i, colon - i).c_str(), nullptr, 16));
    const std::size_t bytes_start = colon + 2;
    const std::size_t text_tab = line.find('\t', bytes_start);
    const std::string bytes = line.substr(bytes_start, text_tab == std::string::npos ? std::string::npos : text_tab - bytes_start);
    int count = 0;
    for (std::size_t k = 0; k + 1 < bytes.size(); ++k) {
      if (IsHex(bytes[k]) && IsHex(bytes[k + 1]) && (k + 2 == bytes.size() || bytes[k + 2] == ' ')) {
        ++count;
        ++k;
      }
    }
    const std::string text = text_tab == std::string::npos ? "" : line.substr(text_tab + 1);
    if (text.empty() && !lines.empty() && address == lines.back().address + static_cast<std::uint32_t>(lines.back().length)) {
      lines.back().length += count;  // continuation
      continue;
    }
    ObjdumpLine parsed;
    parsed.address = address;
    parsed.length = count;
    parsed.text = NormaliseObjdumpText(text);
    lines.push_back(parsed);
  }
  return lines;
}
