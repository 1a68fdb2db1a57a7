// The serial platform for in-process runs: the port is a virtual board
// (sim board.h) on a virtual clock. Every sleep of the Rs operations
// advances the clock and lets the board run, so a ten-try silent board or
// the 10 s start-signal wait costs milliseconds while the Rs operations make
// their real queries and waits.
#ifndef KORVEL_TESTS_RUNS_BOARD_LINE_H
#define KORVEL_TESTS_RUNS_BOARD_LINE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "board.h"

namespace board_line {

struct Setup {
  BoardConfig board;
  // Bytes from the host that reach the chip; later ones are lost, as on a
  // cable pulled in the middle of a run.
  std::size_t hostBytesThatArrive = SIZE_MAX;
  // Virtual time one run may take; past it the line goes dead, so a run
  // that would hang ends and the test can say so.
  double virtualSecondsCap = 120;
};

// The next Open builds this board.
void Prepare(const Setup& setup);

// The board of the last Open (it stays after Close), and what the host
// wrote to it.
Board* LastBoard();
const std::vector<std::uint8_t>& HostBytes();
double VirtualSeconds();
bool CapReached();

}  // namespace board_line

#endif
