// The bit rates a terminal is set to, whatever they are: Linux keeps the
// rate itself beside the B-constants (termios2), so a rate set as BOTHER
// reads as what it is. Apart from pty_line.cpp: <asm/termbits.h> and
// <termios.h> cannot share a file.
#ifndef KORVEL_SIM_TERMINAL_RATES_H
#define KORVEL_SIM_TERMINAL_RATES_H

// The output and input rates of the terminal fd; false where they cannot
// be read this way (off Linux), and the B-constants must do.
bool ReadTerminalRates(int fd, long* output, long* input);

#endif
