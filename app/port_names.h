// Ports by the names the operating system gives them, beside the numbers
// 1 to 10 and device paths.
#ifndef KORVEL_APP_PORT_NAMES_H
#define KORVEL_APP_PORT_NAMES_H

#include <string>

// Windows: "COMn" in any case is the device "\\.\COMn" (the form that
// reaches COM10 and above too). "" for anything else.
std::string WindowsPortDevice(const char* name);

// Linux: a bare name such as "ttyUSB0" is devRoot/NAME when that exists.
// "" for a name with a slash, "." or "..", or one not there.
std::string PosixPortDevice(const char* name, const std::string& devRoot = "/dev");

// This platform's rule of the two.
std::string DeviceForPortName(const char* name);

#endif
