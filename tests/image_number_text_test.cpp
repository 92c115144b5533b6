#include <gtest/gtest.h>

#include <array>
#include <string>

#include "image/number_text.h"

namespace zvp {
namespace {

TEST(NumberTextParse, ReadsEachBaseAndRejectsForeignDigits) {
  EXPECT_EQ(ParseNumber("1aF", 16), 0x1AFu);
  EXPECT_EQ(ParseNumber("7fFf", 16), 0x7FFFu);
  EXPECT_EQ(ParseNumber("4294967295", 10), 4294967295u);
  EXPECT_EQ(ParseNumber("1011", 2), 11u);
  for (uint32_t base : {2u, 10u, 16u}) EXPECT_EQ(ParseNumber("", base), 0u);

  EXPECT_EQ(ParseNumber("12", 2), kParseFailure);
  EXPECT_EQ(ParseNumber("1A", 10), kParseFailure);
  EXPECT_EQ(ParseNumber("G0", 16), kParseFailure);
  EXPECT_EQ(ParseNumber(" 10", 16), kParseFailure);
  EXPECT_EQ(ParseNumber("10\r", 16), kParseFailure);  // in the hex set, but no digit
  EXPECT_EQ(ParseNumber("17", 8), kParseFailure);
}

TEST(NumberTextParse, WrapsLikeUnsigned32BitArithmetic) {
  EXPECT_EQ(ParseNumber("123456789", 16), 0x23456789u);
  EXPECT_EQ(ParseNumber("4294967297", 10), 1u);
  EXPECT_EQ(ParseNumber("1" + std::string(32, '0') + "1", 2), 1u);
}

TEST(NumberTextFormat, PadsToWidthInEachBase) {
  EXPECT_EQ(FormatNumber(0x1A, 16, 4), "001A");
  EXPECT_EQ(FormatNumber(0x1A, 16, 255), "1A");
  EXPECT_EQ(FormatNumber(0xABCDEF, 16, 2), "ABCDEF");  // never cut
  EXPECT_EQ(FormatNumber(5, 2, 255), "101");
  EXPECT_EQ(FormatNumber(0xFFFFFFFF, 2, 255), std::string(32, '1'));
  EXPECT_EQ(FormatNumber(4294967295u, 10, 12), "004294967295");
  EXPECT_EQ(FormatNumber(0, 16, 2), "00");
  EXPECT_EQ(FormatNumber(0, 10, 255), "0");
  EXPECT_EQ(FormatNumber(0, 16, 0), "");
  EXPECT_EQ(FormatNumber(1, 10, 254), std::string(253, '0') + "1");
  EXPECT_EQ(FormatNumber(1, 8, 255), "");
}

TEST(NumberTextFormat, RespectsTheCapacityOfTheArea) {
  std::array<char, 8> area;
  area.fill('x');
  EXPECT_TRUE(FormatNumber(0x1234, area.data(), 4, 16, 255));
  EXPECT_EQ(std::string(area.data(), 5), std::string("1234x"));  // full: no terminator

  area.fill('x');
  EXPECT_TRUE(FormatNumber(7, area.data(), 6, 10, 3));
  EXPECT_EQ(std::string(area.data(), 7), std::string("007\0\0\0x", 7));

  // Failures leave the area zeroed and nothing after it touched.
  const std::array<std::array<uint32_t, 4>, 4> failing = {{
      {0x12345, 4, 16, 255},  // digits do not fit
      {1, 4, 16, 6},          // the padding does not fit
      {0, 0, 16, 255},        // not even room for "0"
      {9, 4, 3, 255},         // unsupported base
  }};
  for (const auto& [value, capacity, base, width] : failing) {
    area.fill('x');
    EXPECT_FALSE(FormatNumber(value, area.data(), capacity, base, width)) << value;
    EXPECT_EQ(std::string(area.data(), capacity + 1), std::string(capacity, '\0') + "x");
  }
}

TEST(NumberTextSet, IsAllFromAndTheHexSet) {
  EXPECT_EQ(kHexCharSet.size(), 26u);
  EXPECT_TRUE(IsAllFrom("09afAF\a\n\r\t", kHexCharSet));
  EXPECT_FALSE(IsAllFrom("12G4", kHexCharSet));
  EXPECT_FALSE(IsAllFrom(std::string_view("1\0", 2), kHexCharSet));
  EXPECT_TRUE(IsAllFrom("", kHexCharSet));
  EXPECT_TRUE(IsAllFrom("", ""));
  EXPECT_FALSE(IsAllFrom("0", ""));
}

TEST(NumberTextAlign, PadsOrKeepsTheTail) {
  std::string out = "old";
  EXPECT_TRUE(RightAlign("ABC", &out, 4));
  EXPECT_EQ(out, "0ABC");
  EXPECT_TRUE(RightAlign("12345", &out, 4));
  EXPECT_EQ(out, "2345");
  EXPECT_TRUE(RightAlign("F", &out, 2));
  EXPECT_EQ(out, "0F");
  EXPECT_TRUE(RightAlign("", &out, 5));
  EXPECT_EQ(out, "00000");
  EXPECT_TRUE(RightAlign("7F", &out, 6));
  EXPECT_EQ(out, "00007F");

  const std::string forty = "1" + std::string(35, '0') + "ABCD";
  EXPECT_TRUE(RightAlign(forty, &out, 6));
  EXPECT_EQ(out, "00ABCD");
  EXPECT_FALSE(RightAlign(forty + "E", &out, 6));
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace zvp
