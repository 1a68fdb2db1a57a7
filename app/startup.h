// The frame of one programming run: Initialize, Run, Terminate.
#ifndef KORVEL_APP_STARTUP_H
#define KORVEL_APP_STARTUP_H

// Reads the command line into the run settings and opens the run's port.
// A port that does not open is reported on standard error only; the run
// goes on and fails at the synchronisation.
void Initialize(int argc, char** argv);

// Banner, settings lines, then the programming sequence, once; true
// when it ended in "Success".
bool Run();

// Empties the receive queue and closes the port.
void Terminate();

// How the first argument reads as a port number: like strtol in base 10
// (leading white space, an optional sign, the digits up to the first
// non-digit); 1..10 gives port index 0..9, anything else port index 0.
int PortIndexFromArgument(const char* argument);
// The number as read there (capped past 1000).
long PortNumberFromArgument(const char* argument);

// True when the first argument names a device by its path rather than by
// a port number.
bool IsDevicePath(const char* argument);

#endif
