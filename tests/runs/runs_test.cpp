// The run table: every row in process on the virtual clock; the rows marked
// for it also through the real korvel against h8board on a pseudo-terminal.
#include <gtest/gtest.h>

#include <cctype>
#include <future>

#include "run_harness.h"

namespace {

class TableRun : public ::testing::TestWithParam<RunRow> {};

TEST_P(TableRun, InProcess) { RunInProcess(GetParam()); }

std::string RowName(const ::testing::TestParamInfo<RunRow>& info) {
  std::string name = std::to_string(info.index) + "_";
  for (char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Rows, TableRun, ::testing::ValuesIn(RunTable()), RowName);
// Enabled once h8board takes their fault options.
INSTANTIATE_TEST_SUITE_P(DISABLED_AwaitingBoardOptions, TableRun, ::testing::ValuesIn(RowsAwaitingBoardOptions()),
                         RowName);

// All at once: the silent board's ten tries and a load take seconds each.
TEST(TableRunExecutable, RowsMarkedForIt) {
  std::vector<std::future<void>> runs;
  for (const RunRow& row : RunTable())
    if (row.places & kExecutable) runs.push_back(std::async(std::launch::async, [&row] { RunExecutable(row); }));
  for (auto& run : runs) run.get();
}

}  // namespace
