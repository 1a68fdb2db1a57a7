// The programmer's version and build stamp, shown by the banner and by
// --version.
#ifndef KORVEL_RUNTIME_VERSION_H
#define KORVEL_RUNTIME_VERSION_H

// The build passes the project's version numbers in; 0.3 otherwise.
#ifndef KORVEL_VERSION_MAJOR
#define KORVEL_VERSION_MAJOR 0
#endif
#ifndef KORVEL_VERSION_MINOR
#define KORVEL_VERSION_MINOR 3
#endif

constexpr int kVersionMajor = KORVEL_VERSION_MAJOR;
constexpr int kVersionMinor = KORVEL_VERSION_MINOR;
constexpr const char* kVersionSuffix = "";

// When this build was made: "Dec  7 2026" and "05:28:49".
const char* BuildDate();
const char* BuildTime();

#endif
