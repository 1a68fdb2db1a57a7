// A scripted H8/3048F in boot mode for tests, played on a PtyPeer.
//
// By default it answers like a good chip: each 0x00 of the bit-rate
// synchronisation with 0x00, the check byte 0x55 with 0xAA, then it echoes
// the two length bytes and as many program bytes as they announce, and once
// the last one is in it sends the start signal 0xAA, optionally followed by
// what the started program sends (kStartLine). Bytes after that go to an
// optional hook that can play the started program.
//
// Faults are set per step before Start(): a step's answer can be left out,
// replaced by a wrong byte, sent late, or followed by extra bytes. A step
// whose answer is faulty still counts as received, as on a real chip whose
// echo went wrong on the line.
//
//   BootChip chip;                                   // a good chip
//   chip.SetAnswer(BootChip::ImageByte(0), BootChip::Answer::Wrong(0x41));
//   chip.Start();
//   ... open chip.DevicePath() as the port under test ...
#ifndef KORVEL_TESTS_BOOT_CHIP_H
#define KORVEL_TESTS_BOOT_CHIP_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "pty_peer.h"

class BootChip {
 public:
  // Where the boot program is in the exchange.
  enum class Stage {
    Sync,        // taking 0x00 bytes until 0x55 comes
    Confirm,     // (only as a step: the 0x55 itself)
    LengthHigh,  // next byte: high byte of the program length
    LengthLow,
    Image,       // taking the announced number of program bytes
    Running,     // start signal sent; the loaded program has the line
  };

  // One byte of the exchange. index: which 0x00 of the synchronisation
  // (from 0), or the position in the program image; 0 for the others.
  struct Step {
    Stage stage;
    std::size_t index;
    bool operator<(const Step& other) const {
      return stage != other.stage ? stage < other.stage : index < other.index;
    }
  };
  static Step SyncByte(std::size_t attempt) { return {Stage::Sync, attempt}; }
  static Step Confirm() { return {Stage::Confirm, 0}; }
  static Step LengthHigh() { return {Stage::LengthHigh, 0}; }
  static Step LengthLow() { return {Stage::LengthLow, 0}; }
  static Step ImageByte(std::size_t position) { return {Stage::Image, position}; }

  // How the chip answers one step.
  struct Answer {
    enum class Kind { Normal, Silent, Wrong };
    Kind kind = Kind::Normal;
    std::uint8_t wrongByte = 0;
    int delayMs = 0;  // the answer leaves this long after the byte came in
    Bytes extra;      // sent extraDelayMs after the answer (or the byte, when silent)
    int extraDelayMs = 0;

    static Answer Normal() { return {}; }
    static Answer Silent() { return {Kind::Silent, 0, 0, {}, 0}; }
    static Answer Wrong(std::uint8_t byte) { return {Kind::Wrong, byte, 0, {}, 0}; }
    static Answer Late(int delayMs) { return {Kind::Normal, 0, delayMs, {}, 0}; }
    // Bytes that follow the answer, e.g. a surplus echo or a start signal
    // the boot program sends although it is short of bytes.
    Answer Then(Bytes bytes, int afterMs = 0) const {
      Answer a = *this;
      a.extra = std::move(bytes);
      a.extraDelayMs = afterMs;
      return a;
    }
  };

  // What the started write-control program sends first.
  inline static const std::string kStartLine = "[START]\r\n";

  struct Options {
    // Stage::LengthHigh for a chip already synchronised (tests of the
    // loader alone); Stage::Sync for a chip straight out of reset.
    Stage begin = Stage::Sync;
    // The byte sent once the last announced program byte is in; nothing
    // when empty.
    std::optional<std::uint8_t> startSignal = std::uint8_t{0xAA};
    int startSignalDelayMs = 20;  // after that last byte came in
    // Sent right behind the start signal, e.g. kStartLine.
    std::string afterStart;
    int afterStartDelayMs = 0;
    // Sees every byte the host sends once the program runs.
    std::function<void(BootChip& chip, std::uint8_t byte)> running;
  };

  BootChip() : BootChip(Options{}) {}
  explicit BootChip(Options options);
  ~BootChip();
  BootChip(const BootChip&) = delete;
  BootChip& operator=(const BootChip&) = delete;

  // Set faults before Start(); a step without one gets the normal answer.
  BootChip& SetAnswer(Step step, Answer answer);

  void Start();
  void Stop();

  // The path the host opens as its serial port.
  const std::string& DevicePath() const { return peer_.DevicePath(); }
  // Everything the host has sent, in order.
  Bytes Received() const { return peer_.Received(); }
  bool WaitForReceived(std::size_t count, int timeoutMs) const { return peer_.WaitForReceived(count, timeoutMs); }
  // Sends bytes to the host (for the running hook, or unprompted).
  void Send(const Bytes& bytes, int delayMs = 0) { peer_.Send(bytes, delayMs); }
  void Send(const std::string& text, int delayMs = 0) { peer_.Send(text, delayMs); }
  // The line itself, e.g. for a stand-in of the started program.
  PtyPeer& Peer() { return peer_; }

 private:
  void OnByte(std::uint8_t byte);
  void Reply(const Step& step, std::uint8_t normalAnswer);

  Options options_;
  std::map<Step, Answer> answers_;
  PtyPeer peer_;
  // Touched only on the peer's thread once started.
  Stage stage_;
  std::size_t syncCount_ = 0;
  std::size_t length_ = 0;
  std::size_t imageCount_ = 0;
};

#endif
