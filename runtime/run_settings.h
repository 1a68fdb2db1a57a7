// The run settings: fixed once by Initialize, only read afterwards.
#ifndef KORVEL_RUNTIME_RUN_SETTINGS_H
#define KORVEL_RUNTIME_RUN_SETTINGS_H

#include <cstddef>
#include <string>

// The program file name buffer: names of up to kFileNameRoom - 1 characters.
constexpr std::size_t kFileNameRoom = 528;
constexpr const char* kDefaultProgramFile = "H3048.MOT";

// 9600 bit/s in the serial module's bit-rate table.
constexpr int kRunBitRateIndex = 5;

struct RunSettings {
  int portIndex = 0;
  int bitRateIndex = kRunBitRateIndex;
  char programFileName[kFileNameRoom] = {0};
  char lineSettings[8] = {0};
  // Beyond the port number: the device named by a path on the command line
  // (empty when the port number was given), and a program file name too
  // long for its buffer, which stops the run before the port is used.
  std::string devicePath;
  bool fileNameTooLong = false;
  std::size_t fileNameLength = 0;
  // --fast [--max-rate RATE] [--clock MHZ]: the fast mode, its highest bit
  // rate, the crystal named, and what was wrong with those ("": nothing).
  bool fast = false;
  long maxRate = 10000000;
  double clockMhz = 0;  // --clock; 0: the clock the boot program's BRR stands for
  std::string optionProblem;
};

extern RunSettings g_runSettings;

#endif
