// h8board: a virtual H8/3048F board in boot mode on a pseudo-terminal.
// It prints the terminal's path, serves one programming run (until the
// host, having opened the line, closes it again), then writes the flash and
// a one-line summary.
#ifndef KORVEL_SIM_H8BOARD_TOOL_H
#define KORVEL_SIM_H8BOARD_TOOL_H

#include <iosfwd>

#include "h8board_options.h"

// Exit codes of the tool.
constexpr int kH8BoardServed = 0;     // the host opened and closed the line
constexpr int kH8BoardFault = 1;      // the CPU met an unknown opcode, or an I/O failure
constexpr int kH8BoardUsage = 2;      // bad command line
constexpr int kH8BoardCutShort = 3;   // --timeout or a signal ended the run first

// The whole tool: options, terminal, run, files, summary. out gets the
// terminal's path; err gets everything else.
int RunH8Board(const H8BoardOptions& options, std::ostream& out, std::ostream& err);
int H8BoardMain(int argc, char** argv);

#endif
