#include "record_check.h"

#include <gtest/gtest.h>

#include "record_file_reader.h"
#include "transfer_test_files.h"

namespace {

// Header, two data records, the record count, the end record.
const Lines kGood = {MakeRecord(0, 0, {'H', 'D', 'R'}), MakeRecord(1, 0x0000, Pattern(16, 1)),
                     MakeRecord(1, 0x0010, Pattern(16, 2)), MakeRecord(5, 2), MakeRecord(9, 0x0000)};

Lines With(std::size_t index, const std::string& line, bool insert = false) {
  Lines lines = kGood;
  if (insert) lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(index), line);
  else lines[index] = line;
  return lines;
}

std::string Verdict(const Lines& lines) {
  const RecordCheckResult result = CheckRecordLines(lines);
  return result.ok ? "ok" : "line " + std::to_string(result.lineNumber) + ": " + result.reason;
}

std::vector<RecordAction> Actions(const Lines& lines) {
  RecordChecker checker;
  std::vector<RecordAction> actions;
  for (const std::string& line : lines) actions.push_back(checker.Check(line.c_str()).action);
  return actions;
}

TEST(RecordCheck, EachRuleNamesTheFirstBadLine) {
  const std::string s1 = kGood[1], body = s1.substr(4, s1.size() - 6);
  const unsigned sum = static_cast<unsigned>(std::stoul(s1.substr(s1.size() - 2), nullptr, 16));
  const std::vector<std::pair<Lines, std::string>> cases = {
      {With(2, "S4" + s1.substr(2)), "line 3: type"}, {With(2, "SA" + s1.substr(2)), "line 3: type"}, {With(2, "S"), "line 3: type"},
      {With(1, s1.substr(0, 10) + "G" + s1.substr(11)), "line 2: not hex"}, {With(1, s1.substr(0, 10) + " " + s1.substr(10)), "line 2: not hex"},
      {With(1, s1 + "\r \r"), "ok"},  // CR CR LF line ends leave a CR
      {With(1, s1.substr(0, 10) + "\r" + s1.substr(10)), "line 2: not hex"},
      {With(0, "\xEF\xBB\xBF" + s1), "line 1: byte-order mark before record"}, {With(1, "\xEF\xBB\xBF\tS2", true), "line 2: byte-order mark before record"},
      {With(2, " \t" + s1), "line 3: blanks before record"}, {With(5, " S3", true), "line 6: blanks before record"},
      {With(1, s1.substr(0, s1.size() - 1)), "line 2: odd length"},
      {With(1, "S1 \t"), "line 2: too short"}, {With(1, "S10200FD"), "line 2: too short"}, {With(1, "S304000000FB"), "line 2: too short"},
      {With(4, "S90200FD"), "line 5: too short"}, {With(4, "S8030000FC"), "line 5: too short"}, {With(4, "S704000000FB"), "line 5: too short"},  // S8 and S7: three and four address bytes
      {With(1, "S114" + body + HexByte(sum - 1)), "line 2: count"}, {With(1, s1.substr(0, 20)), "line 2: count"},
      {With(1, "S113" + body + HexByte(sum + 1)), "line 2: checksum"}, {With(2, MakeRecord(2, 0x1FFF0, Pattern(17, 3))), "line 3: outside flash (H'20000)"},
      {With(2, MakeRecord(3, 0x80000000u, Pattern(4, 3))), "line 3: outside flash (H'80000000)"},
      {With(2, MakeRecord(3, 0xFFFFFFFFu, Pattern(2, 3))), "line 3: outside flash (H'FFFFFFFF)"},  // wraps round
      {With(3, MakeRecord(5, 3)), "line 4: record count"}, {With(3, MakeRecord(6, 0x010002)), "line 4: record count"},
      {With(5, MakeRecord(1, 0x20, {1}), true), "line 6: after end record"}, {With(5, "Sorry", true), "line 6: after end record"},
      {With(4, MakeRecord(7, 0)), "ok"}, {With(5, "; text after the end", true), "ok"},
      // Blanks past the reader's cut of 1023 characters, the "S" at the cut.
      {With(1, std::string(1100, ' ') + s1, true), "line 2: blanks before record"}, {With(1, std::string(1022, '\t') + s1, true), "line 2: blanks before record"},
      {With(1, "\xEF\xBB\xBF" + std::string(3000, ' ') + "S3", true), "line 2: byte-order mark before record"},
      {With(1, std::string(1100, ' ') + "S9", true), "ok"}, {With(1, std::string(1100, ' ') + "x S1", true), "ok"},
      {With(1, s1 + std::string(1023 - s1.size(), ' ')), "line 2: too long"},
      // A file that ends in its data, on its last line; an end record, or
      // anything but data after the last data, passes.
      {Lines(kGood.begin(), kGood.begin() + 3), "line 3: no end record (the file may be cut off)"},
      {{kGood[1], "", "; cut"}, "line 3: no end record (the file may be cut off)"},
      {Lines(kGood.begin(), kGood.begin() + 4), "ok"},
  };
  for (const auto& [lines, expected] : cases) EXPECT_EQ(Verdict(lines), expected) << lines[1] << "\n" << lines[2];
}

TEST(RecordCheck, GoodRecordsPassAndEmptyOnesAreSkipped) {
  std::string lower = kGood[1];
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  lower[0] = 'S';
  // Lines not beginning with "S" are not checked, but are counted; a header
  // or end record behind blanks or a byte-order mark is not sent.
  const Lines lines = {"", "s1130000zz", " S9", "\xEF\xBB\xBF" + kGood[0], lower, kGood[2] + " \t ",
                       MakeRecord(0, 0),  MakeRecord(1, 0x100), MakeRecord(3, 0x100),
                       MakeRecord(2, 0x1FFF0, Pattern(16, 5)), MakeRecord(3, 0x1FFFF, {0x12}),
                       MakeRecord(5, 6), MakeRecord(6, 6), MakeRecord(8, 0x100) + std::string("\0zz", 3)};
  EXPECT_EQ(Verdict(lines), "ok");
  using A = RecordAction;
  EXPECT_EQ(Actions(lines), (std::vector<A>{A::kIgnore, A::kIgnore, A::kIgnore, A::kIgnore, A::kSend, A::kSend,
                                            A::kSkip, A::kSkip, A::kSkip, A::kSend, A::kSend, A::kSkip, A::kSkip,
                                            A::kSend}));
  Lines bad = lines;
  bad.insert(bad.begin() + 4, "S1");
  EXPECT_EQ(Verdict(bad), "line 5: too short");
}

// What the reader knows of a line: pieces of a cut line count as one line,
// a cut record is too long, a NUL that may hide a record is refused.
TEST(RecordCheck, LineShapes) {
  const LineShape cut{true, false, false}, rest{false, true, false}, nul{false, false, true},
      restNul{false, true, true};
  RecordChecker checker;
  EXPECT_EQ(checker.Check("; long comment", cut).action, RecordAction::kIgnore);
  EXPECT_EQ(checker.Check(kGood[0].c_str(), rest).action, RecordAction::kIgnore) << "not a line start";
  EXPECT_EQ(checker.Check(kGood[1].c_str()).action, RecordAction::kSend);
  EXPECT_EQ(checker.LineNumber(), 2u);
  EXPECT_EQ(checker.Check(MakeRecord(0, 0, {'x'}).c_str(), nul).action, RecordAction::kSend)
      << "after a whole record a NUL hides no record";
  RecordVerdict verdict = checker.Check("S1", cut);
  EXPECT_STREQ(verdict.reason, "too long");
  EXPECT_EQ(checker.LineNumber(), 4u);

  for (const LineShape shape : {nul, restNul}) {
    RecordChecker fresh;
    verdict = fresh.Check("", shape);
    EXPECT_STREQ(verdict.reason, "NUL byte");
    EXPECT_EQ(fresh.LineNumber(), shape.continuation ? 0u : 1u);
  }
  RecordChecker ended;
  EXPECT_EQ(ended.Check(MakeRecord(9, 0).c_str()).action, RecordAction::kSend);
  EXPECT_EQ(ended.Check("", nul).action, RecordAction::kIgnore) << "padding after the end record";
  EXPECT_FALSE(ended.HasFlashData());
  EXPECT_EQ(checker.HasFlashData(), true);
}

}  // namespace
