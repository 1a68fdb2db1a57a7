#include "board_line.h"

#include <algorithm>
#include <memory>
#include <string>

#include "serial_platform.h"

namespace {

board_line::Setup g_setup;
std::unique_ptr<Board> g_board;
std::vector<std::uint8_t> g_hostBytes;
BoardWire::Time g_now, g_openedAt;  // the clock runs on across runs
bool g_open = false, g_dead = false, g_rts = false, g_dtr = false;

HostLine g_hostLine;  // the host's end as the board sees it, asked for at each character

// The one place that turns our line settings into what the board sees of
// the host's line.
HostLine BoardHostLine(const serial_platform::LineSettings& s) {
  HostLine line;
  line.bitRate = s.bitRate;
  line.dataBits = s.dataBits;
  // Both sides list the parities and stop bits in the same order.
  line.parity = static_cast<HostLine::Parity>(s.parity);
  line.stopBits = static_cast<HostLine::StopBits>(s.stopBits);
  return line;
}

// Runs the board until it waits for the host or the clock.
void Settle() {
  for (int slice = 0; slice < 100000 && g_board->Run() == Board::Activity::kBusy; ++slice) {
  }
}

// Moves the clock up to ms ahead, stopping at each moment the wire changes
// by itself; with untilByte, stops as soon as a byte has crossed to the host.
// True when it stopped for such a byte.
bool Advance(unsigned int ms, bool untilByte) {
  if (!g_board || g_dead) {  // a dead line waits out its time all the same
    g_now += std::chrono::milliseconds(ms);
    return false;
  }
  const BoardWire::Time until = g_now + std::chrono::milliseconds(ms);
  for (;;) {
    Settle();
    if (untilByte && !g_board->Wire().ForHost().empty()) return true;
    g_board->Wire().ForHost();  // what is due has crossed: the next event lies ahead
    const auto next = g_board->NextEvent();
    if (!next || *next > until) break;
    g_now = *next;
  }
  g_now = until;
  Settle();
  g_dead = g_now - g_openedAt > std::chrono::duration<double>(g_setup.virtualSecondsCap);
  return untilByte && !g_dead && !g_board->Wire().ForHost().empty();
}

}  // namespace

void board_line::Prepare(const Setup& setup) { g_setup = setup; }
Board* board_line::LastBoard() { return g_board.get(); }
const std::vector<std::uint8_t>& board_line::HostBytes() { return g_hostBytes; }
bool board_line::CapReached() { return g_dead; }
bool board_line::LinesRaised() { return g_rts && g_dtr; }
double board_line::VirtualSeconds() { return std::chrono::duration<double>(g_now - BoardWire::Time{}).count(); }
long board_line::VirtualMs() {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(g_now - g_openedAt).count());
}

namespace serial_platform {

std::string DefaultDeviceName(int port) { return "board" + std::to_string(port); }

bool Open(const std::string& device, const LineSettings& settings, Handle* handle, std::string* why) {
  if (g_open) {
    *why = "cannot open " + device + ": the port is in use by another program";
    return false;
  }
  g_openedAt = g_now;
  g_hostBytes.clear();
  g_open = true;
  g_dead = g_rts = g_dtr = false;
  g_hostLine = BoardHostLine(settings);
  g_board = std::make_unique<Board>(g_setup.board, [] { return g_hostLine; }, [] { return g_now; });
  *handle = 1;
  return true;
}

bool Close(Handle) { return !(g_open = false); }

bool SetBitRate(Handle, long bitRate) {
  g_hostLine.bitRate = bitRate;
  return !g_dead;
}

int RxCount(Handle) { return g_dead ? -1 : static_cast<int>(g_board->Wire().ForHost().size()); }

int ReadByte(Handle, unsigned char* byte) {
  if (g_dead || g_board->Wire().ForHost().empty()) return g_dead ? -1 : 0;
  *byte = g_board->Wire().ForHost().front();
  g_board->Wire().HandedToHost(1);
  return 1;
}

bool WriteByte(Handle, unsigned char byte) {
  if (!g_dead && g_hostBytes.size() < g_setup.hostBytesThatArrive) g_board->Wire().FromHost(&byte, 1);
  g_hostBytes.push_back(byte);
  return !g_dead;
}

bool WriteBytes(Handle, const unsigned char* bytes, std::size_t size) {
  const std::size_t arrive =
      g_hostBytes.size() >= g_setup.hostBytesThatArrive ? 0 : std::min(size, g_setup.hostBytesThatArrive - g_hostBytes.size());
  if (!g_dead && arrive > 0) g_board->Wire().FromHost(bytes, arrive);
  g_hostBytes.insert(g_hostBytes.end(), bytes, bytes + size);
  return !g_dead;
}

bool SetControlLine(Handle, ControlLine line, bool on) { return (line == ControlLine::Rts ? g_rts : g_dtr) = on, true; }

// Advances the clock by ms, letting the board run at every moment its
// wire changes by itself (paced bytes arriving and leaving, held answers
// let go).
void SleepMs(unsigned int ms) { Advance(ms, false); }

bool LineClosed(Handle) { return g_board->HungUp(); }

bool WaitForRx(Handle handle, unsigned int ms) { return RxCount(handle) > 0 || Advance(ms, true); }

std::uint64_t MonotonicUs() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(g_now - BoardWire::Time{}).count());
}

}  // namespace serial_platform
