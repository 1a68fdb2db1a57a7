// The port table and its configuration: RsInit, RsOpen, RsClose and the
// RTS/DTR lines.
#include "rs.h"
#include "rs_port_table.h"

namespace {

constexpr long kBitRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 76800, 115200, 230400};
constexpr int kDataBits[] = {7, 8};
constexpr serial_platform::Parity kParities[] = {serial_platform::Parity::None, serial_platform::Parity::Odd,
                                                 serial_platform::Parity::Even};
constexpr serial_platform::StopBits kStopBits[] = {serial_platform::StopBits::One,
                                                   serial_platform::StopBits::OneAndHalf,
                                                   serial_platform::StopBits::Two};

std::string g_deviceOverride[kRsPortCount];
std::string g_openFailure[kRsPortCount];

int SetLine(int port, serial_platform::ControlLine line, int on) {
  if (!RsSlotIsOpen(port)) return 0;
  return serial_platform::SetControlLine(RsPortTable.handle[port], line, on == 1) ? 1 : 0;
}

}  // namespace

PortTable RsPortTable;

bool RsSlotIsOpen(int port) { return port >= 0 && port < kRsPortCount && RsPortTable.open[port] == 1; }

void RsInit() {
  for (int& open : RsPortTable.open) open = 0;
}

void RsSetDeviceName(int port, const std::string& device) { g_deviceOverride[port] = device; }

std::string RsDeviceName(int port) {
  return g_deviceOverride[port].empty() ? serial_platform::DefaultDeviceName(port) : g_deviceOverride[port];
}

std::string RsOpenFailure(int port) { return g_openFailure[port]; }

serial_platform::LineSettings RsLineSettings(int bitRateIndex, int dataBitsIndex, int parityIndex,
                                             int stopBitsIndex) {
  return {kBitRates[bitRateIndex], kDataBits[dataBitsIndex], kParities[parityIndex], kStopBits[stopBitsIndex]};
}

int RsOpen(int port, int bitRateIndex, int dataBitsIndex, int parityIndex, int stopBitsIndex) {
  const std::string device = RsDeviceName(port);
  const serial_platform::LineSettings settings = RsLineSettings(bitRateIndex, dataBitsIndex, parityIndex, stopBitsIndex);
  std::string why;
  serial_platform::Handle handle = 0;
  if (!serial_platform::Open(device, settings, &handle, &why)) {
    g_openFailure[port] = why;
    return 0;
  }
  g_openFailure[port].clear();
  RsPortTable.handle[port] = handle;
  RsPortTable.open[port] = 1;
  RsSetRts(port, 1);
  RsSetDtr(port, 1);
  return 1;
}

int RsSetBitRate(int port, long bitRate) {
  if (!RsSlotIsOpen(port)) return 0;
  return serial_platform::SetBitRate(RsPortTable.handle[port], bitRate) ? 1 : 0;
}

int RsClose(int port) {
  if (!RsSlotIsOpen(port)) return 0;
  if (!serial_platform::Close(RsPortTable.handle[port])) return 0;
  RsPortTable.open[port] = 0;
  return 1;
}

int RsSetRts(int port, int on) { return SetLine(port, serial_platform::ControlLine::Rts, on); }

int RsSetDtr(int port, int on) { return SetLine(port, serial_platform::ControlLine::Dtr, on); }
