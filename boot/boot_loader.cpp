// The host side of the boot-mode exchange. Every step is one byte sent and
// one byte read back before the next is sent (a program image may go out
// in bursts, its echoes read after each); the answer is the first byte
// waiting in the receive queue, which nothing here empties.
#include "boot_loader.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "console.h"
#include "rs.h"
#include "run_settings.h"
#include "write_control_program.h"

namespace {

constexpr int kEchoTimeoutMs = 500;
// The boot program starts the loaded program once the last announced byte
// is in; it says so with one byte.
constexpr int kStartSignalTimeoutMs = 10000;
constexpr int kStartSignal = 0xAA;
constexpr unsigned long kDotsPerLine = 64;
constexpr int kSyncTries = 10;
constexpr int kSyncByte = 0x00;
constexpr int kConfirmByte = 0x55;
constexpr int kConfirmAnswer = 0xAA;

// Waits up to 500 ms for one byte. 1 when it is the byte expected;
// otherwise prints "NG" (nothing came) or "D <received> <sent>".
int ReadEcho(int port, int byteExpected, int byteSent) {
  if (RsWaitRx(port, kEchoTimeoutMs) == 0) {
    Print("NG");
    return 0;
  }
  const int received = RsGetc(port) & 0xFF;
  if (received == byteExpected) return 1;
  // The byte sent, not the one expected: for the 0x55 check that is 55.
  Print("D %02X %02X", received, byteSent & 0xFF);
  return 0;
}

int CheckEcho(int port, int byteSent) { return ReadEcho(port, byteSent & 0xFF, byteSent); }

// Sends bytes [from, to) of the image and checks their echoes in order, a
// dot each, printed before the byte's echo is waited for. The time from
// sending to the first echo (the console left out) is kept when it is
// right. 1 when every echo was; otherwise the failed position is printed.
int SendBurst(int port, const unsigned char* image, std::size_t from, std::size_t to, std::vector<std::uint64_t>* echoUs) {
  std::uint64_t start = 0;
  for (std::size_t position = from; position < to; ++position) {
    if (position % kDotsPerLine == 0) NewLine();
    Print(".");
    if (position == from) {
      start = RsClockUs();
      // A burst goes out in one write; a single byte (the write-control
      // program's load) as the one RsPutc it always was.
      if (to - from == 1) {
        RsPutc(port, image[from]);
      } else {
        RsWrite(port, image + from, to - from);
      }
    }
    if (CheckEcho(port, image[position]) != 1) {
      Print("%04lx", static_cast<unsigned long>(position));
      return 0;
    }
    if (position == from) echoUs->push_back(RsClockUs() - start);
  }
  return 1;
}

// Announces the image length (high byte first) and sends the image, burst
// bytes at a time, with a dot per byte. 0 when a length byte fails. A failed
// image byte stops the sending but still gives 1: whether the boot program
// got enough is for its start signal to tell.
int SendImage(int port, const unsigned char* image, std::size_t size, std::size_t burst,
              std::vector<std::uint64_t>* echoUs) {
  const unsigned char length[2] = {static_cast<unsigned char>(size >> 8 & 0xFF), static_cast<unsigned char>(size & 0xFF)};
  for (int i = 0; i < 2; ++i) {
    const std::uint64_t start = RsClockUs();
    if (BootEcho(port, length[i], length[i]) != 1) {
      Print(i == 0 ? "H" : "L");
      return 0;
    }
    echoUs->push_back(RsClockUs() - start);
  }
  for (std::size_t position = 0; position < size; position += burst) {
    if (SendBurst(port, image, position, std::min(size, position + burst), echoUs) != 1) break;
  }
  NewLine();  // ends the last line of dots
  return 1;
}

}  // namespace

bool SynchroniseBoot(int port, bool* noSync) {
  for (int attempt = 1; attempt <= kSyncTries; ++attempt) {
    Print(".");
    if (BootEcho(port, kSyncByte, kSyncByte) == 1) {
      Print("!");
      return BootEcho(port, kConfirmByte, kConfirmAnswer) == 1;
    }
  }
  *noSync = true;
  return false;
}

int BootEcho(int port, int byteToSend, int byteExpected) {
  RsPutc(port, byteToSend);
  return ReadEcho(port, byteExpected, byteToSend);
}

int LoadWriteControlProgram(std::vector<std::uint64_t>* echoUs) {
  return LoadProgram(kWriteControlProgram, kWriteControlProgramSize, 1, echoUs);
}

int LoadProgram(const unsigned char* image, std::size_t size, std::size_t burst, std::vector<std::uint64_t>* echoUs) {
  const int port = g_runSettings.portIndex;
  std::vector<std::uint64_t> unused;
  NewLine();
  Print("Transfer...");
  const int sent = SendImage(port, image, size, burst < 1 ? 1 : burst, echoUs != nullptr ? echoUs : &unused);
  NewLine();
  if (sent == 0) {
    NewLine();
    return 0;
  }
  Print("WAIT H3048 response...");
  if (RsWaitRx(port, kStartSignalTimeoutMs) == 0) {
    Print("NG");
    Beep();
    NewLine();
    return 0;
  }
  // Only the start signal is read: what the started program sends after it
  // stays queued for the record transfer.
  if (RsGetc(port) == kStartSignal) {
    Print("OK");
    NewLine();
    return 1;
  }
  NewLine();
  return 0;
}

