#include "board_line.h"

#include <termios.h>

#include <functional>
#include <string>

#include "serial_platform.h"

namespace {

board_line::Setup g_setup;
std::unique_ptr<Board> g_board;
std::vector<std::uint8_t> g_hostBytes;
BoardWire::Time g_now;
BoardWire::Time g_start;
bool g_open = false;
bool g_dead = false;

// What the boot program's bit-rate measurement sees of our line settings.
// The one place that turns serial_platform::LineSettings into the board's
// view of the host line.
std::function<std::string()> BoardHostLine(const serial_platform::LineSettings& s) {
  termios t{};
  cfmakeraw(&t);
  const speed_t speed = s.bitRate == 9600 ? B9600 : s.bitRate == 19200 ? B19200 : B0;
  cfsetospeed(&t, speed);
  cfsetispeed(&t, speed);
  t.c_cflag = (t.c_cflag & ~CSIZE) | (s.dataBits == 8 ? CS8 : CS7);
  if (s.parity != serial_platform::Parity::None) t.c_cflag |= PARENB;
  if (s.stopBits != serial_platform::StopBits::One) t.c_cflag |= CSTOPB;
  return [t] { return LineProblem(t); };
}

double Elapsed() { return std::chrono::duration<double>(g_now - g_start).count(); }

// Runs the board until it waits for the host or the clock.
void Settle() {
  for (int slices = 0; slices < 100000 && g_board->Run() == Board::Activity::kBusy; ++slices) {
  }
}

}  // namespace

namespace board_line {

void Prepare(const Setup& setup) { g_setup = setup; }
Board* LastBoard() { return g_board.get(); }
const std::vector<std::uint8_t>& HostBytes() { return g_hostBytes; }
double VirtualSeconds() { return Elapsed(); }
bool CapReached() { return g_dead; }

}  // namespace board_line

namespace serial_platform {

std::string DefaultDeviceName(int port) { return "board" + std::to_string(port); }

bool Open(const std::string& device, const LineSettings& settings, Handle* handle, std::string* why) {
  if (g_open) {
    *why = "cannot open " + device + ": the port is in use by another program";
    return false;
  }
  g_start = g_now = BoardWire::Time{};
  g_hostBytes.clear();
  g_dead = false;
  g_board = std::make_unique<Board>(g_setup.board, BoardHostLine(settings), [] { return g_now; });
  g_open = true;
  *handle = 1;
  return true;
}

bool Close(Handle) {
  g_open = false;
  return true;
}

int RxCount(Handle) {
  if (g_dead) return -1;
  return static_cast<int>(g_board->Wire().ForHost().size());
}

int ReadByte(Handle, unsigned char* byte) {
  BoardWire& wire = g_board->Wire();
  if (g_dead || wire.ForHost().empty()) return g_dead ? -1 : 0;
  *byte = wire.ForHost().front();
  wire.HandedToHost(1);
  return 1;
}

bool WriteByte(Handle, unsigned char byte) {
  if (g_dead) return false;
  if (g_hostBytes.size() < g_setup.hostBytesThatArrive) g_board->Wire().FromHost(&byte, 1);
  g_hostBytes.push_back(byte);
  return true;
}

bool SetControlLine(Handle, ControlLine, bool) { return true; }

void SleepMs(unsigned int ms) {
  if (!g_board || g_dead) return;
  const BoardWire::Time until = g_now + std::chrono::milliseconds(ms);
  for (;;) {
    Settle();
    const auto next = g_board->Wire().NextEvent();
    if (!next || *next > until) break;
    g_now = *next;
  }
  g_now = until;
  Settle();
  g_dead = Elapsed() > g_setup.virtualSecondsCap;
}

}  // namespace serial_platform
