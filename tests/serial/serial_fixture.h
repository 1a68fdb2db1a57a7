// A port under test on the slave side of a pty, with a scripted peer on
// the master side.
#ifndef KORVEL_TESTS_SERIAL_FIXTURE_H
#define KORVEL_TESTS_SERIAL_FIXTURE_H

#include <gtest/gtest.h>

#include <chrono>

#include "pty_peer.h"
#include "rs.h"

class SerialPortTest : public ::testing::Test {
 protected:
  static constexpr int kPort = 3;

  void SetUp() override {
    RsInit();
    RsSetDeviceName(kPort, peer_.DevicePath());
  }
  void TearDown() override {
    RsClose(kPort);
    RsSetDeviceName(kPort, "");
    peer_.Stop();
  }

  void OpenAt9600() { ASSERT_EQ(RsOpen(kPort, 5, 1, 0, 0), 1) << RsOpenFailure(kPort); }

  // Sends bytes from the far end and waits until all of them are queued.
  void ArriveAll(const Bytes& bytes) {
    const int before = RsRxCount(kPort);
    peer_.Send(bytes);
    for (int i = 0; i < 400 && RsRxCount(kPort) < before + static_cast<int>(bytes.size()); ++i) RsSleep(5);
    ASSERT_EQ(RsRxCount(kPort), before + static_cast<int>(bytes.size()));
  }
  void ArriveAll(const std::string& text) { ArriveAll(Bytes(text.begin(), text.end())); }

  PtyPeer peer_;
};

inline double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

#endif
