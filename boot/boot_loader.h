// Host side of the chip's boot-mode protocol: the one-byte echo exchange
// and the loading of the write-control program into on-chip RAM.
#ifndef KORVEL_BOOT_BOOT_LOADER_H
#define KORVEL_BOOT_BOOT_LOADER_H

#include <cstddef>
#include <cstdint>
#include <vector>

// Sends one byte and waits up to 500 ms for one byte back. 1 when it equals
// the byte expected; otherwise prints "NG" (nothing came) or
// "D <received> <sent>" and returns 0. Exactly one byte is in flight.
int BootEcho(int port, int byteToSend, int byteExpected);

// Brings the boot program into step with our bit rate (H'00 up to ten
// times, a "." each, "!" when answered), then confirms it (H'55, H'AA
// back). Nothing is flushed in between: a surplus answer is the next one
// read. *noSync is set when none of the ten tries was answered.
bool SynchroniseBoot(int port, bool* noSync);

// Announces and sends the write-control program image with an echo check on
// every byte, then waits up to 10 s for the start signal 0xAA. Uses the
// run's port. 1 when the chip has started the program. *echoUs, when
// given, gets the time from each length byte or burst sent to its first
// echo: two bytes' wire time (2.1 ms at 9600 bit/s) on a line that passes
// bytes on at once, plus the latency timer of a USB adapter.
int LoadWriteControlProgram(std::vector<std::uint64_t>* echoUs = nullptr);

// The same for any program image of 1 to 65535 bytes (the fast mode's),
// burst bytes sent before their echoes are read (1: each echo before the
// next byte, as for the write-control program).
int LoadProgram(const unsigned char* image, std::size_t size, std::size_t burst, std::vector<std::uint64_t>* echoUs);

#endif
