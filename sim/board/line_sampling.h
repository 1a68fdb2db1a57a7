// One direction of an asynchronous serial line as levels over time, and the
// UART at its far end that reads characters from them.
//
// The sender puts characters on the line at its own bit time: a start bit
// (low), 8 data bits, least significant first, and a stop bit (high); the
// line is high between characters. The receiver waits for a falling edge,
// then samples the start bit and each following bit in the middle of where
// its own bit time puts them: a start bit sampled high was a glitch (it
// waits for the next edge from there), a stop bit sampled low is a framing
// error. It looks for the next falling edge from the stop bit's sample on.
// Rates a few per cent apart thus pass every byte unchanged; further apart,
// the bytes come out as such a UART reads them.
//
// A line that carries at most a certain rate (a slow level shifter, a long
// cable) garbles the characters sent faster than that: their driver does
// not get back to the idle level in time, so the stop bit stays low, and
// their bits pass a first-order low-pass whose step response reaches the
// receiver's threshold (half the swing) in half a bit at that rate, so
// single bits are smeared. Characters at or under the limit pass as sent.
//
// Times are nanoseconds since the clock's epoch, as doubles.
#ifndef KORVEL_SIM_LINE_SAMPLING_H
#define KORVEL_SIM_LINE_SAMPLING_H

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

class LineSampler {
 public:
  struct Character {
    double due;  // when the receiver has it: the end of its stop bit, by the receiver's bit time
    std::uint8_t byte;
    bool framingError;
  };

  // The line carries at most maxRate bit/s (0: any rate) for the
  // characters sent from now on.
  void SetLimit(double maxRate) { limit_ = maxRate; }
  // A character from the sender, starting at start (not before End()).
  void Send(double start, double bitNs, std::uint8_t byte);
  // When the last character's stop bit ends (0: nothing sent yet).
  double End() const { return chars_.empty() ? end_ : chars_.back().start + 10 * chars_.back().bit; }

  // The next character the receiver reads at bitNs from what has been
  // sent so far, or nothing; bitNs 0 reads at the sender's own bit time.
  // Take() moves the receiver past it.
  std::optional<Character> Peek(double bitNs);
  void Take();

  // What a receiver at receiveBitNs reads of one character sent on an
  // idle line at sendBitNs (usually one character; none or more when the
  // rates are far apart).
  static std::vector<Character> Alone(std::uint8_t byte, double sendBitNs, double receiveBitNs, double maxRate = 0);

 private:
  struct Sent {
    double start;
    double bit;
    std::uint16_t frame;  // bit 0: the start bit ... bit 9: the stop bit
    double tau;           // the low-pass it passes (0: none)
  };
  std::optional<Character> Read(double bitNs);
  // The level after the filter at t (1 high, 0 low).
  double Level(double t) const;
  // The first falling edge through the threshold at or after from.
  std::optional<double> FallingEdge(double from) const;
  static double Relax(double v, double u, double dt, double tau);
  double BitAt(double t) const;  // the bit time of the character sent at t

  std::deque<Sent> chars_;
  double end_ = 0;        // the end of the last character dropped
  double huntFrom_ = 0;   // the receiver looks for a start bit from here
  double limit_ = 0;
  std::optional<double> takeHunt_;  // where Take() moves the hunt to
  std::optional<std::optional<Character>> peeked_;  // Peek's answer until something changes
  double peekedBit_ = 0;
};

#endif
