// The far end of the record exchange: a stand-in for the write-control
// program running in the chip, to be served by a PtyPeer.
//
// It takes the host's characters the way the chip's record loop does:
// outside a record everything but "S" is skipped; inside one every
// character is taken as a hex digit without any check, the count byte says
// how many bytes follow, and the record ends with its checksum byte. Then it
// answers with 'U' (H'55). An end record (S7/S8/S9) is answered and followed
// by "[COMPLETE]\r\n", and so is, without the answer, a type the chip does
// not handle; after either it reads nothing more. A record whose count
// leaves no byte for the chip's loop swallows everything after it, as on
// the chip. Data bytes are programmed into a model of the 128 KB flash
// (erased to H'FF, address taken modulo H'20000); a byte that needs a bit
// raised from 0 to 1 fails and starts the "[FAIL]\r\n" stream.
//
// Use: make it, start the peer with Script(), call Announce() for the start
// line. The peer's thread calls Take(), so the chip must outlive it (Stop
// the peer first); the accessors may be used from the test's thread at any
// time. The failure stream runs for about a second, not for ever.
#ifndef KORVEL_TESTS_RECORD_CHIP_H
#define KORVEL_TESTS_RECORD_CHIP_H

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "pty_peer.h"

class RecordChip {
 public:
  static constexpr std::size_t kFlashSize = 0x20000;

  enum class Fault {
    kNone,        // every record is answered with 'U'
    kSilent,      // after faultAfter answers: reads on, answers nothing
    kFailStream,  // the first data byte after faultAfter answers fails to
                  // program: "[FAIL]\r\n" over and over, input ignored
    kAnswerByte,  // the record after faultAfter answers is answered with
                  // faultByte instead of 'U'; later ones with 'U' again
  };

  struct Behaviour {
    Fault fault = Fault::kNone;
    std::size_t faultAfter = 0;
    std::uint8_t faultByte = 0;
    int answerDelayMs = 0;  // from the record's last character to the answer
  };

  RecordChip();  // answers every record with 'U'
  explicit RecordChip(Behaviour behaviour);

  // Sends the start line "[START]\r\n", after delayMs.
  void Announce(PtyPeer& peer, int delayMs = 0);
  // One character from the host.
  void Take(PtyPeer& peer, std::uint8_t c);
  // Take() as the peer's script.
  PtyPeer::Script Script();

  // The records the chip read to their end, each from "S" to the checksum.
  std::vector<std::string> Records() const;
  // Answer bytes sent so far ('U' and a faultByte).
  std::size_t Answers() const;
  // "[COMPLETE]\r\n" was sent: the chip reads nothing more.
  bool Completed() const;
  // A byte failed to program and the failure stream runs.
  bool Failing() const;
  // The flash as programmed so far.
  std::vector<std::uint8_t> Flash() const;

 private:
  enum class Phase { kWaitS, kType, kCount, kAddress, kData, kDiscard, kChecksum, kSwallow, kStopped, kFailing };

  void TakeByte(PtyPeer& peer, unsigned value);
  void EndRecord(PtyPeer& peer);
  void Program(PtyPeer& peer, unsigned value);
  void SendComplete(PtyPeer& peer, int delayMs);

  Behaviour behaviour_;
  mutable std::mutex mutex_;
  Phase phase_ = Phase::kWaitS;
  std::string record_;     // characters of the record being read
  int type_ = 0;
  int highDigit_ = -1;     // first digit of a byte, until its second comes
  std::uint32_t left_ = 0; // bytes left in the address or the loop
  std::uint32_t count_ = 0;
  std::uint32_t address_ = 0;
  std::vector<std::string> records_;
  std::size_t answers_ = 0;
  bool faultUsed_ = false;
  bool completed_ = false;
  std::vector<std::uint8_t> flash_;
};

#endif
