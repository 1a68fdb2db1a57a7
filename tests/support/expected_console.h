// What korvel's console shows, built up for byte-for-byte comparisons.
#ifndef KORVEL_TESTS_EXPECTED_CONSOLE_H
#define KORVEL_TESTS_EXPECTED_CONSOLE_H

#include <regex>
#include <string>

// The banner and the three settings lines, with the build stamp as
// "Program compiled [DATE,TIME]" (see NormaliseBuildStamp).
inline std::string ExpectedBanner(const std::string& channel, const std::string& fileName) {
  return "<<< KORVEL [WINDOWS] Ver0.3 >>>\r\n https://korvel.dev/\r\n\r\n\r\nProgram compiled [DATE,TIME]\r\nRS CH=" +
         channel + ",9600,N81N\r\nProgram MOT Filename=" + fileName + "\r\n";
}

// Checks the form of the build stamp ("Mmm dd yyyy", "hh:mm:ss") and
// replaces it by DATE,TIME; the text stays as it is when the form is off.
inline std::string NormaliseBuildStamp(const std::string& console) {
  static const std::regex stamp(
      R"(Program compiled \[(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123][0-9] [0-9]{4},([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]\])");
  return std::regex_replace(console, stamp, "Program compiled [DATE,TIME]", std::regex_constants::format_first_only);
}

inline std::string ExpectedFail() { return "\r\nFail\r\n\a"; }
inline std::string ExpectedSuccess() { return "\r\nSuccess\r\n\a"; }

// Standard error less the summary line that ends every run with the given
// outcome ("korvel: Fail: 0 records, 0 data bytes; 5.1 s in all"); unchanged
// when its last line is no such summary.
inline std::string WithoutSummary(const std::string& err, const std::string& outcome) {
  const std::size_t last = err.rfind('\n', err.empty() ? 0 : err.size() - 2);
  const std::size_t start = last == std::string::npos ? 0 : last + 1;
  return err.compare(start, 9 + outcome.size(), "korvel: " + outcome + ":") == 0 ? err.substr(0, start) : err;
}

#endif
