#include "port_names.h"

#include <sys/stat.h>

#include <cctype>
#include <cstring>

std::string WindowsPortDevice(const char* name) {
  if (std::strlen(name) < 4 || std::strlen(name) > 6) return "";
  for (int i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return "";
  }
  if (name[3] == '0') return "";  // there is no COM0, and COM05 is no name
  for (const char* p = name + 3; *p != '\0'; ++p) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) return "";
  }
  return std::string("\\\\.\\COM") + (name + 3);
}

std::string PosixPortDevice(const char* name, const std::string& devRoot) {
  if (*name == '\0' || std::strchr(name, '/') != nullptr || std::strcmp(name, ".") == 0 ||
      std::strcmp(name, "..") == 0) {
    return "";
  }
  const std::string device = devRoot + "/" + name;
  struct stat info {};
  return stat(device.c_str(), &info) == 0 ? device : "";
}

std::string DeviceForPortName(const char* name) {
#ifdef _WIN32
  return WindowsPortDevice(name);
#else
  return PosixPortDevice(name);
#endif
}
