#include "host_line.h"

std::string LineProblem(const HostLine& line) {
  std::string problems;
  auto add = [&](const std::string& p) { problems += (problems.empty() ? "" : ", ") + p; };
  if (line.bitRate != 9600) {
    const std::string rate = line.bitRate > 0 ? std::to_string(line.bitRate) + " bit/s" : "an unusual bit rate";
    add("sends at " + rate + ", not 9600");
  }
  if (line.dataBits != 8) add("not 8 data bits");
  if (line.parity != HostLine::Parity::kNone) add("parity on");
  if (line.stopBits == HostLine::StopBits::kTwo) add("2 stop bits");
  if (line.stopBits == HostLine::StopBits::kOneAndHalf) add("1.5 stop bits");
  if (!line.raw) add("not raw");
  return problems;
}
