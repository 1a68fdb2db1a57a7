#include "cpu_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "h8_disasm.h"

std::string DisassembleAll(const Bytes8& code, std::uint32_t address) {
  std::string out;
  for (std::size_t off = 0; off < code.size();) {
    const H8Instruction insn = H8Disassemble(code.data() + off, code.size() - off, address + static_cast<std::uint32_t>(off));
    out += (out.empty() ? "" : "; ") + (insn.Known() ? insn.Text() : "?");
    off += insn.Known() ? static_cast<std::size_t>(insn.length) : 2;
  }
  for (char& c : out) c = c == '\t' ? ' ' : c;
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

std::string MissingCrossTools() {
  std::string missing;
  for (const char* tool : {"as", "ld", "gcc", "objdump", "objcopy"}) {
    if (!ToolAvailable(std::string("h8300-hms-") + tool)) missing += (missing.empty() ? "h8300-hms-" : ", h8300-hms-") + std::string(tool);
  }
  return missing;
}

std::string Cross(const std::string& tool, const std::vector<std::string>& args, bool* ok) {
  const ProcessResult result = RunProcess("/usr/bin/env", [&] {
    std::vector<std::string> all = {"h8300-hms-" + tool};
    all.insert(all.end(), args.begin(), args.end());
    return all;
  }(), 120);
  std::string line = "h8300-hms-" + tool;
  for (const auto& a : args) line += " " + a;
  EXPECT_EQ(result.exitCode, 0) << line << "\n" << result.err << result.out;
  if (result.exitCode != 0 && ok != nullptr) *ok = false;
  return result.out;
}

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// Every "0xV:32" becomes "0xV':24" with V' = V cut to 24 bits.
std::string Fields24(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t j = i + 2;
    while (s.compare(i, 2, "0x") == 0 && j < s.size() && IsHex(s[j])) ++j;
    if (j > i + 2 && s.compare(j, 3, ":32") == 0) {
      char text[16];
      std::snprintf(text, sizeof text, "0x%lx:24", std::strtoul(s.substr(i + 2, j - i - 2).c_str(), nullptr, 16) & 0xFFFFFF);
      out += text;
      i = j + 3;
    } else {
      out += s[i++];
    }
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

std::string Normalise(const std::string& text) {
  if (text.empty() || text.compare(0, 5, ".word") == 0) return "";
  const std::size_t tab = text.find('\t');
  std::string mnemonic = text.substr(0, tab);
  std::string operands = tab == std::string::npos ? "" : text.substr(tab + 1);
  while (!operands.empty() && (operands.back() == ' ' || operands.back() == '\t')) operands.pop_back();
  if (mnemonic == "inc") mnemonic = "inc.b";
  operands = Targets(Fields24(operands));
  return operands.empty() ? mnemonic : mnemonic + "\t" + operands;
}

}  // namespace

std::vector<ObjdumpLine> ParseObjdump(const std::string& output) {
  std::vector<ObjdumpLine> lines;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    // "   ff300:\t7a 07 00 0f \tmov.l\t#0xff300,er7"; continuation lines
    // carry bytes only.
    const std::size_t colon = line.find(":\t"), first = line.find_first_not_of(' ');
    if (colon == std::string::npos || first >= colon) continue;
    if (line.find_first_not_of("0123456789abcdef", first) != colon) continue;
    const auto address = static_cast<std::uint32_t>(std::strtoul(line.c_str() + first, nullptr, 16));
    const std::size_t text_tab = line.find('\t', colon + 2);
    const std::string bytes = line.substr(colon + 2, text_tab == std::string::npos ? std::string::npos : text_tab - colon - 2);
    int count = 0;
    for (std::size_t k = 0; k + 1 < bytes.size(); ++k) {
      if (IsHex(bytes[k]) && IsHex(bytes[k + 1]) && (k + 2 == bytes.size() || bytes[k + 2] == ' ')) ++count, ++k;
    }
    const std::string text = text_tab == std::string::npos ? "" : line.substr(text_tab + 1);
    if (text.empty() && !lines.empty() && address == lines.back().address + static_cast<std::uint32_t>(lines.back().length)) {
      lines.back().length += count;  // continuation
    } else {
      lines.push_back({address, count, Normalise(text)});
    }
  }
  return lines;
}
