// The loop that runs the board on its pseudo-terminal: it feeds the host's
// bytes in, lets the chip run, and hands the chip's bytes out at the moment
// they finish crossing the line.
#ifndef KORVEL_SIM_SERVE_LOOP_H
#define KORVEL_SIM_SERVE_LOOP_H

#include <csignal>
#include <iosfwd>
#include <optional>

#include "board.h"

class PtyLine;

// How a served run ended. A CPU fault does not end it: the board then
// stays silent until the host closes the line (Board::Fault() tells).
enum class ServeEnd { kHostClosed, kTimeout, kInterrupted, kHungUp };

// The board's clock. A wake-up from a timed wait comes some tens of
// microseconds after the moment asked for (the kernel's timer latency); a
// real chip reacts at the moment its byte arrives, so while the board
// handles what fell due, its clock reads the moment the wait was for.
class ServeClock {
 public:
  BoardWire::Time Now() const { return held_ ? *held_ : BoardWire::Clock::now(); }
  void HoldAt(BoardWire::Time t) { held_ = t; }
  void Release() { held_.reset(); }

 private:
  std::optional<BoardWire::Time> held_;
};

// Runs the board (built on clock) on the line until the run is over. stop,
// when set by a signal handler, ends it early. A CPU fault is reported on
// err at once; verbose adds the board's own log. awake (paced): short waits
// and the moment after a handoff are spent awake instead of on a timer.
ServeEnd ServeBoard(Board& board, ServeClock& clock, PtyLine& line, double timeoutSeconds,
                    const volatile std::sig_atomic_t* stop, std::ostream& err, bool verbose, bool awake = false);

#endif
