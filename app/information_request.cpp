#include "information_request.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "console.h"
#include "port_list.h"
#include "version.h"

namespace {

#ifdef _WIN32
constexpr const char* kPortHelp =
    "  PORT        1 to 10 for COM1..COM10, a name such as COM12, or a device\n"
    "              path such as \\\\.\\COM12\n";
constexpr const char* kReadmeHelp = "README.md beside korvel.exe";
#else
constexpr const char* kPortHelp =
    "  PORT        1 to 10 for /dev/ttyS0../dev/ttyS9, a name in /dev such as\n"
    "              ttyUSB0, or a device path such as /dev/serial/by-id/...\n";
constexpr const char* kReadmeHelp = "/usr/share/doc/korvel/README.md and man korvel";
#endif

constexpr const char* kUsage =
    "Usage: korvel PORT [FILE]\n"
    "       korvel [--fast [--max-rate RATE] [--clock MHZ]] [--exit-status] PORT [FILE]\n"
    "       korvel --list | --version | --help\n";

void PrintHelp() {
  std::printf(
      "%s"
      "\n"
      "Writes FILE, a program file, into the flash of an H8/3048F in boot mode\n"
      "over a serial line at 9600 bit/s 8N1.\n"
      "\n"
      "%s"
      "  FILE        S-records, Intel HEX, COFF or ELF, or a raw image named *.bin\n"
      "              (default H3048.MOT)\n"
      "  --fast      korvel's own program in the chip: checked blocks at the\n"
      "              fastest rate the board's crystal allows, and a read-back\n"
      "  --max-rate  the fast mode's highest rate in bit/s, 9600 or more\n"
      "  --clock     the board's crystal in MHz (2 to 16): the fast mode's rates\n"
      "              from it rather than from the boot program's estimate\n"
      "  --exit-status  exit code 1 after Fail, 2 for a command line korvel refuses\n"
      "  --list      the serial ports of this machine\n"
      "  --version   the version and build date\n"
      "  -h, --help  this text\n"
      "\n"
      "Options may come before or after PORT and FILE.\n"
      "A run ends with the word \"Success\" (every record programmed) or \"Fail\";\n"
      "a summary line follows on standard error. The exit code is 0 unless\n"
      "--exit-status is given.\n"
      "More: %s.\n",
      kUsage, kPortHelp, kReadmeHelp);
}

}  // namespace

InformationRequest ReadInformationRequest(int argc, char** argv) {
  if (argc < 2) return InformationRequest::kNone;
  const char* first = argv[1];
  if (std::strcmp(first, "-h") == 0 || std::strcmp(first, "--help") == 0) return InformationRequest::kHelp;
  if (std::strcmp(first, "--version") == 0) return InformationRequest::kVersion;
  if (std::strcmp(first, "--list") == 0) return InformationRequest::kList;
  return InformationRequest::kNone;
}

void RefuseCommandLine(const std::string& problem) {
  std::fflush(stdout);
  FlushConsole();
  std::fprintf(stderr, "korvel: %s\n%s", problem.c_str(), kUsage);
  std::fflush(stderr);
}

bool AnswerInformationRequest(int argc, char** argv) {
  switch (ReadInformationRequest(argc, argv)) {
    case InformationRequest::kNone:
      return false;
    case InformationRequest::kHelp:
      PrintHelp();
      break;
    case InformationRequest::kVersion:
      std::printf("korvel %d.%d%s (built %s %s)\n", kVersionMajor, kVersionMinor, kVersionSuffix, BuildDate(),
                  BuildTime());
      break;
    case InformationRequest::kList:
      std::fputs(FormatPortList(ListSerialPorts()).c_str(), stdout);
      break;
  }
  std::fflush(stdout);
  return true;
}
