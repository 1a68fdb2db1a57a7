#include "port_argument.h"

#include <sys/stat.h>

#include <cstring>

#include "rs.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool NamesAFile(const char* name) {
  struct stat info {};
  return stat(name, &info) == 0;
}

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

std::string PortArgumentNote(const char* argument, const std::string& portOneDevice) {
  if (IsDevicePath(argument) || NamesAFile(argument)) return "";
  const long number = PortNumberFromArgument(argument);
  if (number >= 1 && number <= kRsPortCount) return "";
  return std::string("korvel: \"") + argument + "\" is not a port number (1 to 10) or a device path; using port 1 (" +
         portOneDevice + ")";
}
