#include "command_line.h"

#include <cstdlib>
#include <cstring>

#include "fast_rates.h"

namespace {

void SetMaxRate(CommandLine* line, const char* rate) {
  char* end = nullptr;
  const long value = std::strtol(rate, &end, 10);
  if (*rate == '\0' || *end != '\0' || !IsMaxRate(value)) {
    line->rateProblem = std::string("--max-rate ") + rate + ": give a bit rate from 9600 to 10000000";
  }
  line->maxRate = value;
}

void SetClock(CommandLine* line, const char* mhz) {
  char* end = nullptr;
  const double value = std::strtod(mhz, &end);
  if ((*mhz == '\0' || *end != '\0' || !IsClockMhz(value)) && line->rateProblem.empty())
    line->rateProblem = std::string("--clock ") + mhz + ": give the crystal in MHz, from 2 to 16";
  line->clockMhz = value;
}

struct OptionEntry {
  const char* name;
  bool takesValue;
  void (*apply)(CommandLine* line, const char* value);
};

// korvel's own options. A new one is a row here, a line in the help text
// and one in the man page.
const OptionEntry kOptions[] = {
    {"--fast", false, [](CommandLine* line, const char*) { line->fast = true; }},
    {"--max-rate", true, SetMaxRate},
    {"--clock", true, SetClock},
    {"--exit-status", false, [](CommandLine* line, const char*) { line->exitStatus = true; }},
};

const OptionEntry* FindOption(const char* word) {
  for (const OptionEntry& option : kOptions) {
    if (std::strcmp(word, option.name) == 0) return &option;
  }
  return nullptr;
}

// The words that ask instead of programming (information_request.cpp):
// they count as the first argument only.
bool IsInformationRequest(const char* word) {
  return std::strcmp(word, "--help") == 0 || std::strcmp(word, "--version") == 0 || std::strcmp(word, "--list") == 0;
}

}  // namespace

CommandLine ReadCommandLine(int argc, char** argv) {
  CommandLine line;
  bool maxRateGiven = false, clockGiven = false;
  const auto refuse = [&line](const std::string& problem) {
    if (line.usageProblem.empty()) line.usageProblem = problem;
  };
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    if (const OptionEntry* option = FindOption(word)) {
      maxRateGiven |= std::strcmp(word, "--max-rate") == 0;
      clockGiven |= std::strcmp(word, "--clock") == 0;
      if (!option->takesValue) {
        option->apply(&line, nullptr);
      } else if (i + 1 < argc) {
        option->apply(&line, argv[++i]);
      } else {
        refuse(std::string(word) + " needs a value");
      }
    } else if (i > 1 && IsInformationRequest(word)) {
      refuse(std::string(word) + " counts only as the first argument");
    } else if (i > 1 && std::strncmp(word, "--", 2) == 0) {
      refuse(std::string(word) + " is not an option of korvel");
    } else if (line.port == nullptr) {
      line.port = word;
    } else if (line.file == nullptr) {
      line.file = word;
    }
  }
  if (maxRateGiven && !line.fast) refuse("--max-rate is the fast mode's: give --fast too");
  if (clockGiven && !line.fast) refuse("--clock is the fast mode's: give --fast too");
  return line;
}
