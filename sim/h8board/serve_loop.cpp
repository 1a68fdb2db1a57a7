#include "serve_loop.h"

#include <poll.h>
#include <sys/resource.h>
#include <time.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <chrono>
#include <ostream>

#include "pty_line.h"

namespace {

using Clock = BoardWire::Clock;
constexpr auto kLongestWait = std::chrono::milliseconds(100);
constexpr auto kClosedLineWait = std::chrono::milliseconds(5);
// A timed wake-up later than this is not held back to its planned moment:
// the board was not running, not merely woken late.
constexpr auto kLateWakeLimit = std::chrono::milliseconds(1);
// Paced, the last stretch before a byte reaches the host is spent awake,
// so the byte is handed over on time rather than a timer latency later.
constexpr auto kSpinAhead = std::chrono::microseconds(150);
// Paced, a timed wait can end late (on a virtual machine, a quarter of them
// by 1.5 ms), and every character of a record waits for its moment: with
// --awake, waits up to this long are spent awake. Not by default: a test
// may run a dozen boards at once on two processors.
constexpr auto kSpinWaitsUpTo = std::chrono::milliseconds(2);
// With --awake the board also stays awake this long after handing bytes to
// the host: a host answers a byte it waited for within a fraction of a
// millisecond.
constexpr auto kSpinAfterHandoff = std::chrono::microseconds(1500);
// The chip's time is the real clock's, so a board the scheduler leaves
// waiting answers late where a chip would not: the LF of "[START]\r\n" after
// korvel's 5 ms settle, a fast-mode frame after its 50 ms window. Where the
// user may (CAP_SYS_NICE), the board takes this nice value: ten times the
// processor share of a process at 0, and it is woken ahead of them.
constexpr int kBoardNice = -10;

timespec ToTimespec(Clock::duration d) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
  return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

void SleepFor(Clock::duration d) {
  if (d <= Clock::duration::zero()) return;
  const timespec t = ToTimespec(d);
  nanosleep(&t, nullptr);
}

// Waits for the host to write (or read, when bytes wait for it) for up to
// wait; true when the time ran out.
bool WaitOnLine(int fd, bool towardsHost, Clock::duration wait) {
  pollfd p{fd, static_cast<short>(POLLIN | (towardsHost ? POLLOUT : 0)), 0};
  const timespec t = ToTimespec(wait);
  return ppoll(&p, 1, &t, nullptr) == 0;
}

// Stays awake until the moment, or until the host writes.
void SpinUntil(int fd, Clock::time_point moment) {
  while (Clock::now() < moment) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 0) > 0) return;
  }
}

}  // namespace

ServeEnd ServeBoard(Board& board, ServeClock& clock, PtyLine& line, double timeoutSeconds,
                    const volatile std::sig_atomic_t* stop, std::ostream& err, bool verbose, bool awake) {
  BoardWire& wire = board.Wire();
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                           timeoutSeconds > 0 ? timeoutSeconds : 1e9));
#ifdef __linux__
  // Timed waits end as close to their moment as the kernel can manage.
  if (wire.Paced()) prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
  if (getpriority(PRIO_PROCESS, 0) > kBoardNice && setpriority(PRIO_PROCESS, 0, kBoardNice) != 0 && verbose)
    err << "h8board: nice " << kBoardNice << " refused: on a busy machine the chip may answer late" << std::endl;
  bool opened = false, faultReported = false;
  bool timedWake = false;  // the last wait ran out its time, which ended at wakeMoment
  Clock::time_point wakeMoment{};
  Clock::time_point handedAt{};
  std::uint8_t buffer[4096];
  for (;;) {
    if (stop && *stop) return ServeEnd::kInterrupted;
    if (Clock::now() >= deadline) return ServeEnd::kTimeout;

    // From the host, on the real clock, at the rate its settings now give.
    // Bytes the host wrote before it closed are still read.
    line.ForgetHostLine();
    const bool closed = line.HostClosed();
    const bool wasOpened = opened;
    bool heard = false;
    for (std::size_t n; (n = line.Read(buffer, sizeof buffer)) > 0;) {
      wire.FromHost(buffer, n);
      opened = heard = true;
    }
    if (!closed) {
      opened = true;
    } else if (opened) {
      return ServeEnd::kHostClosed;
    }
    if (opened && !wasOpened && verbose) err << "h8board: the host opened the line" << std::endl;

    // Held only when nothing came from the host in this pass: the clock
    // must not read earlier than the moment its bytes were taken.
    if (timedWake && !heard && Clock::now() - wakeMoment < kLateWakeLimit) clock.HoldAt(wakeMoment);
    timedWake = false;
    const Board::Activity activity = board.Run();

    // To the host: what the chip sent, also just before a fault stops it.
    const std::vector<std::uint8_t>& out = wire.ForHost();
    if (!out.empty() && !closed) {
      wire.HandedToHost(line.Write(out.data(), out.size()));
      handedAt = Clock::now();
    }
    clock.Release();
    if (board.HungUp()) {
      line.HangUp();
      return ServeEnd::kHungUp;
    }
    if (activity == Board::Activity::kFault && !faultReported) {
      // The chip is dead from here on; the line stays up (so what it sent
      // last reaches the host) until the host closes it.
      faultReported = true;
      err << "h8board: " << board.Fault() << std::endl;
    }
    if (activity == Board::Activity::kBusy) continue;

    // Nothing to do until the host sends, the host reads, or the clock says so.
    const auto now = Clock::now();
    auto wait = std::min<Clock::duration>(kLongestWait, deadline - now);
    if (const auto next = board.NextEvent()) wait = std::min<Clock::duration>(wait, *next - now);
    if (wait <= Clock::duration::zero()) continue;
    if (closed) {  // a closed line polls as hung up at once
      SleepFor(std::min<Clock::duration>(wait, kClosedLineWait));
      continue;
    }
    if (const auto handoff = wire.NextHandoff(); handoff && wire.Paced() && *handoff - now <= wait + kSpinAhead) {
      if (*handoff - now <= kSpinAhead) {
        SpinUntil(line.MasterFd(), *handoff);
        continue;
      }
      wait = *handoff - kSpinAhead - now;
    }
    if (awake && wire.Paced() && (wait <= kSpinWaitsUpTo || now - handedAt < kSpinAfterHandoff)) {
      SpinUntil(line.MasterFd(), now + (wait <= kSpinWaitsUpTo ? wait : handedAt + kSpinAfterHandoff - now));
      continue;
    }
    wakeMoment = now + wait;
    timedWake = WaitOnLine(line.MasterFd(), !wire.ForHost().empty(), wait);
  }
}
