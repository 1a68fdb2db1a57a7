// Linux: USB adapters and on-board UARTs, found through /dev and sysfs.
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <sys/stat.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <regex>

#include "port_list.h"

namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// The serial core's numbers for the usual UARTs; 0 means no UART answers
// at the port's address, which most ttyS ports of a PC are.
std::string UartName(int type) {
  static const char* const names[] = {"", "8250", "16450", "16550", "16550A", "Cirrus",
                                      "16650", "16650V2", "16750", "Startech", "16C950"};
  if (type > 0 && type < static_cast<int>(std::size(names))) return std::string(names[type]) + " UART";
  return "UART type " + std::to_string(type);
}

// A USB adapter: the first folder above the tty's device that holds the
// USB ids, and the driver that serves the port.
std::string UsbDetail(const fs::path& ttyFolder, const fs::path& sysRoot) {
  std::error_code error;
  const fs::path top = fs::canonical(sysRoot, error);
  fs::path folder = fs::canonical(ttyFolder / "device", error);
  if (error) return "";
  std::string detail;
  for (; folder != top && folder.has_relative_path(); folder = folder.parent_path()) {
    if (!fs::exists(folder / "idVendor")) continue;
    detail = "USB " + FirstLine(folder / "idVendor") + ":" + FirstLine(folder / "idProduct");
    for (const char* name : {"manufacturer", "product"}) {
      const std::string text = FirstLine(folder / name);
      if (!text.empty()) detail += " " + text;
    }
    break;
  }
  const fs::path driver = fs::read_symlink(ttyFolder / "device" / "driver", error);
  if (!error) detail += (detail.empty() ? "driver " : ", driver ") + driver.filename().string();
  return detail;
}

int ProbeUartType(const std::string& devicePath) {
  const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  serial_struct info{};
  const int result = ::ioctl(fd, TIOCGSERIAL, &info);
  ::close(fd);
  return result == 0 ? info.type : -1;
}

// For a device this user may not open: the group that may (on Debian and
// Fedora, dialout for the serial ports). "" when it may be opened.
std::string AccessNote(const std::string& device) {
  struct stat info {};
  if (::access(device.c_str(), R_OK | W_OK) == 0 || errno != EACCES || ::stat(device.c_str(), &info) != 0) return "";
  if (info.st_gid == 0) return "you may not open it: only root may";  // no group to join
  const group* owner = ::getgrgid(info.st_gid);
  const std::string name = owner != nullptr ? owner->gr_name : std::to_string(info.st_gid);
  return "you may not open it: join the group " + name + " (sudo usermod -aG " + name + " $USER, then log in again)";
}

void AddPort(std::vector<SerialPortEntry>* ports, const std::string& device, const std::string& detail) {
  const std::string note = AccessNote(device);
  ports->push_back({device, note.empty() ? detail : detail.empty() ? note : detail + "; " + note});
}

struct TtyName {
  std::string family;
  int number;
  bool operator<(const TtyName& other) const {
    const int rank = Rank(), otherRank = other.Rank();
    return rank != otherRank ? rank < otherRank : number < other.number;
  }
  int Rank() const { return family == "ttyUSB" ? 0 : family == "ttyACM" ? 1 : 2; }
  std::string Name() const { return family + std::to_string(number); }
};

}  // namespace

std::vector<SerialPortEntry> ListSerialPortsUnder(const std::string& devRoot, const std::string& sysRoot,
                                                  UartTypeProbe uartType) {
  std::vector<SerialPortEntry> ports;
  std::error_code error;
  const fs::path byId = fs::path(devRoot) / "serial" / "by-id";
  for (const fs::directory_entry& link : fs::directory_iterator(byId, error)) {
    const fs::path target = fs::read_symlink(link.path(), error);
    if (!error) AddPort(&ports, link.path().string(), "-> " + (byId / target).lexically_normal().string());
  }
  std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.name < b.name; });

  std::vector<TtyName> ttys;
  const std::regex ttyPattern("(ttyUSB|ttyACM|ttyS)([0-9]{1,4})");
  for (const fs::directory_entry& entry : fs::directory_iterator(devRoot, error)) {
    std::smatch match;
    const std::string name = entry.path().filename().string();
    if (std::regex_match(name, match, ttyPattern)) ttys.push_back({match[1], std::stoi(match[2])});
  }
  std::sort(ttys.begin(), ttys.end());
  for (const TtyName& tty : ttys) {
    const std::string device = (fs::path(devRoot) / tty.Name()).string();
    const fs::path sysFolder = fs::path(sysRoot) / "class" / "tty" / tty.Name();
    if (tty.family != "ttyS") {
      AddPort(&ports, device, UsbDetail(sysFolder, sysRoot));
      continue;
    }
    const std::string typeText = FirstLine(sysFolder / "type");
    const int type = typeText.empty() ? uartType(device) : std::atoi(typeText.c_str());
    if (type <= 0) continue;  // no UART behind it, or none we could see
    const std::string number = PortNumberNote(tty.number + 1);
    AddPort(&ports, device, number.empty() ? UartName(type) : number + ", " + UartName(type));
  }
  return ports;
}

std::vector<SerialPortEntry> ListSerialPorts() { return ListSerialPortsUnder("/dev", "/sys", ProbeUartType); }
