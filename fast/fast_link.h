// The host's end of the fast-mode program's line protocol (its description
// heads onchip/fast_program.s): command frames with a CRC-32 out, answers
// of six bytes back.
#ifndef KORVEL_FAST_FAST_LINK_H
#define KORVEL_FAST_FAST_LINK_H

#include <cstddef>
#include <cstdint>
#include <vector>

// CRC-32 as zlib computes it; crc is the value so far (0 to start).
std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size, std::uint32_t crc = 0);

// The bytes of a command frame: cmd, address (3 bytes), length (3 bytes),
// data, CRC-32 of all that, high bytes first.
std::vector<std::uint8_t> CommandFrame(char cmd, std::uint32_t address, std::uint32_t length,
                                       const std::uint8_t* data = nullptr, std::size_t size = 0);

struct Answer {
  char code = 0;            // 0: none, or a bad one
  std::uint32_t value = 0;
};

// The bytes of an answer: code, value high first, check byte.
std::vector<std::uint8_t> AnswerBytes(char code, std::uint32_t value);

// Sends the frame in one write, so that no gap opens inside it on our side.
void SendFrame(int port, const std::vector<std::uint8_t>& frame);

// The next answer within ms (counted from the call while no byte comes).
// code 0 when none came whole or its check byte is wrong.
Answer ReadAnswer(int port, unsigned ms);

// n bytes within ms; fewer when the time ran out.
std::vector<std::uint8_t> ReadBytes(int port, std::size_t n, unsigned ms);

// Reads and drops what comes until the line has been quiet for quietMs (at
// most 2 s of it): an answer that came late or half is gone afterwards.
void WaitForQuiet(int port, unsigned quietMs);

#endif
