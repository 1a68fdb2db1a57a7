#include "h8board_options.h"

#include <cstdlib>

namespace {

// --- option values ------------------------------------------------------------

// Hexadecimal, with or without 0x or H' in front.
bool ParseHex(std::string text, unsigned long max, unsigned long* value) {
  if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 || text.rfind("H'", 0) == 0 || text.rfind("h'", 0) == 0)
    text = text.substr(2);
  if (text.empty() || text.size() > 8) return false;
  char* end = nullptr;
  *value = std::strtoul(text.c_str(), &end, 16);
  return *end == '\0' && *value <= max;
}

// Decimal, or hexadecimal with 0x.
bool ParseCount(const std::string& text, unsigned long* value) {
  if (text.empty() || text[0] == '-') return false;
  char* end = nullptr;
  *value = std::strtoul(text.c_str(), &end, 0);
  return *end == '\0';
}

// Hex bytes written together ("5AA5", "00"); at least one.
bool ParseHexBytes(const std::string& text, std::vector<std::uint8_t>* bytes) {
  if (text.empty() || text.size() % 2 != 0) return false;
  bytes->clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    unsigned long b;
    if (!ParseHex(text.substr(i, 2), 0xFF, &b)) return false;
    bytes->push_back(static_cast<std::uint8_t>(b));
  }
  return true;
}

// "N:REST" with N a count; rest gets what follows the first colon.
bool SplitCount(const std::string& text, unsigned long* n, std::string* rest) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos || !ParseCount(text.substr(0, colon), n)) return false;
  *rest = text.substr(colon + 1);
  return true;
}

// --- the table ---------------------------------------------------------------------

// Sets what an option with an argument sets; false with the reason.
using Setter = bool (*)(H8BoardOptions& o, const std::string& value, std::string* why);
// Sets what a flag sets.
using FlagSetter = void (*)(H8BoardOptions& o);

struct Option {
  const char* name;      // "--link"; nullptr: a heading line in the help
  const char* argument;  // "PATH"; nullptr for a flag
  const char* help;      // may hold "\n" for continuation lines
  Setter set;
  FlagSetter setFlag;
};

// Setters of the boot program's faults, one per kind of value.
template <std::optional<std::uint8_t> BootFaults::*Field>
bool SetHexByte(H8BoardOptions& o, const std::string& v, std::string* why) {
  unsigned long n;
  if (!ParseHex(v, 0xFF, &n)) return *why = "not a hexadecimal byte: " + v, false;
  o.board.boot.*Field = static_cast<std::uint8_t>(n);
  return true;
}

template <std::set<std::size_t> BootFaults::*Field>
bool AddPosition(H8BoardOptions& o, const std::string& v, std::string* why) {
  unsigned long n;
  if (!ParseCount(v, &n)) return *why = "not a position: " + v, false;
  (o.board.boot.*Field).insert(n);
  return true;
}

// N:MASK, a byte count from 1 and a hex mask.
template <std::map<std::size_t, std::uint8_t> LineFaults::*Field>
bool AddNoise(H8BoardOptions& o, const std::string& v, std::string* why) {
  unsigned long n, mask;
  std::string rest;
  if (!SplitCount(v, &n, &rest) || n == 0 || !ParseHex(rest, 0xFF, &mask) || mask == 0)
    return *why = "expected N:MASK with a byte from 1 and a hex mask: " + v, false;
  (o.board.line.*Field)[n] = static_cast<std::uint8_t>(mask);
  return true;
}

// A byte position from 1, counted after the start signal.
template <std::set<std::size_t> LineGaps::*Field>
bool AddLineByte(H8BoardOptions& o, const std::string& v, std::string* why) {
  unsigned long n;
  if (!ParseCount(v, &n) || n == 0) return *why = "not a byte position from 1: " + v, false;
  (o.board.gaps.*Field).insert(n);
  return true;
}

template <bool BootFaults::*Field>
void SetBootFlag(H8BoardOptions& o) {
  o.board.boot.*Field = true;
}

const Option kOptions[] = {
    {"--link", "PATH", "also make PATH a symbolic link to the terminal",
     [](H8BoardOptions& o, const std::string& v, std::string*) { return o.link = v, true; }, nullptr},
    {"--out", "FILE", "write the flash as a raw 128 KB image",
     [](H8BoardOptions& o, const std::string& v, std::string*) { return o.out = v, true; }, nullptr},
    {"--dump", "FILE", "write the flash as S-records (programmed or non-blank bytes)",
     [](H8BoardOptions& o, const std::string& v, std::string*) { return o.dump = v, true; }, nullptr},
    {"--flash-log", "FILE", "write every program pulse: its length, the times from\n"
     "VPPE on to it, from its end to program-verify, from\n"
     "program-verify to the verifying read, and what lies\n"
     "outside the flash's timing envelope; and the boot\n"
     "program's erase before its start signal (3580 ms,\n"
     "where the flash held data)",
     [](H8BoardOptions& o, const std::string& v, std::string*) { return o.flashLog = v, true; }, nullptr},
    {"--timeout", "SECONDS", "give up after this long (exit code 3)",
     [](H8BoardOptions& o, const std::string& v, std::string* why) {
       char* end = nullptr;
       o.timeoutSeconds = std::strtod(v.c_str(), &end);
       if (v.empty() || *end != '\0' || !(o.timeoutSeconds > 0))
         return *why = "not a positive number of seconds: " + v, false;
       return true;
     },
     nullptr},
    {"--pace", nullptr, "the line in real time: each character its ten bits'\n"
     "time at its sender's rate (1.04 ms at 9600 bit/s)", nullptr,
     [](H8BoardOptions& o) { o.board.pace = true; }},
    {"--awake", nullptr, "with --pace: spend waits of up to 2 ms awake, so that\n"
     "no timer wakes the board late (it keeps a processor busy\n"
     "while bytes move)", nullptr,
     [](H8BoardOptions& o) { o.awake = true; }},
    {"--clock", "MHZ",
     "the system clock, 2 to 16, the H8/3048F's range (default\n"
     "16; e.g. 14.7456): the CPU's speed and SCI1's bit rates;\n"
     "the boot program aligns to 9600 bit/s from 8 MHz",
     [](H8BoardOptions& o, const std::string& v, std::string* why) {
       char* end = nullptr;
       const double mhz = std::strtod(v.c_str(), &end);
       // The top of the table of automatic bit-rate alignment (H8/3048F
       // hardware manual, table 18-13) at every rate; the part's own limit
       // in its electrical characteristics was not reached through the
       // search tools.
       if (v.empty() || *end != '\0' || !(mhz >= 2 && mhz <= 16))
         return *why = "not a clock from 2 to 16 MHz: " + v, false;
       o.board.clockMhz = mhz;
       return true;
     },
     nullptr},
    {"--latency", "MS",
     "hold the answers like a USB serial adapter: sent on\n"
     "when MS ms have passed since the first held byte, or\n"
     "when 62 bytes are held (an FTDI chip's default is 16)",
     [](H8BoardOptions& o, const std::string& v, std::string* why) {
       unsigned long ms;
       if (!ParseCount(v, &ms) || ms > 1000) return *why = "not a number of milliseconds from 0 to 1000: " + v, false;
       o.board.latencyMs = static_cast<unsigned>(ms);
       return true;
     },
     nullptr},
    {"--left-flow", "LIST",
     "the terminal starts with this flow control, as another\n"
     "program may leave a serial port: any of ixon, ixoff,\n"
     "crtscts, comma-separated",
     [](H8BoardOptions& o, const std::string& v, std::string* why) {
       std::size_t start = 0;
       for (std::size_t end = 0; end != std::string::npos; start = end + 1) {
         end = v.find(',', start);
         const std::string flag = v.substr(start, end == std::string::npos ? end : end - start);
         bool* set = flag == "ixon" ? &o.leftFlow.ixon : flag == "ixoff" ? &o.leftFlow.ixoff
                     : flag == "crtscts" ? &o.leftFlow.crtscts : nullptr;
         if (!set) return *why = "expected ixon, ixoff or crtscts, comma-separated: " + v, false;
         *set = true;
       }
       return true;
     },
     nullptr},
    {"--verbose", nullptr, "report the boot program's steps and odd accesses", nullptr,
     [](H8BoardOptions& o) { o.verbose = true; }},
    {nullptr, nullptr, "faults:", nullptr, nullptr},
    {"--silent", nullptr, "the board never answers", nullptr, &SetBootFlag<&BootFaults::silent>},
    {"--sync-answer", "HEX", "answer H'00 with this byte",
     &SetHexByte<&BootFaults::syncAnswer>, nullptr},
    {"--sync-answers", "LIST",
     "answer the synchronisation tries in turn, one\n"
     "comma-separated item each: - for no answer, or hex\n"
     "bytes (e.g. -,11,0000); later tries as usual",
     [](H8BoardOptions& o, const std::string& v, std::string* why) {
       std::vector<std::vector<std::uint8_t>>& answers = o.board.boot.syncAnswers;
       answers.clear();
       std::size_t start = 0;
       for (;;) {
         const std::size_t comma = v.find(',', start);
         const std::string item = v.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
         answers.emplace_back();
         if (item != "-" && !ParseHexBytes(item, &answers.back()))
           return *why = "expected - or hex bytes for each try: " + v, false;
         if (comma == std::string::npos) return true;
         start = comma + 1;
       }
     },
     nullptr},
    {"--after-sync", "HEX", "send these bytes right after the synchronisation\nanswer (hex, e.g. 5AA5)",
     [](H8BoardOptions& o, const std::string& v, std::string* why) {
       if (!ParseHexBytes(v, &o.board.boot.afterSync)) return *why = "not hex bytes: " + v, false;
       return true;
     },
     nullptr},
    {"--check-answer", "HEX", "answer H'55 with this byte instead of H'AA",
     &SetHexByte<&BootFaults::checkAnswer>, nullptr},
    {"--start-answer", "HEX", "send this byte instead of H'AA when starting",
     &SetHexByte<&BootFaults::startAnswer>, nullptr},
    {"--drop-echo", "N", "no echo for program byte N (0-based; repeatable)",
     &AddPosition<&BootFaults::dropEcho>, nullptr},
    {"--corrupt-echo", "N", "inverted echo for program byte N (repeatable)",
     &AddPosition<&BootFaults::corruptEcho>, nullptr},
    {"--late-echo", "N:MS", "the echo of program byte N goes out MS ms late (repeatable)",
     [](H8BoardOptions& o, const std::string& v, std::string* why) {
       unsigned long n, ms;
       std::string rest;
       if (!SplitCount(v, &n, &rest) || !ParseCount(rest, &ms) || ms > 3600000)
         return *why = "expected N:MS with a program byte position and milliseconds: " + v, false;
       o.board.boot.lateEchoMs[n] = static_cast<unsigned>(ms);
       return true;
     },
     nullptr},
    {"--no-start", nullptr, "after the last echo nothing happens", nullptr,
     &SetBootFlag<&BootFaults::noStart>},
    {"--no-erase", nullptr,
     "the flash is not erased before the program starts\n(without --preload it then holds all zeros)", nullptr,
     &SetBootFlag<&BootFaults::noErase>},
    {"--record-answer", "N:SPEC",
     "answer record N (1-based, counted after \"[START]\")\n"
     "with SPEC instead: - no answer, =TEXT those\n"
     "characters, else hex bytes (repeatable)",
     [](H8BoardOptions& o, const std::string& v, std::string* why) {
       unsigned long n;
       std::string spec;
       std::vector<std::uint8_t> bytes;
       if (!SplitCount(v, &n, &spec) || n == 0 ||
           !(spec == "-" || (spec.size() > 1 && spec[0] == '=') || ParseHexBytes(spec, &bytes)))
         return *why = "expected N:- or N:=TEXT or N:HEX with a record from 1: " + v, false;
       if (spec[0] == '=') bytes.assign(spec.begin() + 1, spec.end());
       o.board.records.answers[n] = bytes;
       return true;
     },
     nullptr},
    {"--silent-after-records", "N", "once N records were answered, the board sends\nnothing more",
     [](H8BoardOptions& o, const std::string& v, std::string* why) {
       unsigned long n;
       if (!ParseCount(v, &n)) return *why = "not a number of records: " + v, false;
       o.board.records.silentAfter = n;
       return true;
     },
     nullptr},
    {"--hang-up-after-records", "N", "once N records were answered, the board closes\nits end of the line instead of the next answer",
     [](H8BoardOptions& o, const std::string& v, std::string* why) {
       unsigned long n;
       if (!ParseCount(v, &n)) return *why = "not a number of records: " + v, false;
       o.board.records.hangUpAfter = n;
       return true;
     },
     nullptr},
    {"--rx-noise", "N:MASK",
     "XOR MASK (hex) into the Nth byte the chip receives\n"
     "after its start signal H'AA (1-based; repeatable)",
     &AddNoise<&LineFaults::rxNoise>, nullptr},
    {"--tx-noise", "N:MASK", "the same for the Nth byte the chip sends after H'AA",
     &AddNoise<&LineFaults::txNoise>, nullptr},
    {"--line-limit", "RATE",
     "from the start signal on, the line carries at most\n"
     "RATE bit/s (a slow level shifter, a long cable):\n"
     "faster characters arrive garbled, both ways",
     [](H8BoardOptions& o, const std::string& v, std::string* why) {
       unsigned long rate;
       if (!ParseCount(v, &rate) || rate < 50 || rate > 10000000)
         return *why = "not a bit rate from 50 to 10000000: " + v, false;
       o.board.line.lineLimit = static_cast<long>(rate);
       return true;
     },
     nullptr},
    {"--rx-drop", "N", "the Nth byte the chip receives after its start\nsignal H'AA is lost (1-based; repeatable)",
     &AddLineByte<&LineGaps::rxDrop>, nullptr},
    {"--tx-drop", "N", "the Nth byte the chip sends after H'AA is lost", &AddLineByte<&LineGaps::txDrop>, nullptr},
    {"--tx-late", "N:MS",
     "the Nth byte the chip sends after H'AA leaves MS ms\nlate, the bytes after it behind it (repeatable)",
     [](H8BoardOptions& o, const std::string& v, std::string* why) {
       unsigned long n, ms;
       std::string rest;
       if (!SplitCount(v, &n, &rest) || n == 0 || !ParseCount(rest, &ms) || ms > 3600000)
         return *why = "expected N:MS with a byte from 1 and milliseconds: " + v, false;
       o.board.gaps.txLateMs[n] = static_cast<unsigned>(ms);
       return true;
     },
     nullptr},
    {"--preload", "FILE", "initial flash: S-records, or a raw image from 0",
     [](H8BoardOptions& o, const std::string& v, std::string*) { return o.preloadPath = v, true; }, nullptr},
    {"--stuck-bit", "ADDR:BIT", "this flash bit never programs (ADDR hex; repeatable)",
     [](H8BoardOptions& o, const std::string& v, std::string* why) {
       const std::size_t colon = v.find(':');
       unsigned long address = 0, bit = 0;
       if (colon == std::string::npos || !ParseHex(v.substr(0, colon), FlashMemory::kSize - 1, &address) ||
           !ParseCount(v.substr(colon + 1), &bit) || bit > 7)
         return *why = "expected ADDR:BIT with a flash address in hex and a bit 0-7: " + v, false;
       o.board.stuckBits.push_back({static_cast<std::uint32_t>(address), static_cast<int>(bit)});
       return true;
     },
     nullptr},
    {"--weak-byte", "ADDR:MASK",
     "this flash byte passes program-verify, then reads\n"
     "back with MASK flipped (both hex; repeatable)",
     [](H8BoardOptions& o, const std::string& v, std::string* why) {
       const std::size_t colon = v.find(':');
       unsigned long address = 0, mask = 0;
       if (colon == std::string::npos || !ParseHex(v.substr(0, colon), FlashMemory::kSize - 1, &address) ||
           !ParseHex(v.substr(colon + 1), 0xFF, &mask) || mask == 0)
         return *why = "expected ADDR:MASK with a flash address and a mask byte in hex: " + v, false;
       o.board.weakBytes.push_back({static_cast<std::uint32_t>(address), static_cast<std::uint8_t>(mask)});
       return true;
     },
     nullptr},
};

const Option* Find(const std::string& name) {
  for (const Option& option : kOptions)
    if (option.name && name == option.name) return &option;
  return nullptr;
}

}  // namespace

std::vector<H8BoardOptionText> H8BoardOptionTexts() {
  std::vector<H8BoardOptionText> texts;
  for (const Option& option : kOptions)
    texts.push_back({option.name ? option.name : "", option.argument ? option.argument : "", option.help});
  return texts;
}

std::string H8BoardUsage() {
  std::string text =
      "usage: h8board [options]\n"
      "A virtual H8/3048F board in boot mode on a pseudo-terminal. Prints the\n"
      "terminal's path, serves one programming run (until the host closes the\n"
      "line it opened), then writes the flash and a summary line on stderr.\n"
      "\n";
  constexpr std::size_t kHelpColumn = 23;
  for (const Option& option : kOptions) {
    if (!option.name) {
      text += std::string(option.help) + "\n";
      continue;
    }
    std::string left = std::string("  ") + option.name + (option.argument ? std::string(" ") + option.argument : "");
    const std::string indent(kHelpColumn, ' ');
    if (left.size() + 1 < kHelpColumn) {
      left += std::string(kHelpColumn - left.size(), ' ');
    } else if (left.size() + 1 == kHelpColumn) {
      left += ' ';
    } else {
      left += "\n" + indent;  // too long a name: the help goes below it
    }
    std::string help = option.help;
    for (std::size_t nl = help.find('\n'); nl != std::string::npos; nl = help.find('\n', nl + 1))
      help.insert(nl + 1, indent);
    text += left + help + "\n";
  }
  return text +
         "An unknown opcode stops the CPU (its message goes to stderr at once); the\n"
         "run still ends only when the host closes the line.\n"
         "exit codes: 0 run served, 1 CPU fault or I/O failure, 2 bad options,\n"
         "            3 timed out or interrupted\n";
}

bool ParseH8BoardOptions(const std::vector<std::string>& args, H8BoardOptions* o, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    bool hasValue = false;
    const std::size_t eq = name.find('=');
    if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    if (name == "--help" || name == "-h") {
      o->help = true;
      continue;
    }
    const Option* option = Find(name);
    if (!option) {
      *error = "unknown option: " + args[i];
      return false;
    }
    if (!option->argument) {
      if (hasValue) {
        *error = name + " takes no value";
        return false;
      }
      option->setFlag(*o);
      continue;
    }
    if (!hasValue) {
      if (i + 1 >= args.size()) {
        *error = name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    std::string why;
    if (!option->set(*o, value, &why)) {
      *error = name + ": " + why;
      return false;
    }
  }
  if (!o->preloadPath.empty()) {
    if (!LoadFlashFile(o->preloadPath, &o->board.preloadImage, error)) return false;
    o->board.preload = true;
  }
  return true;
}
