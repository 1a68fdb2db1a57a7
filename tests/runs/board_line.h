// The serial platform for in-process runs: a virtual board on a virtual
// clock. Every wait of the Rs operations advances the clock and lets the
// board run, so the 10 s start-signal wait costs milliseconds.
#ifndef KORVEL_TESTS_RUNS_BOARD_LINE_H
#define KORVEL_TESTS_RUNS_BOARD_LINE_H

#include <cstdint>
#include <vector>

#include "board.h"

namespace board_line {

struct Setup {
  BoardConfig board;
  // Bytes from the host that reach the chip; later ones are lost, as on a
  // cable pulled in the middle of a run.
  std::size_t hostBytesThatArrive = SIZE_MAX;
  // Past this virtual time the line goes dead, so a run that would hang ends.
  double virtualSecondsCap = 120;
};

void Prepare(const Setup& setup);  // the next Open builds this board
Board* LastBoard();                // the board of the last Open; it stays after Close
const std::vector<std::uint8_t>& HostBytes();  // everything the host wrote to it
bool CapReached();
bool LinesRaised();  // RTS and DTR, since the last Open
long VirtualMs();  // the virtual time since the last Open
double VirtualSeconds();  // the virtual clock itself

}  // namespace board_line

#endif
