#include "port_list.h"

std::string FormatPortList(const std::vector<SerialPortEntry>& ports) {
  if (ports.empty()) return "No serial ports found.\n";
  std::string text;
  for (const SerialPortEntry& port : ports) {
    text += port.name;
    if (port.detail.rfind("-> ", 0) == 0) {
      text += " " + port.detail;
    } else if (!port.detail.empty()) {
      text += " (" + port.detail + ")";
    }
    text += "\n";
  }
  return text;
}

std::string PortNumberNote(int number) {
  return number >= 1 && number <= 10 ? "port number " + std::to_string(number) : "";
}
