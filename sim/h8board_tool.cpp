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

#include "h8_cpu.h"
#include "pty_line.h"

namespace {

// --- the command line ---------------------------------------------------------

// Hexadecimal, with or without 0x or H' in front.
bool ParseHex(std::string text, unsigned long max, unsigned long* value) {
  if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 || text.rfind("H'", 0) == 0 || text.rfind("h'", 0) == 0)
    text = text.substr(2);
  if (text.empty() || text.size() > 8) return false;
  char* end = nullptr;
  *value = std::strtoul(text.c_str(), &end, 16);
  return *end == '\0' && *value <= max;
}

// Decimal, or hexadecimal with 0x.
bool ParseCount(const std::string& text, unsigned long* value) {
  if (text.empty() || text[0] == '-') return false;
  char* end = nullptr;
  *value = std::strtoul(text.c_str(), &end, 0);
  return *end == '\0';
}

}  // namespace

std::string H8BoardUsage() {
  return "usage: h8board [options]\n"
         "A virtual H8/3048F board in boot mode on a pseudo-terminal. Prints the\n"
         "terminal's path, serves one programming run (until the host closes the\n"
         "line it opened), then writes the flash and a summary line on stderr.\n"
         "\n"
         "  --link PATH          also make PATH a symbolic link to the terminal\n"
         "  --out FILE           write the flash as a raw 128 KB image\n"
         "  --dump FILE          write the flash as S-records (programmed or non-blank bytes)\n"
         "  --timeout SECONDS    give up after this long (exit code 3)\n"
         "  --pace               real-time 9600 bit/s: 1.04 ms per byte each way\n"
         "  --latency MS         hold the answers like a USB serial adapter: sent on when\n"
         "                       MS ms have passed since the first held byte, or when\n"
         "                       62 bytes are held (an FTDI chip's default is 16)\n"
         "  --verbose            report the boot program's steps and odd accesses\n"
         "faults:\n"
         "  --silent             the board never answers\n"
         "  --sync-answer HEX    answer H'00 with this byte\n"
         "  --check-answer HEX   answer H'55 with this byte instead of H'AA\n"
         "  --start-answer HEX   send this byte instead of H'AA when starting\n"
         "  --drop-echo N        no echo for program byte N (0-based; repeatable)\n"
         "  --corrupt-echo N     inverted echo for program byte N (repeatable)\n"
         "  --no-start           after the last echo nothing happens\n"
         "  --no-erase           the flash is not erased before the program starts\n"
         "                       (without --preload it then holds all zeros)\n"
         "  --preload FILE       initial flash: S-records, or a raw image from 0\n"
         "  --stuck-bit ADDR:BIT this flash bit never programs (ADDR hex; repeatable)\n"
         "An unknown opcode stops the CPU (its message goes to stderr at once); the\n"
         "run still ends only when the host closes the line.\n"
         "exit codes: 0 run served, 1 CPU fault or I/O failure, 2 bad options,\n"
         "            3 timed out or interrupted\n";
}

bool ParseH8BoardOptions(const std::vector<std::string>& args, H8BoardOptions* o, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    bool hasValue = false;
    const std::size_t eq = name.find('=');
    if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    auto take = [&](std::string* v) {
      if (hasValue) {
        *v = value;
        return true;
      }
      if (i + 1 >= args.size()) {
        *error = name + " needs a value";
        return false;
      }
      *v = args[++i];
      return true;
    };
    auto flag = [&]() {
      if (!hasValue) return true;
      *error = name + " takes no value";
      return false;
    };
    auto hexByte = [&](std::optional<std::uint8_t>* out) {
      std::string v;
      unsigned long n;
      if (!take(&v)) return false;
      if (!ParseHex(v, 0xFF, &n)) {
        *error = name + ": not a hexadecimal byte: " + v;
        return false;
      }
      *out = static_cast<std::uint8_t>(n);
      return true;
    };
    auto position = [&](std::set<std::size_t>* out) {
      std::string v;
      unsigned long n;
      if (!take(&v)) return false;
      if (!ParseCount(v, &n)) {
        *error = name + ": not a position: " + v;
        return false;
      }
      out->insert(n);
      return true;
    };
    BootFaults& faults = o->board.boot;
    bool ok = true;
    if (name == "--help" || name == "-h") {
      o->help = true;
    } else if (name == "--link") {
      ok = take(&o->link);
    } else if (name == "--out") {
      ok = take(&o->out);
    } else if (name == "--dump") {
      ok = take(&o->dump);
    } else if (name == "--preload") {
      ok = take(&o->preloadPath);
    } else if (name == "--timeout") {
      std::string v;
      ok = take(&v);
      if (ok) {
        char* end = nullptr;
        o->timeoutSeconds = std::strtod(v.c_str(), &end);
        if (v.empty() || *end != '\0' || !(o->timeoutSeconds > 0)) {
          *error = "--timeout: not a positive number of seconds: " + v;
          ok = false;
        }
      }
    } else if (name == "--latency") {
      std::string v;
      unsigned long ms = 0;
      ok = take(&v);
      if (ok && (!ParseCount(v, &ms) || ms > 1000)) {
        *error = "--latency: not a number of milliseconds from 0 to 1000: " + v;
        ok = false;
      }
      o->board.latencyMs = static_cast<unsigned>(ms);
    } else if (name == "--pace") {
      ok = flag();
      o->board.pace = true;
    } else if (name == "--verbose") {
      ok = flag();
      o->verbose = true;
    } else if (name == "--silent") {
      ok = flag();
      faults.silent = true;
    } else if (name == "--no-start") {
      ok = flag();
      faults.noStart = true;
    } else if (name == "--no-erase") {
      ok = flag();
      faults.noErase = true;
    } else if (name == "--sync-answer") {
      ok = hexByte(&faults.syncAnswer);
    } else if (name == "--check-answer") {
      ok = hexByte(&faults.checkAnswer);
    } else if (name == "--start-answer") {
      ok = hexByte(&faults.startAnswer);
    } else if (name == "--drop-echo") {
      ok = position(&faults.dropEcho);
    } else if (name == "--corrupt-echo") {
      ok = position(&faults.corruptEcho);
    } else if (name == "--stuck-bit") {
      std::string v;
      ok = take(&v);
      const std::size_t colon = v.find(':');
      unsigned long address = 0, bit = 0;
      if (ok && (colon == std::string::npos || !ParseHex(v.substr(0, colon), FlashMemory::kSize - 1, &address) ||
                 !ParseCount(v.substr(colon + 1), &bit) || bit > 7)) {
        *error = "--stuck-bit: expected ADDR:BIT with a flash address in hex and a bit 0-7: " + v;
        ok = false;
      }
      if (ok) o->board.stuckBits.push_back({static_cast<std::uint32_t>(address), static_cast<int>(bit)});
    } else {
      *error = "unknown option: " + args[i];
      ok = false;
    }
    if (!ok) return false;
  }
  if (!o->preloadPath.empty()) {
    if (!LoadFlashFile(o->preloadPath, &o->board.preloadImage, error)) return false;
    o->board.preload = true;
  }
  return true;
}

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
  PtyLine* pty = line.get();
  Board board(options.board, [pty] { return pty->HostLineProblem(); });
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
