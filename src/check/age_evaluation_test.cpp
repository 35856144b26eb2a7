#include "check/age_evaluation.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

TEST(MinutesValue, AcceptedForms) {
  for (const char* text : {"0", "-0", "60", "-60", "1", "-35791394", "99999999999999999999"}) {
    EXPECT_EQ(isMinutesValue(text), 1) << text;
  }
}

TEST(MinutesValue, RefusedForms) {
  for (const char* text : {"", "+60", "060", "-060", "1.5", " 60", "60 ", "6O", "-", "--1",
                           "60 minutes", "0x10", "$10"}) {
    EXPECT_EQ(isMinutesValue(text), 0) << '"' << text << '"';
  }
  EXPECT_EQ(isMinutesValue(std::string("60\0"
                                       "1",
                                       4)),
            0);
}

TEST(AgeFigures, OffsetIsMinusSixtyTimesTheMinutes) {
  EXPECT_EQ(ageOffset("-60"), 3600);
  EXPECT_EQ(ageOffset("60"), -3600);
  EXPECT_EQ(ageOffset("0"), 0);
  EXPECT_EQ(ageOffset("-0"), 0);
  EXPECT_EQ(ageOffset("-35791394"), 2147483640);
  EXPECT_EQ(ageOffset("35791394"), -2147483640);
}

TEST(AgeFigures, OffsetKeepsTheLowThirtyTwoBits) {
  // -35,791,395 minutes are 2,147,483,700 seconds: one step past the range.
  EXPECT_EQ(ageOffset("-35791395"), -2147483596);
  // 2^32 minutes times 60 is a multiple of 2^32.
  EXPECT_EQ(ageOffset("-4294967296"), 0);
  // Past 64 bits the reading wraps; the low 32 bits still come out exact.
  // (-60 x 10^20 mod 2^32, worked out by hand.)
  EXPECT_EQ(ageOffset("100000000000000000000"), -935329792);
}

TEST(AgeFigures, LimitWrapsInThirtyTwoBits) {
  EXPECT_EQ(ageLimit(1000, 3600), 4600);
  EXPECT_EQ(ageLimit(0, -3600), -3600);
  EXPECT_EQ(ageLimit(2147471999, 3600), static_cast<int32_t>(2147475599LL - 4294967296LL));
  EXPECT_EQ(ageLimit(-1, 1), 0);
}

}  // namespace
}  // namespace veltrum
