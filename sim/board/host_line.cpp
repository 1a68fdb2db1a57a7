#include "host_line.h"

std::string LineProblem(const HostLine& line) {
  std::string problems;
  auto add = [&](const std::string& p) { problems += (problems.empty() ? "" : ", ") + p; };
  if (line.bitRate <= 0) add("sends at an unusual bit rate");
  if (line.dataBits != 8) add("not 8 data bits");
  if (line.parity != HostLine::Parity::kNone) add("parity on");
  if (line.stopBits == HostLine::StopBits::kTwo) add("2 stop bits");
  if (line.stopBits == HostLine::StopBits::kOneAndHalf) add("1.5 stop bits");
  if (!line.raw) add("not raw");
  return problems;
}
