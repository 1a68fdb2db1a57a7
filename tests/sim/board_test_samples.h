// Sample S-record files for the board tests, made by
// tools/make_sample_records.sh with the cross toolchain and srec_cat into
// the build tree, once for all test processes (they run in parallel: a lock
// file keeps them from making the folder twice), and again when the script
// changes.
#ifndef KORVEL_TESTS_SIM_BOARD_TEST_SAMPLES_H
#define KORVEL_TESTS_SIM_BOARD_TEST_SAMPLES_H

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "subprocess.h"
#include "transfer_test_files.h"

// The folder with the samples, or "" with why set when the tools are
// missing or the script failed.
inline std::string SampleFolder(std::string* why) {
  for (const char* tool : {"h8300-hms-gcc", "h8300-hms-objcopy", "srec_cat"}) {
    if (!ToolAvailable(tool)) {
      *why = std::string(tool) + " is not installed: the sample S-record files cannot be made";
      return "";
    }
  }
  const std::string script = SourcePath("tools/make_sample_records.sh");
  const std::string folder = BinaryPath("tests/sim/board-samples");
  struct stat info {};
  if (stat(script.c_str(), &info) != 0) {
    *why = script + " is missing";
    return "";
  }
  const std::string version = std::to_string(info.st_mtime) + " " + std::to_string(info.st_size);
  const int lock = open((folder + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock >= 0) flock(lock, LOCK_EX);
  std::string result = folder;
  if (ReadWholeFile(folder + "/.made") != version) {
    const std::string command = "rm -rf '" + folder + "' && '" + script + "' '" + folder + "' >/dev/null";
    if (std::system(command.c_str()) != 0) {
      *why = "tools/make_sample_records.sh failed";
      result.clear();
    } else {
      std::ofstream(folder + "/.made") << version;
    }
  }
  if (lock >= 0) close(lock);
  return result;
}

// The records of a file as the korvel host sends them: every line that
// begins with "S", without its line end.
inline std::vector<std::string> RecordLines(const std::string& text) {
  std::vector<std::string> records;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == 'S') records.push_back(line);
  }
  return records;
}

#endif
