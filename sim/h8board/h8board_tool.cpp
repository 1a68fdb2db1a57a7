#include "h8board_tool.h"

#include <signal.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "pty_line.h"
#include "serve_loop.h"

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
  if (!line->LeaveFlowControl(options.leftFlow, &why) ||
      (!options.link.empty() && !line->MakeLink(options.link, &why))) {
    err << "h8board: " << why << "\n";
    return kH8BoardFault;
  }
  // The boot program sees the host's settings as a HostLine; verbose, the
  // terminal flags that make the line not raw are reported when they change.
  PtyLine* pty = line.get();
  std::string notRawBefore;
  ServeClock clock;
  Board board(
      options.board,
      [pty, &err, &notRawBefore, verbose = options.verbose] {
        std::string notRaw;
        const HostLine host = pty->ReadHostLine(&notRaw);
        if (verbose && notRaw != notRawBefore && !notRaw.empty())
          err << "h8board: the host's line: " << notRaw << std::endl;
        notRawBefore = notRaw;
        return host;
      },
      [&clock] { return clock.Now(); });
  if (options.verbose) board.SetLog([&err](const std::string& text) { err << "h8board: " << text << std::endl; });

  out << line->SlavePath() << std::endl;

  const auto start = std::chrono::steady_clock::now();
  const ServeEnd end = ServeBoard(board, clock, *line, options.timeoutSeconds, &gStop, err, options.verbose, options.awake);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  int code = board.Fault().empty() ? kH8BoardServed : kH8BoardFault;
  const char* how = "the host closed the line";
  switch (end) {
    case ServeEnd::kHostClosed: break;
    case ServeEnd::kHungUp: how = "the board hung up"; break;
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
  if (!options.flashLog.empty() && !WriteFile(options.flashLog, board.Bus().Envelope().Text(), &why)) {
    err << "h8board: " << why << "\n";
    code = kH8BoardFault;
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
    std::cerr << "h8board: " << error << " (h8board --help lists the options)\n";
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
