// A scripted far end of a serial line for tests: a pseudo-terminal whose
// slave is the port under test and whose master is served by a background
// thread. The script sees every byte the host sends and answers through
// Send(), now or after a delay, so a test can play a chip that echoes,
// stays silent, answers late, sends wrong or extra bytes, or floods.
#ifndef KORVEL_TESTS_PTY_PEER_H
#define KORVEL_TESTS_PTY_PEER_H

#include <termios.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

class PtyPeer {
 public:
  // Called on the peer's thread for each byte the host sends, with the
  // byte's index in the whole stream received so far.
  using Script = std::function<void(PtyPeer& peer, std::uint8_t byte, std::size_t index)>;

  PtyPeer();
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  // The slave's path, e.g. /dev/pts/7: what the host opens.
  const std::string& DevicePath() const { return slavePath_; }

  // Starts serving; without a script the peer only records what it gets.
  void Start(Script script = nullptr);
  // Stops the thread; what was received stays readable.
  void Stop();

  // Queues bytes for the host, after delayMs (0: at once). Safe to call
  // from the script and from the test.
  void Send(const Bytes& bytes, int delayMs = 0);
  void Send(const std::string& text, int delayMs = 0);

  // Everything the host has sent so far.
  Bytes Received() const;
  std::string ReceivedText() const;
  // Waits until at least count bytes came in; false on time-out.
  bool WaitForReceived(std::size_t count, int timeoutMs) const;

  // The line settings as the host left them (read through the master).
  termios LineSettings() const;

  // The board vanishes: the master side is closed, later reads and writes
  // of the host fail. The slave stays valid as a path.
  void Hangup();

 private:
  void Serve();

  int master_ = -1;
  int slaveKeeper_ = -1;  // keeps the line alive while the host is not attached
  std::string slavePath_;
  Script script_;
  std::thread thread_;
  bool running_ = false;
  mutable std::mutex mutex_;
  mutable std::condition_variable received_cv_;
  Bytes received_;
  struct Pending {
    std::chrono::steady_clock::time_point due;
    Bytes bytes;
  };
  std::vector<Pending> pending_;
  int wake_[2] = {-1, -1};  // self-pipe: wakes the thread for new sends
};

#endif
