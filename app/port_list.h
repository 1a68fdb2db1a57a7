// The serial ports of this machine, for "korvel --list".
#ifndef KORVEL_APP_PORT_LIST_H
#define KORVEL_APP_PORT_LIST_H

#include <string>
#include <vector>

struct SerialPortEntry {
  std::string name;    // what to give korvel: a device path, or COMn
  std::string detail;  // what is known of it; may be empty
};

// The platform's ports (port_list_posix.cpp, port_list_win32.cpp).
std::vector<SerialPortEntry> ListSerialPorts();

// One line per port ("name (detail)" or "name -> device"), or one line
// saying there are none; each line ends in "\n".
std::string FormatPortList(const std::vector<SerialPortEntry>& ports);

// How korvel names a port by number: "port number 3" for the ports 1..10.
std::string PortNumberNote(int number);

#ifndef _WIN32
// The listing under other roots than /dev and /sys, for tests. uartType
// gives the UART type of a ttyS device whose sysfs folder has no "type":
// the ioctl on the device itself.
using UartTypeProbe = int (*)(const std::string& devicePath);
std::vector<SerialPortEntry> ListSerialPortsUnder(const std::string& devRoot, const std::string& sysRoot,
                                                  UartTypeProbe uartType);
#endif

#endif
