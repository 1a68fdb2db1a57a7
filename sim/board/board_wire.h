// The serial line between the host and the virtual chip, both directions.
//
// Unpaced, a byte crosses at once. Paced, each byte takes the wire time of
// ten bits at 9600 bit/s (start bit, 8 data bits, stop bit: 1.0417 ms), and
// the bytes of one direction follow each other without overlap, so a
// program run takes as long as it would on a real line.
//
// The chip's side sends through a transmit shift register: it takes a byte
// only when the previous one has gone out (paced) or when the host side is
// not backed up (unpaced: too many bytes the host has not read yet).
//
// A byte may be held back until a later moment (Transmit with readySince
// ahead of the clock, paced or not); the bytes sent after it wait behind it.
//
// With a latency, the bytes towards the host pass a USB serial adapter's
// receive buffer on the way: it holds them and hands them on when the
// latency has passed since the first byte it holds, or at once when it
// holds a full USB packet's payload (62 bytes).
#ifndef KORVEL_SIM_BOARD_WIRE_H
#define KORVEL_SIM_BOARD_WIRE_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

class BoardWire {
 public:
  using Clock = std::chrono::steady_clock;
  using Time = Clock::time_point;
  static constexpr Clock::duration kByteTime = std::chrono::nanoseconds(1041667);
  // Unread bytes towards the host above which the transmitter waits.
  static constexpr std::size_t kHostBacklogLimit = 4096;
  // Payload of one USB packet of the adapter (64 bytes less 2 of status).
  static constexpr std::size_t kAdapterPacketBytes = 62;

  explicit BoardWire(bool paced, std::function<Time()> now = Clock::now, unsigned latencyMs = 0);

  bool Paced() const { return paced_; }
  Time Now() const { return now_(); }

  // --- host to chip ---
  // Bytes the host has written; they reach the chip after their wire time.
  void FromHost(const std::uint8_t* data, std::size_t size);
  // The next byte that has reached the chip, if any.
  bool TakeArrived(std::uint8_t* byte);
  bool HasArrived() const;
  std::size_t InFlightToChip() const { return toChip_.size(); }

  // --- chip to host ---
  // The shift register is free (and, unpaced, the host is not backed up).
  bool TransmitterFree() const;
  // Nothing is being shifted out.
  bool TransmitterIdle() const;
  // Sends a byte. Paced, it starts when the shift register frees, but not
  // before readySince (when the byte was ready to go); it can be queued
  // behind bytes still being sent. Unpaced, it crosses at once unless
  // readySince lies ahead or a held-back byte is still waiting.
  void Transmit(std::uint8_t byte);
  void Transmit(std::uint8_t byte, Time readySince);

  // --- the host's side of the chip-to-host direction ---
  // Bytes that have fully crossed and wait to be handed to the host.
  const std::vector<std::uint8_t>& ForHost();
  void HandedToHost(std::size_t count);

  // The next moment something changes by itself (a byte completes its
  // crossing, the shift register frees, a held-back byte goes); nothing
  // when no such thing lies ahead.
  std::optional<Time> NextEvent() const;
  // The next moment bytes become ready for the host (a byte finishes its
  // crossing, the adapter lets its held bytes go); nothing when none is
  // on its way.
  std::optional<Time> NextHandoff() const;

 private:
  struct Timed {
    Time due;
    std::uint8_t byte;
  };
  void Settle();
  // A byte has fully crossed at the given time: to the host, or into the
  // adapter's buffer.
  void Crossed(std::uint8_t byte, Time at);
  void ReleaseHeld();

  bool paced_;
  std::function<Time()> now_;
  std::deque<Timed> toChip_;
  Time lastArrival_{};
  std::deque<Timed> onWire_;  // chip to host, still crossing (paced) or held back
  Time shifterFree_{};
  std::vector<std::uint8_t> forHost_;
  Clock::duration latency_;
  std::vector<std::uint8_t> held_;  // in the adapter's buffer
  Time heldSince_{};
};

#endif
