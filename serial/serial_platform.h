// The one seam between the Rs operations and the operating system. Each
// backend (serial_posix.cpp, serial_win32.cpp) implements these primitives;
// nothing above this header knows which platform it runs on.
#ifndef KORVEL_SERIAL_PLATFORM_H
#define KORVEL_SERIAL_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace serial_platform {

// An open device: a file descriptor on POSIX, a HANDLE on Windows.
using Handle = std::intptr_t;

enum class Parity { None, Odd, Even };
enum class StopBits { One, OneAndHalf, Two };

struct LineSettings {
  long bitRate;
  int dataBits;
  Parity parity;
  StopBits stopBits;
};

// The platform's device name for a port index (0..9).
std::string DefaultDeviceName(int port);

// Opens and configures the device: exclusive access, the given line
// settings on a transparent 8-bit path, short one-byte read and write
// time-outs, and the driver's shortest receive latency where it has a
// setting for it (Close puts that back). On failure the device is released
// again and *why says which step failed and the platform's reason.
bool Open(const std::string& device, const LineSettings& settings, Handle* handle, std::string* why);

bool Close(Handle handle);

// Runs an open device at another bit rate, once what was written has left
// (the other line settings stay). False when the platform refuses the rate.
bool SetBitRate(Handle handle, long bitRate);

// Received bytes waiting in the driver's queue; -1 when the query fails.
// Also clears a line error so that reception goes on.
int RxCount(Handle handle);

// Reads at most one byte: 1 read, 0 nothing came, -1 the read failed.
int ReadByte(Handle handle, unsigned char* byte);

bool WriteByte(Handle handle, unsigned char byte);

// Writes the bytes in one call to the system where the queue has room for
// them (one write(), one WriteFile), so that they leave as one transfer and
// no gap opens between them on the host's side. Waits for room like
// WriteByte when the output queue is full. True when every byte was taken;
// nothing to write is true.
bool WriteBytes(Handle handle, const unsigned char* bytes, std::size_t size);

enum class ControlLine { Rts, Dtr };
bool SetControlLine(Handle handle, ControlLine line, bool on);

void SleepMs(unsigned int ms);

// Waits until at least one received byte is waiting in the driver's queue
// (then true, at once when one already is) or until ms milliseconds have
// passed with none (then false). Consumes nothing: RxCount counts the byte
// afterwards and ReadByte hands it out first. A device in error or hung up
// must not make it return true early; it then waits out its time.
bool WaitForRx(Handle handle, unsigned int ms);

// The device reports that the line has gone: hung up (the far end of a
// pseudo-terminal closed, a USB adapter unplugged) or in error.
bool LineClosed(Handle handle);

// Microseconds on a clock that only runs forward, the one WaitForRx and
// SleepMs run on; its origin means nothing. The receive waits measure the
// idle time they spend by it.
std::uint64_t MonotonicUs();

}  // namespace serial_platform

#endif
