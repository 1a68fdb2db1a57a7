// The host's end of the serial line, as the boot program's bit-rate
// measurement sees it: no terminal API here, so the board does not care
// where the host's settings come from (a pseudo-terminal, a test).
#ifndef KORVEL_SIM_HOST_LINE_H
#define KORVEL_SIM_HOST_LINE_H

#include <string>

struct HostLine {  // the host's end of the line, as the boot program's bit-rate measurement sees it
  enum class Parity { kNone, kOdd, kEven };
  enum class StopBits { kOne, kOneAndHalf, kTwo };
  long bitRate = 9600;  // the rate the host sends at; 0 or less: one that has no standard value
  long receiveRate = 0;  // the rate the host receives at, when not bitRate
  int dataBits = 8;
  Parity parity = Parity::kNone;
  StopBits stopBits = StopBits::kOne;
  bool raw = true;  // no canonical input, echo, signals, CR/LF translation, XON/XOFF, output processing
};

// What keeps the boot program from measuring the line: empty for a
// standard bit rate, 8 data bits, no parity, 1 stop bit, raw; otherwise
// the problems, comma-separated ("an unusual bit rate, parity on").
std::string LineProblem(const HostLine& line);

#endif
