// The run table: every row in process on the virtual clock; the rows marked
// for it also through the real korvel against h8board on a pseudo-terminal.
#include <gtest/gtest.h>

#include <cctype>
#include <algorithm>
#include <iterator>

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

std::vector<RunRow> RowsFor(RunPlace place) {
  std::vector<RunRow> rows;
  std::copy_if(RunTable().begin(), RunTable().end(), std::back_inserter(rows), [&](const RunRow& r) { return r.places & place; });
  return rows;
}

TEST(TableRun, Executable) { RunExecutables(RowsFor(kExecutable), false); }
TEST(TableRun, Wine) { RunExecutables(RowsFor(kWine), true); }

}  // namespace
