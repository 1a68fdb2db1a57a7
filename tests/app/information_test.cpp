// The invocations that only ask (--help, --version, --list), the port
// listing over a folder tree, and the wording of the run summary.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "information_request.h"
#include "port_list.h"
#include "run_summary.h"
#include "subprocess.h"

namespace fs = std::filesystem;

TEST(InformationRequest, AnswersWithoutARun) {
  const std::pair<const char*, const char*> answers[] = {
      {"-h", "Usage: korvel PORT [FILE]\n"}, {"--help", "Usage: korvel PORT [FILE]\n"},
      {"--version", "korvel 0.3 (built "}, {"--list", "/dev/"}};
  for (const auto& [argument, start] : answers) {
    // A run would print its banner, and its summary on standard error.
    const auto began = std::chrono::steady_clock::now();
    const ProcessResult run = RunProcess(KorvelPath(), {argument, "app.mot"}, 5);
    EXPECT_EQ(run.exitCode, 0) << argument;
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(1)) << argument;
    EXPECT_EQ(run.err, "") << argument;
    EXPECT_TRUE(run.out.rfind(start, 0) == 0 || run.out == "No serial ports found.\n") << run.out;
  }
  char name[] = "korvel", *alone[] = {name, nullptr};  // argv[argc] is null: nothing to read there
  EXPECT_EQ(ReadInformationRequest(1, alone), InformationRequest::kNone);
}

TEST(PortList, AdaptersLinksAndTheUartsThatAnswer) {
  const fs::path root = fs::temp_directory_path() / ("korvel-ports-" + std::to_string(::getpid()));
  const fs::path dev = root / "dev", sys = root / "sys", usb = sys / "devices/usb1/1-2";
  auto write = [](const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
  };
  for (const char* name : {"ttyS0", "ttyS1", "ttyS3", "ttyS9", "ttyS10", "ttyUSB0", "ttyACM10", "ttyACM2", "tty5", "ttyS5x"})
    write(dev / name, "");
  // UART types (only COM1..COM10 have numbers: ttyS9 is the last) and the adapter's USB identity.
  for (const auto& [file, text] : std::vector<std::pair<fs::path, const char*>>{{"class/tty/ttyS0/type", "4"}, {"class/tty/ttyS1/type", "0"},
           {"class/tty/ttyS9/type", "1"}, {"class/tty/ttyS10/type", "12"}, {"devices/usb1/1-2/idVendor", "0403"},
           {"devices/usb1/1-2/idProduct", "6001"}, {"devices/usb1/1-2/manufacturer", "FTDI"}, {"devices/usb1/1-2/product", "FT232R USB UART"}})
    write(sys / file, text);
  fs::create_directories(usb / "1-2:1.0/ttyUSB0");
  fs::create_directory_symlink("../../../../bus/usb-serial/drivers/ftdi_sio", usb / "1-2:1.0/ttyUSB0/driver");
  fs::create_directories(sys / "class/tty/ttyUSB0");
  fs::create_directory_symlink("../../../devices/usb1/1-2/1-2:1.0/ttyUSB0", sys / "class/tty/ttyUSB0/device");
  fs::create_directories(dev / "serial/by-id");
  fs::create_symlink("../../ttyUSB0", dev / "serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0");
  // ttyS3 has no sysfs type: the device itself is asked.
  const UartTypeProbe probe = [](const std::string& device) { return device.substr(device.size() - 5) == "ttyS3" ? 3 : -1; };

  const std::string d = dev.string();
  EXPECT_EQ(FormatPortList(ListSerialPortsUnder(d, sys.string(), probe)),
            d + "/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0 -> " + d + "/ttyUSB0\n" +
            d + "/ttyUSB0 (USB 0403:6001 FTDI FT232R USB UART, driver ftdi_sio)\n" +
            d + "/ttyACM2\n" + d + "/ttyACM10\n" +
            d + "/ttyS0 (port number 1, 16550A UART)\n" + d + "/ttyS3 (port number 4, 16550 UART)\n" +
            d + "/ttyS9 (port number 10, 8250 UART)\n" + d + "/ttyS10 (UART type 12)\n");
  EXPECT_EQ(FormatPortList(ListSerialPortsUnder((root / "none").string(), sys.string(), probe)),
            "No serial ports found.\n");
  fs::remove_all(root);
}

TEST(RunSummary, OneLineWithFixedFigures) {
  const std::pair<RunFigures, std::string> cases[] = {
      {{true, {2050, 32768, 81962, 94.7}, 103.2}, "korvel: Success: 2050 records, 32768 data bytes in 94.7 s (346 bytes/s; 81962 characters, "
       "90% of 9600 bit/s); 103.2 s in all"},
      {{true, {1, 16, 44, 0.5}, 1.9}, "korvel: Success: 1 record, 16 data bytes in 0.5 s (32 bytes/s; 44 characters, 9% of 9600 bit/s); 1.9 s in all"},
      {{false, {}, 5.14}, "korvel: Fail: 0 records, 0 data bytes; 5.1 s in all"},
  };
  for (const auto& [figures, line] : cases) EXPECT_EQ(FormatRunSummary(figures), line);
}
