// The board at its system clock: the bit-rate register the boot program
// sets for 9600 bit/s, and a program pulse of the write-control program
// (41 passes of its 6-state loop and the 5-state write that ends it); and
// what a UART reads of a character sent at another rate or through a line
// that cannot carry it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "board.h"
#include "h8_cpu.h"
#include "line_sampling.h"
#include "write_control_program.h"

namespace {

// Loads the write-control program into a board on a virtual clock and
// sends it one record; returns the board once it has answered.
void ProgramOneByte(Board& board, BoardWire::Time& now, std::uint8_t firstPulseLoop) {
  std::string image(reinterpret_cast<const char*>(kWriteControlProgram), kWriteControlProgramSize);
  const std::size_t loop = image.find(std::string("\x79\x0C\x00\x28", 4));  // mov.w #40,e4: the first pulse's passes
  ASSERT_NE(loop, std::string::npos);
  image[loop + 3] = static_cast<char>(firstPulseLoop);
  std::string host = std::string(1, '\0') + "\x55\x03\x45" + image;
  host += "S1050000A55A00";
  for (char c : host) {
    const auto byte = static_cast<std::uint8_t>(c);
    board.Wire().FromHost(&byte, 1);
    for (int i = 0; i < 1000; ++i) {
      while (board.Run() == Board::Activity::kBusy) continue;
      board.Wire().HandedToHost(board.Wire().ForHost().size());
      const auto next = board.NextEvent();
      if (!next) break;
      now = std::max(now, *next);
    }
  }
}

}  // namespace

TEST(BoardClock, BitRateRegisterAndProgramPulse) {
  // At 2 MHz 9600 bit/s is outside the boot program's table: it does not
  // align (BRR keeps its reset value), and nothing is programmed. The pulse is 251 states: from the
  // FLMCR write that sets P to the one that clears it, whose I/O cycle takes 3.
  // Every pulse lies within the flash's envelope, but for a copy of the
  // program whose first pulse loop is doubled (80 passes: 491 states).
  const struct { double mhz; int brr; long long pulseNs; std::uint64_t pulses; std::uint8_t byte1;
                 std::uint8_t firstPulseLoop = 40; std::uint64_t envelopeFlags = 0; } cases[] = {{14.7456, 47, 17022, 2, 0x5A}, {16, 51, 15688, 2, 0x5A}, {11.0592, 35, 22696, 2, 0x5A},
               {8, 25, 31375, 2, 0x5A}, {10, 32, 25100, 2, 0x5A}, {12, 38, 20917, 2, 0x5A},
               {12, 38, 40917, 2, 0x5A, 80, 2}, {2, 255, 0, 0, 0xFF}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mhz << " MHz");
    BoardConfig config;
    config.clockMhz = c.mhz;
    BoardWire::Time now{};
    Board board(config, {}, [&now] { return now; });
    ProgramOneByte(board, now, c.firstPulseLoop);
    EXPECT_EQ(board.Bus().Sci1().Brr(), c.brr);
    EXPECT_EQ(board.Flash().Read(1), c.byte1);
    EXPECT_NEAR(std::chrono::duration_cast<std::chrono::nanoseconds>(board.Bus().GetStats().lastPulse).count(),
                c.pulseNs, 1);
    EXPECT_EQ(board.Flash().GetStats().pulses, c.pulses) << board.Summary();
    const std::string log = board.Bus().Envelope().Text();  // a blank flash is not erased: one line a pulse, every time measured
    EXPECT_EQ(board.Bus().Envelope().Flags(), c.envelopeFlags) << log;
    EXPECT_EQ(board.Summary().find(", " + std::to_string(c.envelopeFlags) + " outside the flash's timing envelope") != std::string::npos &&
              log.find("us; outside: ") != std::string::npos, c.envelopeFlags > 0) << board.Summary() << log;  // said, and which
    EXPECT_EQ(log.find("H'00001 pulse 1:") != std::string::npos && log.find("H'00000 pulse 1:") == 0 && log.find("P->PV -") == std::string::npos, c.pulses > 0) << log;
  }
}

// The host rates the boot program aligns to: 2400, 4800 and 9600 bit/s, from 2, 4 and 8 MHz up to 16 MHz
// (the H8/3048F hardware manual's table 18-13); no other rate at any clock.
TEST(BoardClock, TheBootProgramAlignsWithinItsTable) {
  const struct { long rate; double mhz; bool aligns; } rows[] = {
      {9600, 8, true}, {9600, 7.99, false}, {9600, 16, true}, {9600, 16.01, false}, {4800, 4, true}, {4800, 3.99, false},
      {4800, 16.01, false}, {2400, 2, true}, {2400, 1.99, false}, {2400, 16, true}, {19200, 16, false}, {1200, 2, false}};
  for (const auto& r : rows) EXPECT_EQ(BootProgram::CanAlign(r.rate, r.mhz * 1e6), r.aligns) << r.rate << " bit/s at " << r.mhz << " MHz";
}

// What a receiver reads of one character on an idle line: within the
// sampling's tolerance (about 4.5% either way at mid-bit) every byte
// passes; twice the rate reads the first half of the character as a whole
// one with a low stop bit; a line that cannot carry the rate keeps the
// stop bit low and smears single bits, later edges the more.
TEST(LineSampling, OneCharacterAtAnotherRate) {
  using C = LineSampler::Character;
  const double b = 1e9 / 9600;
  const struct { const char* what; std::uint8_t byte; double send, receive, limit; std::vector<C> read; } cases[] = {
      {"same rate", 0xA5, b, b, 0, {{10 * b, 0xA5, false}}}, {"4% slow", 0x55, b * 1.04, b, 0, {{10 * b, 0x55, false}}}, {"4% fast", 0x55, b / 1.04, b, 0, {{10 * b, 0x55, false}}},
      {"7% fast: the stop bit read as data", 0x00, b / 1.07, b, 0, {{10 * b, 0x80, false}}},
      {"sent at 19200 to 9600", 0x53, b / 2, b, 0, {{11.5 * b, 0xFC, false}}}, {"sent at 9600 to 19200", 0x53, b, b / 2, 0, {{5 * b, 0x1E, true}, {11 * b, 0xE6, false}}},
      {"a line that carries 9600", 0x55, b, b, 9600, {{10 * b, 0x55, false}}}, {"a line that carries 7000", 0x55, b, b, 7000, {{10.69 * b, 0x55, true}}},
      {"a line that carries 4800", 0x55, b, b, 4800, {{12.58 * b, 0x95, false}}}, {"a line that carries 4800, a NUL", 0x00, b, b, 4800, {{11 * b, 0x00, true}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<C> read = LineSampler::Alone(c.byte, c.send, c.receive, c.limit);
    ASSERT_EQ(read.size(), c.read.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
      EXPECT_EQ(read[i].byte, c.read[i].byte) << i;
      EXPECT_EQ(read[i].framingError, c.read[i].framingError) << i;
      EXPECT_NEAR(read[i].due, c.read[i].due, b / 100) << i;
    }
  }
}
