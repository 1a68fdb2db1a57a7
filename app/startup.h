// The frame of one programming run: Initialize, Run, Terminate.
#ifndef KORVEL_APP_STARTUP_H
#define KORVEL_APP_STARTUP_H

// Reads the command line into the run settings and opens the run's port.
// A port that does not open is reported on standard error only; the run
// goes on and fails at the synchronisation.
void Initialize(int argc, char** argv);

// Banner, settings lines, then the programming sequence, once.
void Run();

// Empties the receive queue and closes the port.
void Terminate();

// How the first argument reads as a port number: 1..10 gives port index
// 0..9, anything else port index 0.
int PortIndexFromArgument(const char* argument);

#endif
