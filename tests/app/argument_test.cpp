// How the command line's first argument reads.
#include <gtest/gtest.h>

#include "startup.h"

TEST(PortArgument, ReadsLikeADecimalStrtol) {
  struct Case {
    const char* argument;
    int portIndex;
  };
  const Case cases[] = {
      {"1", 0},   {"10", 9},   {"3x", 2},    {"+4", 3},   {"007", 6},   {" \t\n\v\f\r5", 4},
      {"0", 0},   {"11", 0},   {"-2", 0},    {"COM3", 0}, {"x", 0},     {"", 0},
      {"-0", 0},  {"+", 0},    {"9 7", 8},   {"99999999999999999999", 0}, {"1e1", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(PortIndexFromArgument(c.argument), c.portIndex) << "'" << c.argument << "'";
}

TEST(PortArgument, APathNamesTheDeviceItself) {
  EXPECT_TRUE(IsDevicePath("/dev/ttyUSB0"));
  EXPECT_TRUE(IsDevicePath("./port"));
  EXPECT_FALSE(IsDevicePath("3"));
  EXPECT_FALSE(IsDevicePath("COM3"));
}
