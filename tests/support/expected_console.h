// What korvel's console shows, built up for byte-for-byte comparisons.
#ifndef KORVEL_TESTS_EXPECTED_CONSOLE_H
#define KORVEL_TESTS_EXPECTED_CONSOLE_H

#include <string>

// The banner and the three settings lines; the build stamp reads
// "Program compiled [DATE,TIME]" (see NormaliseBuildStamp).
std::string ExpectedBanner(const std::string& channel, const std::string& fileName);

// Checks the form of the build stamp ("Mmm dd yyyy", "hh:mm:ss") and
// replaces it by DATE,TIME. Returns the text unchanged when the form is off.
std::string NormaliseBuildStamp(const std::string& console);

// "WAIT H3048 Boot mode..." and ten unanswered tries, then the failure
// report: what a board that never answers gives.
std::string ExpectedSilentBoard();

// The final report.
std::string ExpectedFail();
std::string ExpectedSuccess();

// Standard error less the summary line that ends every run with the given
// outcome ("korvel: Fail: 0 records, 0 data bytes; 5.1 s in all"); unchanged
// when its last line is no such summary.
std::string WithoutSummary(const std::string& err, const std::string& outcome);

#endif
