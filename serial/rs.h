// Serial port access: a fixed table of ten port slots and the byte-level
// operations on them. Every operation takes the port index (0..9) first and
// acts only on a slot that RsOpen has marked open; on any other slot it does
// nothing and returns 0. Nothing here prints.
#ifndef KORVEL_SERIAL_RS_H
#define KORVEL_SERIAL_RS_H

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int kRsPortCount = 10;

// Bytes that RsGetLine gives a meaning of their own.
constexpr unsigned char kRsStx = 0x02;
constexpr unsigned char kRsEtx = 0x03;
constexpr unsigned char kRsLf = 0x0A;
constexpr unsigned char kRsCr = 0x0D;

// --- port table and configuration ---------------------------------------

// Marks every slot not open. Closes nothing and leaves the handles alone.
void RsInit();

// Opens the slot's device and configures it from the line-setting tables:
//   bit rate   0:300 1:600 2:1200 3:2400 4:4800 5:9600 6:19200 7:38400
//              8:57600 9:76800 10:115200 11:230400
//   data bits  0:7 1:8
//   parity     0:none 1:odd 2:even
//   stop bits  0:1 1:1.5 2:2
// Then marks the slot open and raises RTS, then DTR (their results are not
// examined). Returns 1 when the slot is open, else 0.
int RsOpen(int port, int bitRateIndex, int dataBitsIndex, int parityIndex, int stopBitsIndex);

// Runs an open slot at bitRate bit/s from now on, once the bytes written
// have left; the other settings stay. 1 on success.
int RsSetBitRate(int port, long bitRate);

// Closes an open slot. 0 when the slot is not open or the close fails
// (the slot then stays open).
int RsClose(int port);

// on == 1 raises the line, any other value lowers it.
int RsSetRts(int port, int on);
int RsSetDtr(int port, int on);

// The device a slot opens. By default the platform's name for port
// index i ("COM<i+1>" on Windows, /dev/ttyS<i> on Linux); a name given here
// (a device path from the command line) takes its place.
void RsSetDeviceName(int port, const std::string& device);
std::string RsDeviceName(int port);

// Why the last RsOpen on this slot failed, in words for a person:
// e.g. "cannot open /dev/ttyS1: No such file or directory". Empty after a
// successful open or before any.
std::string RsOpenFailure(int port);

// --- byte transfer and timed receive ---------------------------------------

// Writes one byte. 1 on success.
int RsPutc(int port, int byte);

// Writes size bytes in one system call where there is room for them (see
// serial_platform::WriteBytes). 1 when all were taken.
int RsWrite(int port, const unsigned char* bytes, std::size_t size);

// Reads one byte if one is waiting: 0..255. Returns 0 as well when nothing
// is waiting or the read fails, so 0x00 and "nothing" look alike.
int RsGetc(int port);

// Number of received bytes waiting; 0 when the query fails.
int RsRxCount(int port);

// Reads and drops received bytes until a query finds none waiting, or at
// most the bytes waiting at the call plus 2048 more (a line that floods).
void RsFlush(int port);

// Waits until at least one byte is waiting and returns 1 as soon as one
// is; 0 after (ms/5+1) x 5 ms with none. Consumes nothing.
int RsWaitRx(int port, int ms);

// Sends the bytes of a zero-terminated string, stopping at the first failed
// write (result 0). An empty string sends nothing and gives 1.
int RsPuts(int port, const char* text);

// Receives one line into buffer (room for max+1 bytes). STX restarts the
// line, CR or ETX ends it, LF is ignored. The idle budget is (ms/10+1) x
// 10 ms of waiting with nothing received, for the whole call: arriving
// bytes do not restore it. 1 when the line ended and fitted; 0 on overflow
// (buffer holds the first max characters) or time-out (buffer holds what
// came).
int RsGetLine(int port, char* buffer, int max, unsigned int ms);

// 1 when the slot is open and its device reports that the line has gone
// (hung up or in error); else 0.
int RsLineClosed(int port);

// Sleeps ms milliseconds; returns at once for 0.
void RsSleep(unsigned int ms);

// Microseconds on the clock the waits run on (its origin means nothing),
// for timing exchanges.
std::uint64_t RsClockUs();

#endif
