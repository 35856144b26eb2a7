#include "base/number_rule.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

TEST(NumberRule, DecimalWithBlanksTabsAndSign) {
  EXPECT_EQ(readNumber("587"), 587);
  EXPECT_EQ(readNumber(" \t 25"), 25);
  EXPECT_EQ(readNumber("-1"), -1);
  EXPECT_EQ(readNumber("+7"), 7);
  EXPECT_EQ(readNumber("12abc"), 12);  // up to the first other character
  EXPECT_EQ(readNumber("1 2"), 1);
  EXPECT_EQ(readNumber("01"), 1);
}

TEST(NumberRule, NoDigitsGiveZero) {
  for (const char* text :
       {"", "yes", "true", "-", "+", " ", "\n5", "--1", "+-1", "$", "%", "0x10"}) {
    EXPECT_EQ(readNumber(text), 0) << text;
  }
}

TEST(NumberRule, HexadecimalAndBinary) {
  EXPECT_EQ(readNumber("$1F"), 31);
  EXPECT_EQ(readNumber("$ff"), 255);
  EXPECT_EQ(readNumber("-$10"), -16);
  EXPECT_EQ(readNumber("$FFFFFFFF"), 0xFFFFFFFFLL);
  EXPECT_EQ(readNumber("%101"), 5);
  EXPECT_EQ(readNumber("%1012"), 5);  // 2 is no binary digit
  EXPECT_EQ(readNumber("-%11"), -3);
  EXPECT_EQ(readNumber("12$4"), 12);
}

TEST(NumberRule, OnlyTheLow32BitsCountForThirtyTwoBitCallers) {
  EXPECT_EQ(low32(readNumber("$FFFFFFFF")), -1);
  EXPECT_EQ(low32(readNumber("4294967296")), 0);
  EXPECT_EQ(low32(readNumber("2147483648")), INT32_MIN);
  EXPECT_EQ(low32(readNumber("-1")), -1);
  // A number far beyond 64 bits wraps instead of failing.
  EXPECT_NO_FATAL_FAILURE(readNumber(std::string(1000, '9')));
}

}  // namespace
}  // namespace veltrum
