// Notes on standard error for the person at the keyboard: what korvel made
// of the command line before the run, and what to look at after a failure.
// Standard output is never touched by them.
#ifndef KORVEL_APP_RUN_NOTES_H
#define KORVEL_APP_RUN_NOTES_H

#include <string>

// For a port argument that is neither a port number 1 to 10, a device
// path nor a port's name (nor the name of an existing file): that port 1 is used, and which
// device that is. "" otherwise.
std::string PortArgumentNote(const char* argument, const std::string& portOneDevice);

// For a program file that cannot be opened: the reason, and that the chip
// is loaded before the run fails. "" when it can be.
std::string ProgramFileNote(const char* fileName);

// After ten unanswered or wrongly answered synchronisation tries.
extern const char* const kNoSyncHint;
// After a run on a line that its device reports gone.
extern const char* const kLineClosedNote;

// Writes a note and a line end to standard error; nothing for "".
void WriteNote(const std::string& note);

#endif
