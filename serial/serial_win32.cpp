// Windows backend over the KERNEL32 serial communications functions.
#include "serial_platform.h"

#include <windows.h>
#include <mmsystem.h>

#include <chrono>
#include <map>

namespace serial_platform {
namespace {

constexpr DWORD kQueueSize = 2048;
// A one-byte ReadFile returns after at most 2 x 1 + 2 ms (the time-outs
// set on open) whether or not a byte has come.
constexpr auto kReadTimeout = std::chrono::milliseconds(4);

// A byte that WaitForRx read to learn that one had come, by port handle.
// It is the first byte waiting: RxCount counts it and ReadByte hands it
// out before anything still in the driver's queue.
std::map<HANDLE, unsigned char> g_readAhead;

// Sleep() follows the system timer, 15.6 ms a tick unless a program asks for
// more; the waits sleep in 1 ms steps near their deadlines, so ask for 1 ms
// resolution for as long as the program runs.
struct TimerResolution {
  TimerResolution() { timeBeginPeriod(1); }
  ~TimerResolution() { timeEndPeriod(1); }
};
const TimerResolution g_timerResolution;

std::string SystemMessage(DWORD error) {
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) return "the port is in use by another program";
  char text[256] = {0};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                 MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
  std::string message(text, n);
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' ' ||
                              message.back() == '.'))
    message.pop_back();
  if (message.empty()) message = "error " + std::to_string(error);
  return message;
}

BYTE ParityCode(Parity parity) {
  switch (parity) {
    case Parity::Odd: return ODDPARITY;
    case Parity::Even: return EVENPARITY;
    default: return NOPARITY;
  }
}

BYTE StopBitsCode(StopBits stopBits) {
  switch (stopBits) {
    case StopBits::OneAndHalf: return ONE5STOPBITS;
    case StopBits::Two: return TWOSTOPBITS;
    default: return ONESTOPBIT;
  }
}

bool IsSlash(char c) { return c == '\\' || c == '/'; }

// The name CreateFileA gets. COM10 and above exist only in the device
// namespace, so a bare name (COM12) is opened as \\.\COM12. A name already
// in that namespace, written with either slash (\\.\COM12, //./COM12), is
// that device, its slashes turned to backslashes; any other path is used as
// given.
std::string DevicePath(const std::string& device) {
  const bool deviceNamespace =
      device.size() > 4 && IsSlash(device[0]) && IsSlash(device[1]) && device[2] == '.' && IsSlash(device[3]);
  if (deviceNamespace) {
    std::string path = device;
    for (char& c : path)
      if (c == '/') c = '\\';
    return path;
  }
  return device.find_first_of("\\/") == std::string::npos ? "\\\\.\\" + device : device;
}

}  // namespace

std::string DefaultDeviceName(int port) { return "COM" + std::to_string(port + 1); }

bool Open(const std::string& device, const LineSettings& settings, Handle* handle, std::string* why) {
  const std::string path = DevicePath(device);
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *why = "cannot open " + device + ": " + SystemMessage(GetLastError());
    return false;
  }
  auto fail = [&](const char* step) {
    const DWORD error = GetLastError();
    CloseHandle(h);
    *why = "cannot open " + device + ": " + step + ": " + SystemMessage(error);
    return false;
  };
  if (!SetupComm(h, kQueueSize, kQueueSize)) return fail("driver queues");
  DCB dcb;
  ZeroMemory(&dcb, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h, &dcb)) return fail("line settings");
  dcb.BaudRate = static_cast<DWORD>(settings.bitRate);
  dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
  dcb.Parity = ParityCode(settings.parity);
  dcb.StopBits = StopBitsCode(settings.stopBits);
  // A port keeps what the last program set on it, and none of its flow
  // control survives this line: the write-control program holds XON and
  // XOFF bytes, which the driver would swallow; a three-wire cable leaves
  // CTS and DSR low, which would hold every byte back or drop every byte
  // received; null stripping drops the 0x00 answers of the synchronisation;
  // RTS handshaking takes RTS away from us. So: none of it, a binary line,
  // DTR and RTS ours to raise. The special characters and the rest stay as
  // the device has them.
  dcb.fBinary = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  if (!SetCommState(h, &dcb)) return fail("line settings");
  // One-byte reads return within 2 x 1 + 2 ms; writes give up after 200 ms.
  COMMTIMEOUTS timeouts;
  timeouts.ReadIntervalTimeout = 2;
  timeouts.ReadTotalTimeoutMultiplier = 2;
  timeouts.ReadTotalTimeoutConstant = 2;
  timeouts.WriteTotalTimeoutMultiplier = 100;
  timeouts.WriteTotalTimeoutConstant = 100;
  if (!SetCommTimeouts(h, &timeouts)) return fail("time-outs");
  *handle = reinterpret_cast<Handle>(h);
  return true;
}

// DCB.BaudRate takes any value; a driver that cannot make it refuses it,
// or (Wine on a rate outside its list) takes it and runs at another, which
// the rate read back then shows: more than 1% off counts as refused.
bool SetBitRate(Handle handle, long bitRate) {
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  DCB dcb;
  ZeroMemory(&dcb, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  if (bitRate <= 0 || !FlushFileBuffers(h) || !GetCommState(h, &dcb)) return false;
  dcb.BaudRate = static_cast<DWORD>(bitRate);
  if (!SetCommState(h, &dcb) || !GetCommState(h, &dcb)) return false;
  const long set = static_cast<long>(dcb.BaudRate);
  return (set > bitRate ? set - bitRate : bitRate - set) * 100 <= bitRate;
}

bool Close(Handle handle) {
  g_readAhead.erase(reinterpret_cast<HANDLE>(handle));
  return CloseHandle(reinterpret_cast<HANDLE>(handle)) != 0;
}

int RxCount(Handle handle) {
  DWORD errors = 0;
  COMSTAT status;
  if (!ClearCommError(reinterpret_cast<HANDLE>(handle), &errors, &status)) return -1;
  return static_cast<int>(status.cbInQue + g_readAhead.count(reinterpret_cast<HANDLE>(handle)));
}

// A removed USB adapter's handle fails every call; the query is the cheapest.
bool LineClosed(Handle handle) {
  DWORD errors = 0;
  COMSTAT status;
  return !ClearCommError(reinterpret_cast<HANDLE>(handle), &errors, &status);
}

int ReadByte(Handle handle, unsigned char* byte) {
  const auto held = g_readAhead.find(reinterpret_cast<HANDLE>(handle));
  if (held != g_readAhead.end()) {
    *byte = held->second;
    g_readAhead.erase(held);
    return 1;
  }
  DWORD n = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(handle), byte, 1, &n, nullptr)) return -1;
  return n == 1 ? 1 : 0;
}

bool WriteByte(Handle handle, unsigned char byte) {
  DWORD n = 0;
  return WriteFile(reinterpret_cast<HANDLE>(handle), &byte, 1, &n, nullptr) != 0;
}

// One WriteFile for all of them; its time-out (set on open) grows with
// their number.
bool WriteBytes(Handle handle, const unsigned char* bytes, std::size_t size) {
  if (size == 0) return true;
  DWORD n = 0;
  return WriteFile(reinterpret_cast<HANDLE>(handle), bytes, static_cast<DWORD>(size), &n, nullptr) != 0 && n == size;
}

bool SetControlLine(Handle handle, ControlLine line, bool on) {
  DWORD function;
  if (line == ControlLine::Rts)
    function = on ? SETRTS : CLRRTS;
  else
    function = on ? SETDTR : CLRDTR;
  return EscapeCommFunction(reinterpret_cast<HANDLE>(handle), function) != 0;
}

void SleepMs(unsigned int ms) { Sleep(ms); }

// Sleep(1) polling would see a byte up to a millisecond late, and each
// byte of the boot load waits for its echo. A one-byte ReadFile on an
// empty queue instead returns the moment a byte comes (or after its 4 ms
// time-out); the byte it took is kept as the first one waiting. The last
// few milliseconds before the deadline are waited in 1 ms sleeps, so the
// wait does not run over.
bool WaitForRx(Handle handle, unsigned int ms) {
  using Clock = std::chrono::steady_clock;
  const HANDLE h = reinterpret_cast<HANDLE>(handle);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (RxCount(handle) > 0) return true;
    const Clock::duration left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return false;
    if (left < kReadTimeout) {
      Sleep(1);
      continue;
    }
    unsigned char byte = 0;
    DWORD n = 0;
    if (!ReadFile(h, &byte, 1, &n, nullptr)) {
      Sleep(1);  // a device in error: do not spin on it
    } else if (n == 1) {
      g_readAhead[h] = byte;
      return true;
    }
  }
}

}  // namespace serial_platform
