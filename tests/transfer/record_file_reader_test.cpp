#include "record_file_reader.h"

#include <gtest/gtest.h>

#include "transfer_test_files.h"

namespace {

TEST(RecordFileReader, TranslatesAndCutsLinesTheSameOnEveryBuild) {
  const std::string a1022(1022, 'A'), b1023(1023, 'B'), c2500(2500, 'C');
  std::string crOnly;  // 100 records of 42 characters, CR line ends only
  for (int i = 0; i < 100; ++i) crOnly += "S1130000000102030405060708090A0B0C0D0E0F74\r";
  struct Case {
    std::string bytes;
    Lines lines;
    std::string shapes;  // per line: - whole, c cut, r rest of a cut line, b both, n NUL inside
  };
  const std::vector<Case> cases = {
      {"S0\r\n\r\nS9\r\n", {"S0", "", "S9"}, "---"},
      {"S0\n\nS9\n", {"S0", "", "S9"}, "---"},
      {"S0\n\r\nS9", {"S0", "", "S9"}, "---"},  // mixed, last line without end
      {"AB\r\r\nCD\r", {"AB\r", "CD\r"}, "--"},
      {crOnly, {crOnly.substr(0, 1023), crOnly.substr(1023, 1023), crOnly.substr(2046, 1023),
                crOnly.substr(3069, 1023), crOnly.substr(4092)}, "cbbbr"},
      {a1022 + "\r\nX\n", {a1022, "X"}, "--"},
      {b1023 + "\nX\n", {b1023, "", "X"}, "cr-"},
      {b1023 + "\r\nX", {b1023, "", "X"}, "cr-"},  // CR LF split over two pieces
      {c2500 + "\n", {c2500.substr(0, 1023), c2500.substr(0, 1023), c2500.substr(0, 454)}, "cbr"},
      {"S1\nS9\x1AS5\nS1\n", {"S1", "S9"}, "--"},  // Ctrl-Z cuts a line and ends the text
      {"AB\r\x1A\r\n", {"AB\r"}, "-"},
      {"\x1A" "S1\n", {}, ""},
      {std::string("AB\0CD\nEF\n\0\n", 11), {"AB", "EF", ""}, "n-n"},
      {"\xEF\xBB\xBFS0\t\x7F\xFF\n", {"\xEF\xBB\xBFS0\t\x7F\xFF"}, "-"},
      {"", {}, ""},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    RecordFileReader reader;
    ASSERT_EQ(reader.Open(folder.Write("lines.mot", c.bytes).c_str()), 1);
    Lines lines;
    std::string shapes;
    while (const char* line = reader.ReadLine()) {
      lines.push_back(line);
      const LineShape shape = reader.Shape();
      shapes += shape.hasNul ? 'n' : shape.cut ? (shape.continuation ? 'b' : 'c') : (shape.continuation ? 'r' : '-');
    }
    EXPECT_EQ(lines, c.lines) << c.bytes.substr(0, 40);
    EXPECT_EQ(shapes, c.shapes) << c.bytes.substr(0, 40);
    EXPECT_EQ(reader.ReadLine(), nullptr) << "the end stays the end";
  }
}

TEST(RecordFileReader, OpenAndClose) {
  TempFolder folder;
  const std::string first = folder.Write("first.mot", "one\n"), second = folder.Write("second.mot", "two\n");
  const std::string missing = folder.Path("missing.mot");
  RecordFileReader reader;
  EXPECT_EQ(reader.ReadLine(), nullptr) << "nothing open yet";
  EXPECT_EQ(reader.Close(), 1);
  EXPECT_EQ(reader.Close(), 1);
  EXPECT_EQ(reader.Open(missing.c_str()), 0);
  EXPECT_EQ(reader.ReadLine(), nullptr);
  EXPECT_FALSE(std::filesystem::exists(missing)) << "Open never creates";
  EXPECT_EQ(reader.Open(folder.Path("").c_str()), 0) << "a folder is not a program file";

  ASSERT_EQ(reader.Open(first.c_str()), 1);
  ASSERT_EQ(reader.Open(second.c_str()), 1);
  EXPECT_STREQ(reader.ReadLine(), "two");
  ASSERT_EQ(reader.Open(second.c_str()), 1);
  EXPECT_STREQ(reader.ReadLine(), "two") << "opening again starts at the beginning";
  EXPECT_EQ(reader.Open(missing.c_str()), 0);
  EXPECT_EQ(reader.ReadLine(), nullptr) << "a failed open leaves the reader closed";
  ASSERT_EQ(reader.Open(first.c_str()), 1);
  EXPECT_EQ(reader.Close(), 1);
  EXPECT_EQ(reader.ReadLine(), nullptr);
  EXPECT_EQ(ReadWholeFile(first), "one\n");
}

}  // namespace
