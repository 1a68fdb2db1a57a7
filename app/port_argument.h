// The first argument of the command line: a device path or a port number.
#ifndef KORVEL_APP_PORT_ARGUMENT_H
#define KORVEL_APP_PORT_ARGUMENT_H

#include <string>

// The number as read like strtol in base 10 (leading white space, an
// optional sign, the digits up to the first non-digit; capped past 1000).
long PortNumberFromArgument(const char* argument);

// True when the first argument names a device by its path rather than by
// a port number.
bool IsDevicePath(const char* argument);

// For a first argument that is neither a port number 1 to 10 nor a device
// path (nor the name of an existing file): that port 1 is used, and which
// device that is. "" otherwise.
std::string PortArgumentNote(const char* argument, const std::string& portOneDevice);

#endif
