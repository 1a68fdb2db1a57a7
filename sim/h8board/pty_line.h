// The board's end of a pseudo-terminal: the host opens the slave as its
// serial port, the board reads and writes the master. Nobody holds the
// slave open on the board's side, so the master reports a hang-up while the
// host has the line closed: before the host opens it, and after it closes.
#ifndef KORVEL_SIM_PTY_LINE_H
#define KORVEL_SIM_PTY_LINE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "h8board_options.h"
#include "host_line.h"

struct termios;

// The host line a terminal's settings make: it sends at the output speed
// and receives at the input speed.
HostLine HostLineFromTermios(const termios& settings, std::string* notRaw = nullptr);

class PtyLine {
 public:
  // A new pseudo-terminal; nullptr with a reason when there is none.
  static std::unique_ptr<PtyLine> Create(std::string* why);
  ~PtyLine();
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  int MasterFd() const { return master_; }

  // A symbolic link to the slave (an existing link at path is replaced,
  // anything else there is an error); removed again when the line is
  // destroyed.
  bool MakeLink(const std::string& path, std::string* why);

  // Flow control as another program may leave it on a serial port, set
  // before the host opens the line; false with a reason when refused.
  bool LeaveFlowControl(const TerminalFlow& flow, std::string* why);

  // The host's line settings as the boot program sees them. notRaw, when
  // given, gets the terminal flags that keep the line from being raw
  // ("ICANON on, ECHO on"), or why the settings cannot be read.
  // Read once and kept until ForgetHostLine(): the board asks at every
  // character, the serve loop forgets them at each of its passes.
  HostLine ReadHostLine(std::string* notRaw = nullptr) const;
  void ForgetHostLine() { cached_.reset(); }

  // Bytes from the host, without blocking: how many were read (0 when none
  // wait or the host has the line closed).
  std::size_t Read(std::uint8_t* buffer, std::size_t size);
  // Bytes to the host, without blocking: how many were taken.
  std::size_t Write(const std::uint8_t* data, std::size_t size);
  // The host has the line closed (right now).
  bool HostClosed() const;
  // Closes the board's end: the host's line hangs up.
  void HangUp();

 private:
  PtyLine() = default;
  HostLine ReadHostLineNow(std::string* notRaw) const;
  int master_ = -1;
  std::string slavePath_;
  std::string link_;
  struct Cached {
    HostLine line;
    std::string notRaw;
  };
  mutable std::optional<Cached> cached_;
};

#endif
