#include "startup.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command_line.h"
#include "console.h"
#include "line_time.h"
#include "port_names.h"
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

namespace {

bool NamesAFile(const char* name) {
  struct stat info {};
  return stat(name, &info) == 0;
}

// For a first argument that is neither a port number 1 to 10, a device
// path nor a port's name (nor the name of an existing file): that port 1
// is used, and which device that is. "" otherwise.
std::string PortArgumentNote(const char* argument, const std::string& portOneDevice) {
  if (IsDevicePath(argument) || NamesAFile(argument)) return "";
  const long number = PortNumberFromArgument(argument);
  if (number >= 1 && number <= kRsPortCount) return "";
#ifdef _WIN32
  const char* const names = "a port number (1 to 10), COMn or a device path";
#else
  const char* const names = "a port number (1 to 10), a device path or a name in /dev";
#endif
  return std::string("korvel: \"") + argument + "\" is not " + names + "; using port 1 (" + portOneDevice + ")";
}

}  // namespace

void Initialize(int argc, char** argv) {
  StartRunFigures();
  RunSettings& settings = g_runSettings;
  settings.portIndex = 0;
  // Nothing of an earlier run in this process stays: the device named by
  // path, if any, is this command line's.
  settings.devicePath.clear();
  RsSetDeviceName(settings.portIndex, "");
  const CommandLine line = ReadCommandLine(argc, argv);
  settings.fast = line.fast;
  settings.maxRate = line.maxRate;
  settings.clockMhz = line.clockMhz;
  settings.optionProblem = line.rateProblem;
  bool namedDevice = false;
  if (line.port != nullptr) {
    const long number = PortNumberFromArgument(line.port);
    if (IsDevicePath(line.port)) {
      settings.devicePath = line.port;
      RsSetDeviceName(settings.portIndex, line.port);
    } else if (number >= 1 && number <= kRsPortCount) {
      settings.portIndex = static_cast<int>(number) - 1;
    } else if (const std::string device = DeviceForPortName(line.port); !device.empty()) {
      namedDevice = true;
      RsSetDeviceName(settings.portIndex, device);
#ifdef _WIN32
      settings.devicePath = line.port;  // COM5 as the user and the device manager call it
#else
      settings.devicePath = device;
#endif
    }
  }
  const char* name = line.file != nullptr ? line.file : kDefaultProgramFile;
  settings.fileNameLength = std::strlen(name);
  settings.fileNameTooLong = settings.fileNameLength >= kFileNameRoom;
  if (!settings.fileNameTooLong) std::memcpy(settings.programFileName, name, settings.fileNameLength + 1);
  std::snprintf(settings.lineSettings, sizeof settings.lineSettings, "%s", "N81N");

  RsInit();
  if (line.port != nullptr && !namedDevice) WriteNote(PortArgumentNote(line.port, RsDeviceName(0)));
  // The fast mode reads the file before it sends anything: its console says it.
  if (!settings.fileNameTooLong && !settings.fast) WriteNote(ProgramFileNote(settings.programFileName));
  if (RsOpen(settings.portIndex, settings.bitRateIndex, kDataBits8, kNoParity, kOneStopBit) != 1) {
    // Standard output stays as a silent board's run would show it; the
    // reason goes to standard error for the person at the keyboard.
    PrintErrorLine("korvel: " + RsOpenFailure(settings.portIndex));
  }
}

bool Run() {
  const RunSettings& settings = g_runSettings;
  Print("<<< KORVEL [WINDOWS] Ver%1d.%1d%s >>>", kVersionMajor, kVersionMinor, kVersionSuffix);
  NewLine();
  Print(" %s", kHomePage);
  NewLine();
  NewLine();
  NewLine();
  Print("Program compiled [%s,%s]", BuildDate(), BuildTime());
  NewLine();
  if (!settings.devicePath.empty()) {
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
    return false;
  }
  Print("Program MOT Filename=");
  PrintLong(settings.programFileName);
  NewLine();
  if (!settings.optionProblem.empty()) {
    PrintLong(settings.optionProblem);
    ReportOutcome(false);
    return false;
  }
  return ProgramChip();
}

void Terminate() {
  RsFlush(g_runSettings.portIndex);
  RsClose(g_runSettings.portIndex);
  FlushConsole();
}
