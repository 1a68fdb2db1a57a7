// The invocations that only ask something: --help, --version, --list. They
// are answered on standard output before any port is opened.
#ifndef KORVEL_APP_INFORMATION_REQUEST_H
#define KORVEL_APP_INFORMATION_REQUEST_H

#include <string>

enum class InformationRequest { kNone, kHelp, kVersion, kList };

// Only the exact first arguments -h, --help, --version and --list ask;
// anything else names a port, so "korvel --HELP" programs through port 1.
InformationRequest ReadInformationRequest(int argc, char** argv);

// Answers the request, if the command line makes one; false when the
// command line asks for a programming run.
bool AnswerInformationRequest(int argc, char** argv);

// For a command line korvel cannot use: the problem and the usage lines,
// on standard error.
void RefuseCommandLine(const std::string& problem);

#endif
