// The fast mode's line protocol as the host names it: the first stage's
// load and the fast-mode program's frames. Their descriptions and the same
// values, as equates, head first_stage.s and fast_program.s; a test holds
// them together (docs/DESIGN.md: changing the protocol).
#ifndef KORVEL_ONCHIP_FAST_PROTOCOL_H
#define KORVEL_ONCHIP_FAST_PROTOCOL_H

#include <cstddef>
#include <cstdint>

namespace fast_protocol {

// The first stage's load: after the BRR of the host's rate (echoed at the
// old rate), kLoadCheckBytes bytes echoed at the new one before the rest
// goes, the program padded to kMainProgramBytes and its CRC-32, low byte
// first, over everything sent after the BRR.
constexpr std::size_t kLoadCheckBytes = 4;
constexpr std::size_t kMainProgramBytes = 1024;
constexpr std::uint32_t kMainProgramAddress = 0xFFF384;

// Commands, the first byte of a frame: command, address (3 bytes), length
// (3 bytes), data (kWrite only), CRC-32 (4 bytes).
constexpr char kHello = 'H';  // -> kHelloAnswer
constexpr char kWrite = 'W';  // -> kProgrammed, kNotVerified or kOutsideFlash
constexpr char kSum = 'S';    // -> kSumAnswer or kOutsideFlash
constexpr char kRate = 'R';   // -> kRateAnswer
constexpr char kLoadCrc = 'L';  // -> kLoadCrcAnswer
constexpr std::size_t kFrameHead = 7, kFrameCrc = 4;
constexpr std::size_t kMaxData = 1024;  // the largest block: the program's frame buffer

// Answers, the first byte of code, value (4 bytes), check byte; any
// command may get kBadFrame (CRC wrong, frame cut short or too long).
constexpr char kHelloAnswer = 'K';   // version, boot BRR, current BRR, 0
constexpr char kProgrammed = 'P';    // the block's address
constexpr char kNotVerified = 'V';   // the address of the byte that did not program
constexpr char kOutsideFlash = 'A';  // the range leaves H'00000-H'1FFFF
constexpr char kSumAnswer = 'S';     // CRC-32 of the range as read back
constexpr char kRateAnswer = 'R';    // the new BRR
constexpr char kBadFrame = 'C';
constexpr char kLoadCrcAnswer = 'L';  // the load's CRC bytes as the first stage received them; also at start
constexpr std::size_t kAnswerBytes = 6;

constexpr int kVersion = 1;  // what the hello answer gives as the program's version

}  // namespace fast_protocol

#endif
