// Windows: the COM ports that the serial drivers have announced under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM (value name: the driver's device,
// data: the COM name).
#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "port_list.h"

namespace {

int ComNumber(const std::string& name) {
  return name.size() > 3 && name.compare(0, 3, "COM") == 0 ? std::atoi(name.c_str() + 3) : 0;
}

}  // namespace

std::vector<SerialPortEntry> ListSerialPorts() {
  std::vector<SerialPortEntry> ports;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return ports;
  for (DWORD index = 0;; ++index) {
    char valueName[256];
    BYTE data[256];
    DWORD nameSize = sizeof valueName, dataSize = sizeof data - 1, type = 0;
    const LONG result = RegEnumValueA(key, index, valueName, &nameSize, nullptr, &type, data, &dataSize);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataSize] = 0;
    const std::string name(reinterpret_cast<const char*>(data));
    const int number = ComNumber(name);
    // Beyond COM10 korvel takes the port by its device path.
    std::string detail = number > 10 ? "\\\\.\\" + name : PortNumberNote(number);
    detail += (detail.empty() ? "" : ", ") + std::string(valueName);
    ports.push_back({name, detail});
  }
  RegCloseKey(key);
  std::sort(ports.begin(), ports.end(), [](const SerialPortEntry& a, const SerialPortEntry& b) {
    const int numberA = ComNumber(a.name), numberB = ComNumber(b.name);
    return numberA != numberB ? numberA < numberB : a.name < b.name;
  });
  return ports;
}
