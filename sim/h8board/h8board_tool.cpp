#include "h8board_tool.h"

#include <poll.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "pty_line.h"

// --- serving the line ---------------------------------------------------------

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLongestWait = std::chrono::milliseconds(100);
constexpr auto kClosedLineWait = std::chrono::milliseconds(5);

void SleepFor(Clock::duration d) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
  if (ns <= 0) return;
  timespec t{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  nanosleep(&t, nullptr);
}

}  // namespace

ServeEnd ServeBoard(Board& board, PtyLine& line, double timeoutSeconds, const volatile std::sig_atomic_t* stop,
                    std::ostream& err, bool verbose) {
  BoardWire& wire = board.Wire();
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                    timeoutSeconds > 0 ? timeoutSeconds : 1e9));
  bool opened = false, faultReported = false;
  std::uint8_t buffer[4096];
  for (;;) {
    if (stop && *stop) return ServeEnd::kInterrupted;
    if (Clock::now() >= deadline) return ServeEnd::kTimeout;

    // From the host. Bytes the host wrote before it closed are still read.
    const bool closed = line.HostClosed();
    const bool wasOpened = opened;
    for (std::size_t n; (n = line.Read(buffer, sizeof buffer)) > 0;) {
      wire.FromHost(buffer, n);
      opened = true;
    }
    if (!closed) {
      opened = true;
    } else if (opened) {
      return ServeEnd::kHostClosed;
    }
    if (opened && !wasOpened && verbose) err << "h8board: the host opened the line" << std::endl;

    const Board::Activity activity = board.Run();

    // To the host: what the chip sent, also just before a fault stops it.
    const std::vector<std::uint8_t>& out = wire.ForHost();
    if (!out.empty() && !closed) wire.HandedToHost(line.Write(out.data(), out.size()));
    if (activity == Board::Activity::kFault && !faultReported) {
      // The chip is dead from here on; the line stays up (so what it sent
      // last reaches the host) until the host closes it.
      faultReported = true;
      err << "h8board: " << board.Fault() << std::endl;
    }
    if (activity == Board::Activity::kBusy) continue;

    // Nothing to do until the host sends, the host reads, or the clock says so.
    auto wait = std::min<Clock::duration>(kLongestWait, deadline - Clock::now());
    if (const auto next = wire.NextEvent()) wait = std::min<Clock::duration>(wait, *next - Clock::now());
    if (wait <= Clock::duration::zero()) continue;
    if (closed) {  // a closed line polls as hung up at once
      SleepFor(std::min<Clock::duration>(wait, kClosedLineWait));
      continue;
    }
    pollfd p{line.MasterFd(), static_cast<short>(POLLIN | (wire.ForHost().empty() ? 0 : POLLOUT)), 0};
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    timespec t{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    ppoll(&p, 1, &t, nullptr);
  }
}

// --- the tool -------------------------------------------------------------------

namespace {

volatile std::sig_atomic_t gStop = 0;
extern "C" void OnStopSignal(int) { gStop = 1; }

bool WriteFile(const std::string& path, const std::string& data, std::string* why) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(data.data(), static_cast<std::streamsize>(data.size()));
  file.close();
  if (!file) {
    *why = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace

int RunH8Board(const H8BoardOptions& options, std::ostream& out, std::ostream& err) {
  std::string why;
  std::unique_ptr<PtyLine> line = PtyLine::Create(&why);
  if (!line) {
    err << "h8board: " << why << "\n";
    return kH8BoardFault;
  }
  if (!options.link.empty() && !line->MakeLink(options.link, &why)) {
    err << "h8board: " << why << "\n";
    return kH8BoardFault;
  }
  // The boot program sees the host's settings as a HostLine; verbose, the
  // terminal flags that make the line not raw are reported when they change.
  PtyLine* pty = line.get();
  std::string notRawBefore;
  Board board(options.board, [pty, &err, &notRawBefore, verbose = options.verbose] {
    std::string notRaw;
    const HostLine host = pty->ReadHostLine(&notRaw);
    if (verbose && notRaw != notRawBefore && !notRaw.empty()) err << "h8board: the host's line: " << notRaw << std::endl;
    notRawBefore = notRaw;
    return host;
  });
  if (options.verbose) board.SetLog([&err](const std::string& text) { err << "h8board: " << text << std::endl; });

  out << line->SlavePath() << std::endl;

  const auto start = Clock::now();
  const ServeEnd end = ServeBoard(board, *line, options.timeoutSeconds, &gStop, err, options.verbose);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  int code = board.Fault().empty() ? kH8BoardServed : kH8BoardFault;
  const char* how = "the host closed the line";
  switch (end) {
    case ServeEnd::kHostClosed: break;
    case ServeEnd::kTimeout:
      how = "timed out";
      if (code == kH8BoardServed) code = kH8BoardCutShort;
      break;
    case ServeEnd::kInterrupted:
      how = "interrupted";
      if (code == kH8BoardServed) code = kH8BoardCutShort;
      break;
  }

  const FlashMemory& flash = board.Flash();
  if (!options.out.empty()) {
    const std::string image(reinterpret_cast<const char*>(flash.Cells()), FlashMemory::kSize);
    if (!WriteFile(options.out, image, &why)) {
      err << "h8board: " << why << "\n";
      code = kH8BoardFault;
    }
  }
  if (!options.dump.empty()) {
    std::vector<bool> include(FlashMemory::kSize);
    for (std::uint32_t a = 0; a < FlashMemory::kSize; ++a) include[a] = flash.Pulsed(a) || flash.Cells()[a] != 0xFF;
    if (!WriteFile(options.dump, FormatSrecords(flash.Cells(), include), &why)) {
      err << "h8board: " << why << "\n";
      code = kH8BoardFault;
    }
  }
  char elapsed[64];
  std::snprintf(elapsed, sizeof elapsed, "%.3f s", seconds);
  err << "h8board: " << board.Summary() << "; " << how << " after " << elapsed << std::endl;
  return code;
}

int H8BoardMain(int argc, char** argv) {
  H8BoardOptions options;
  std::string error;
  if (!ParseH8BoardOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    std::cerr << "h8board: " << error << "\n" << H8BoardUsage();
    return kH8BoardUsage;
  }
  if (options.help) {
    std::cout << H8BoardUsage();
    return kH8BoardServed;
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return RunH8Board(options, std::cout, std::cerr);
}
