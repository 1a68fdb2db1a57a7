// The serial line between the host and the virtual chip, both directions.
//
// Each end sends at its own bit rate: the chip at the rate SCI1's clock
// select and bit-rate register give at the board's system clock, the host
// at the rate of its line settings. A character is read at the far end by
// a UART sampling at that end's rate (LineSampler): rates close enough
// pass it unchanged, rates too far apart garble it, a stop bit sampled low
// is a framing error. Until the boot program has measured the host's rate
// and set SCI1 to it, the chip takes the host's bytes as they come.
//
// Paced, each character takes its wire time (ten bits at its sender's
// rate), the characters of one direction follow each other without
// overlap, and a character reaches the chip whether or not SCI1 is ready
// for it (an unread byte is overrun), so a run takes as long as on a real
// line. Unpaced, a character crosses at once, read alone on an idle line,
// and waits until SCI1 can take it.
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
//
// Line faults (LineFaults) start with ArmLineFaults(), when the boot
// program starts the program it loaded.
#ifndef KORVEL_SIM_BOARD_WIRE_H
#define KORVEL_SIM_BOARD_WIRE_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "line_sampling.h"

// Faults on the line, counted from the first byte after the boot
// program's start signal.
struct LineFaults {
  std::map<std::size_t, std::uint8_t> rxNoise;  // byte N (1-based) the chip receives: XOR this mask into it
  std::map<std::size_t, std::uint8_t> txNoise;  // byte N the chip sends: the same on its way to the host
  long lineLimit = 0;  // the line carries at most this many bit/s, both ways (0: no limit)
};

class BoardWire {
 public:
  using Clock = std::chrono::steady_clock;
  using Time = Clock::time_point;
  static constexpr double kBitNs9600 = 1e9 / 9600;
  // Unread bytes towards the host above which the transmitter waits.
  static constexpr std::size_t kHostBacklogLimit = 4096;
  // Payload of one USB packet of the adapter (64 bytes less 2 of status).
  static constexpr std::size_t kAdapterPacketBytes = 62;

  explicit BoardWire(bool paced, std::function<Time()> now = Clock::now, unsigned latencyMs = 0);

  bool Paced() const { return paced_; }
  Time Now() const { return now_(); }

  // The bit times in ns of the chip and of the host, sending and
  // receiving, asked for at each character (unset: 9600 bit/s).
  void SetBitTimes(std::function<double()> chipNs, std::function<double()> hostSendNs,
                   std::function<double()> hostReceiveNs);
  // The boot program has set SCI1 to the host's rate: the chip samples.
  void ChipAligned() { chipAligned_ = true; }
  void SetLineFaults(LineFaults faults) { faults_ = std::move(faults); }
  void ArmLineFaults();

  // --- host to chip ---
  // Bytes the host has written; they reach the chip after their wire time.
  void FromHost(const std::uint8_t* data, std::size_t size);
  // The next character that has reached the chip by the time at, if any,
  // whether its stop bit was read low, and when it arrived (paced; else at).
  bool TakeArrived(Time at, std::uint8_t* byte, bool* framingError = nullptr, Time* arrived = nullptr);

  // --- chip to host ---
  // The shift register is free at the time at (and, unpaced, the host is
  // not backed up).
  bool TransmitterFree(Time at) const;
  // Nothing is being shifted out at the time at.
  bool TransmitterIdle(Time at) const;
  // Paced: how many characters' time the bytes given to Transmit still
  // need at the time at, the one being shifted out included (0 unpaced).
  double TransmitBacklog(Time at) const;
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

  // Counts what the host does to the line (bytes written, bytes taken):
  // a change of it may change things for the chip at once.
  std::uint64_t HostActivity() const { return hostActivity_; }

  // The next moment after now something changes by itself (a character
  // completes its crossing, the shift register frees, a held-back byte
  // goes); nothing when no such thing lies ahead.
  std::optional<Time> NextEvent();
  // The next moment after the time at that the chip's side changes by
  // itself: a character reaches it, or the shift register frees.
  std::optional<Time> NextChipEvent(Time at);
  // The next moment bytes become ready for the host (a byte finishes its
  // crossing, the adapter lets its held bytes go); nothing when none is
  // on its way.
  std::optional<Time> NextHandoff();

 private:
  struct Timed {
    Time due;
    std::uint8_t byte;
    bool framingError = false;
  };
  double ChipBit() const { return chipBitNs_ ? chipBitNs_() : kBitNs9600; }
  double HostBit() const { return hostBitNs_ ? hostBitNs_() : kBitNs9600; }
  double HostReceiveBit() const { return hostReceiveNs_ ? hostReceiveNs_() : kBitNs9600; }
  double Limit() const;  // the line's limit in bit/s once armed (0: none)
  // The chip's receiver's bit time: 0 (the sender's own) until aligned.
  double ChipReceiveBit() const { return chipAligned_ ? ChipBit() : 0; }
  std::uint8_t Noise(const std::map<std::size_t, std::uint8_t>& noise, std::size_t* count, std::uint8_t byte) const;
  void Settle();
  // A byte has fully crossed at the given time: to the host, or into the
  // adapter's buffer.
  void Crossed(std::uint8_t byte, Time at);
  void ReleaseHeld();

  bool paced_;
  std::function<Time()> now_;
  std::function<double()> chipBitNs_, hostBitNs_, hostReceiveNs_;
  bool chipAligned_ = false;
  LineFaults faults_;
  bool armed_ = false;
  std::uint64_t hostActivity_ = 0;
  std::size_t received_ = 0, sent_ = 0;  // by the chip since the faults were armed
  LineSampler toChipLine_;               // paced
  std::deque<Timed> toChip_;             // unpaced: read, waiting for SCI1
  LineSampler toHostLine_;               // paced
  std::deque<Timed> onWire_;             // unpaced: held back
  Time shifterFree_{};
  std::vector<std::uint8_t> forHost_;
  Clock::duration latency_;
  std::vector<std::uint8_t> held_;  // in the adapter's buffer
  Time heldSince_{};
};

#endif
