#include "expected_console.h"

#include <regex>

std::string ExpectedBanner(const std::string& channel, const std::string& fileName) {
  return "<<< KORVEL [WINDOWS] Ver0.3 >>>\r\n"
         " https://korvel.dev/\r\n"
         "\r\n"
         "\r\n"
         "Program compiled [DATE,TIME]\r\n"
         "RS CH=" + channel + ",9600,N81N\r\n"
         "Program MOT Filename=" + fileName + "\r\n";
}

std::string NormaliseBuildStamp(const std::string& console) {
  static const std::regex stamp(
      R"(Program compiled \[(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123][0-9] [0-9]{4},([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]\])");
  return std::regex_replace(console, stamp, "Program compiled [DATE,TIME]", std::regex_constants::format_first_only);
}

std::string ExpectedSilentBoard() {
  std::string text = "WAIT H3048 Boot mode...";
  for (int i = 0; i < 10; ++i) text += ".NG";
  return text + ExpectedFail();
}

std::string ExpectedFail() { return "\r\nFail\r\n\a"; }

std::string ExpectedSuccess() { return "\r\nSuccess\r\n\a"; }

std::string WithoutSummary(const std::string& err, const std::string& outcome) {
  const std::regex summary("korvel: " + outcome +
                           R"(: [0-9]+ records?, [0-9]+ data bytes?( in [0-9]+\.[0-9] s( \([^)\n]*\))?)?; )"
                           R"([0-9]+\.[0-9] s in all\n$)");
  std::smatch match;
  return std::regex_search(err, match, summary) ? err.substr(0, match.position(0)) : err;
}
