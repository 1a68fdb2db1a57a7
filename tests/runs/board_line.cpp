#include "board_line.h"

#include <termios.h>

#include <memory>
#include <string>

#include "serial_platform.h"

namespace {

board_line::Setup g_setup;
std::unique_ptr<Board> g_board;
std::vector<std::uint8_t> g_hostBytes;
BoardWire::Time g_now;
bool g_open = false, g_dead = false;

// The one place that turns our line settings into what the board's boot
// program measures of the host's line.
std::function<std::string()> BoardHostLine(const serial_platform::LineSettings& s) {
  termios t{};
  cfmakeraw(&t);
  cfsetspeed(&t, s.bitRate == 9600 ? B9600 : B0);
  t.c_cflag = (t.c_cflag & ~CSIZE) | (s.dataBits == 8 ? CS8 : CS7);
  if (s.parity != serial_platform::Parity::None) t.c_cflag |= PARENB;
  if (s.stopBits != serial_platform::StopBits::One) t.c_cflag |= CSTOPB;
  return [t] { return LineProblem(t); };
}

// Runs the board until it waits for the host or the clock.
void Settle() {
  for (int slice = 0; slice < 100000 && g_board->Run() == Board::Activity::kBusy; ++slice) {
  }
}

}  // namespace

void board_line::Prepare(const Setup& setup) { g_setup = setup; }
Board* board_line::LastBoard() { return g_board.get(); }
const std::vector<std::uint8_t>& board_line::HostBytes() { return g_hostBytes; }
bool board_line::CapReached() { return g_dead; }
long board_line::VirtualMs() {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(g_now - BoardWire::Time{}).count());
}

namespace serial_platform {

std::string DefaultDeviceName(int port) { return "board" + std::to_string(port); }

bool Open(const std::string& device, const LineSettings& settings, Handle* handle, std::string* why) {
  if (g_open) {
    *why = "cannot open " + device + ": the port is in use by another program";
    return false;
  }
  g_now = BoardWire::Time{};
  g_hostBytes.clear();
  g_open = true;
  g_dead = false;
  g_board = std::make_unique<Board>(g_setup.board, BoardHostLine(settings), [] { return g_now; });
  *handle = 1;
  return true;
}

bool Close(Handle) { return !(g_open = false); }

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

bool SetControlLine(Handle, ControlLine, bool) { return true; }

// Advances the clock by ms, letting the board run at every moment its
// wire changes by itself (paced bytes arriving and leaving).
void SleepMs(unsigned int ms) {
  if (!g_board || g_dead) return;
  const BoardWire::Time until = g_now + std::chrono::milliseconds(ms);
  for (Settle(); g_board->Wire().NextEvent() && *g_board->Wire().NextEvent() <= until; Settle())
    g_now = *g_board->Wire().NextEvent();
  g_now = until;
  Settle();
  g_dead = g_now - BoardWire::Time{} > std::chrono::duration<double>(g_setup.virtualSecondsCap);
}

}  // namespace serial_platform
