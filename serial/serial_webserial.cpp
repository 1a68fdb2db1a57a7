// Web Serial backend (the WebAssembly build): the one port the page's user
// chose, driven by serial_webserial.js. The calls that wait (open, close,
// rate change, write, control lines, the receive wait, sleep) suspend the
// core through Asyncify while the browser goes on; the receive queue is the
// script's, filled by its reader loop.
#include <emscripten.h>

#include "serial_platform.h"

extern "C" {
// 1: open; 0: not, with the reason in the script's last error.
int korvel_serial_open(long bitRate, int dataBits, int parity, int stopBits);
int korvel_serial_close();
int korvel_serial_set_rate(long bitRate);
int korvel_serial_write(const unsigned char* bytes, std::size_t size);
int korvel_serial_set_signal(int line, int on);
int korvel_serial_wait_rx(unsigned int ms);
void korvel_serial_sleep(unsigned int ms);
// Lets the browser run when the core has not waited for a while: a caller
// that polls the queue or the clock without waiting (none of korvel's loops
// do today) must not stop the reader loop and the page's buttons.
void korvel_serial_pause_if_busy();
int korvel_serial_rx_count();
int korvel_serial_read_byte();
int korvel_serial_line_lost();
// The reason the last open failed, into room bytes at buffer.
void korvel_serial_last_error(char* buffer, int room);
}

namespace serial_platform {

constexpr Handle kThePort = 1;

// Any name reaches the chosen port; this is the one the console shows.
std::string DefaultDeviceName(int) { return "/dev/webserial"; }

bool Open(const std::string& device, const LineSettings& settings, Handle* handle, std::string* why) {
  if (settings.stopBits == StopBits::OneAndHalf) {
    *why = "cannot open " + device + ": line settings: 1.5 stop bits are not supported here";
    return false;
  }
  const int ok = korvel_serial_open(settings.bitRate, settings.dataBits, static_cast<int>(settings.parity),
                                    settings.stopBits == StopBits::Two ? 2 : 1);
  if (ok != 1) {
    char reason[200];
    korvel_serial_last_error(reason, sizeof reason);
    *why = "cannot open " + device + ": " + reason;
    return false;
  }
  *handle = kThePort;
  return true;
}

bool Close(Handle) { return korvel_serial_close() == 1; }

bool SetBitRate(Handle, long bitRate) { return korvel_serial_set_rate(bitRate) == 1; }

int RxCount(Handle) {
  korvel_serial_pause_if_busy();
  return korvel_serial_rx_count();
}

int ReadByte(Handle, unsigned char* byte) {
  korvel_serial_pause_if_busy();
  const int value = korvel_serial_read_byte();
  if (value < 0) return value == -1 ? 0 : -1;  // -1: nothing waiting; -2: the line is gone
  *byte = static_cast<unsigned char>(value);
  return 1;
}

bool WriteByte(Handle handle, unsigned char byte) { return WriteBytes(handle, &byte, 1); }

bool WriteBytes(Handle, const unsigned char* bytes, std::size_t size) {
  return size == 0 || korvel_serial_write(bytes, size) == 1;
}

bool SetControlLine(Handle, ControlLine line, bool on) {
  return korvel_serial_set_signal(line == ControlLine::Rts ? 0 : 1, on ? 1 : 0) == 1;
}

void SleepMs(unsigned int ms) { korvel_serial_sleep(ms); }

bool WaitForRx(Handle, unsigned int ms) { return korvel_serial_wait_rx(ms) == 1; }

bool LineClosed(Handle) { return korvel_serial_line_lost() == 1; }

std::uint64_t MonotonicUs() {
  korvel_serial_pause_if_busy();
  return static_cast<std::uint64_t>(emscripten_get_now() * 1000.0);
}

}  // namespace serial_platform
