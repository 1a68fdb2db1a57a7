#include "startup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console.h"
#include "fast_rates.h"
#include "line_time.h"
#include "program_chip.h"
#include "rs.h"
#include "run_notes.h"
#include "run_settings.h"
#include "run_summary.h"
#include "version.h"

namespace {

constexpr const char* kHomePage = "https://korvel.dev/";

constexpr int kDataBits8 = 1;
constexpr int kNoParity = 0;
constexpr int kOneStopBit = 0;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

bool IsDevicePath(const char* argument) {
#ifdef _WIN32
  return std::strpbrk(argument, "/\\") != nullptr;
#else
  return std::strchr(argument, '/') != nullptr;
#endif
}

long PortNumberFromArgument(const char* argument) {
  const char* p = argument;
  while (IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (value < 1000) value = value * 10 + (*p - '0');  // anything past 10 is out of range anyway
  }
  return static_cast<long>(negative ? -value : value);
}

int PortIndexFromArgument(const char* argument) {
  const long value = PortNumberFromArgument(argument);
  return value >= 1 && value <= kRsPortCount ? static_cast<int>(value) - 1 : 0;
}

// Takes --fast and --max-rate RATE off the front of the arguments.
void ReadFastOptions(int* argc, char*** argv, RunSettings* settings) {
  settings->fast = false;
  settings->maxRate = kHighestRate;
  settings->optionProblem.clear();
  if (*argc < 2 || std::strcmp((*argv)[1], "--fast") != 0) return;
  settings->fast = true;
  --*argc, ++*argv;
  if (*argc < 2 || std::strcmp((*argv)[1], "--max-rate") != 0) return;
  const char* rate = *argc > 2 ? (*argv)[2] : "";
  char* end = nullptr;
  const long value = std::strtol(rate, &end, 10);
  if (*rate == '\0' || *end != '\0' || !IsMaxRate(value)) {
    settings->optionProblem = std::string("--max-rate ") + rate + ": give a bit rate from 9600 to 10000000";
  }
  settings->maxRate = value;
  *argc -= *argc > 2 ? 2 : 1, *argv += 2;
}

void Initialize(int argc, char** argv) {
  StartRunFigures();
  RunSettings& settings = g_runSettings;
  settings.portIndex = 0;
  // Nothing of an earlier run in this process stays: the device named by
  // path, if any, is this command line's.
  settings.devicePath = "";
  RsSetDeviceName(settings.portIndex, "");
  ReadFastOptions(&argc, &argv, &settings);
  if (argc > 1) {
    if (IsDevicePath(argv[1])) {
      settings.devicePath = argv[1];
      RsSetDeviceName(settings.portIndex, argv[1]);
    } else {
      settings.portIndex = PortIndexFromArgument(argv[1]);
    }
  }
  const char* name = argc > 2 ? argv[2] : kDefaultProgramFile;
  settings.fileNameLength = std::strlen(name);
  settings.fileNameTooLong = settings.fileNameLength >= kFileNameRoom;
  if (!settings.fileNameTooLong) std::memcpy(settings.programFileName, name, settings.fileNameLength + 1);
  std::snprintf(settings.lineSettings, sizeof settings.lineSettings, "%s", "N81N");

  RsInit();
  if (argc > 1) WriteNote(PortArgumentNote(argv[1], RsDeviceName(0)));
  // The fast mode reads the file before it sends anything: its console says it.
  if (!settings.fileNameTooLong && !settings.fast) WriteNote(ProgramFileNote(settings.programFileName));
  if (RsOpen(settings.portIndex, settings.bitRateIndex, kDataBits8, kNoParity, kOneStopBit) != 1) {
    // Standard output stays as a silent board's run would show it; the
    // reason goes to standard error for the person at the keyboard.
    std::fprintf(stderr, "korvel: %s\n", RsOpenFailure(settings.portIndex).c_str());
    std::fflush(stderr);
  }
}

void Run() {
  const RunSettings& settings = g_runSettings;
  Print("<<< KORVEL [WINDOWS] Ver%1d.%1d%s >>>", kVersionMajor, kVersionMinor, kVersionSuffix);
  NewLine();
  Print(" %s", kHomePage);
  NewLine();
  NewLine();
  NewLine();
  Print("Program compiled [%s,%s]", BuildDate(), BuildTime());
  NewLine();
  if (settings.devicePath[0] != '\0') {
    Print("RS CH=");
    PrintLong(settings.devicePath);
    Print(",%lu,%s", kLineBitsPerSecond, settings.lineSettings);
  } else {
    Print("RS CH=%1d,%lu,%s", settings.portIndex + 1, kLineBitsPerSecond, settings.lineSettings);
  }
  NewLine();
  if (settings.fileNameTooLong) {
    Print("Program MOT Filename too long: %lu characters, at most %lu",
          static_cast<unsigned long>(settings.fileNameLength), static_cast<unsigned long>(kFileNameRoom - 1));
    ReportOutcome(false);
    return;
  }
  Print("Program MOT Filename=");
  PrintLong(settings.programFileName);
  NewLine();
  if (!settings.optionProblem.empty()) {
    PrintLong(settings.optionProblem);
    ReportOutcome(false);
    return;
  }
  ProgramChip();
}

void Terminate() {
  RsFlush(g_runSettings.portIndex);
  RsClose(g_runSettings.portIndex);
}
