#include "run_notes.h"

#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "console.h"

const char* const kNoSyncHint =
    "korvel: no synchronisation in ten tries: check that the board is in boot mode and was reset just before the "
    "run, that it has power, that TxD and RxD are not swapped, and that this is its port (korvel --list)";
const char* const kLineClosedNote = "korvel: the line closed during the run";

std::string ProgramFileNote(const char* fileName) {
  struct stat info {};
  int error = 0;
  if (stat(fileName, &info) != 0) {
    error = errno;
  } else if (S_ISDIR(info.st_mode)) {
    error = EISDIR;
  } else if (access(fileName, R_OK) != 0) {
    error = errno;
  }
  if (error == 0) return "";
  return std::string("korvel: ") + fileName + ": " + std::strerror(error) +
         "; the chip will be loaded first and the run will fail";
}

void WriteNote(const std::string& note) {
  if (note.empty()) return;
  std::fflush(stdout);
  PrintErrorLine(note);
}
