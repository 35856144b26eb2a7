#include "base/date_value.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/core/clock.h"

namespace veltrum {
namespace {

TEST(DateValue, FieldLimits) {
  EXPECT_EQ(dateFromParts(1970, 1, 1, 0, 0, 0), 0);
  EXPECT_EQ(dateFromParts(1970, 1, 2, 0, 0, 0), 86400);
  EXPECT_EQ(dateFromParts(2038, 1, 18, 23, 59, 59), 2147471999);
  EXPECT_EQ(dateFromParts(2038, 1, 19, 0, 0, 0), -1);
  EXPECT_EQ(dateFromParts(2038, 2, 1, 0, 0, 0), -1);
  EXPECT_EQ(dateFromParts(1969, 12, 31, 23, 59, 59), -1);
  EXPECT_EQ(dateFromParts(2014, 1, 13, 8, 5, 9), 1389600309);
  for (int bad : {0, 13}) EXPECT_EQ(dateFromParts(2014, bad, 1, 0, 0, 0), -1);
  for (int bad : {0, 32}) EXPECT_EQ(dateFromParts(2014, 1, bad, 0, 0, 0), -1);
  EXPECT_EQ(dateFromParts(2014, 1, 1, 24, 0, 0), -1);
  EXPECT_EQ(dateFromParts(2014, 1, 1, 0, 60, 0), -1);
  EXPECT_EQ(dateFromParts(2014, 1, 1, 0, 0, 60), -1);
  EXPECT_EQ(dateFromParts(2014, 1, 1, -1, 0, 0), -1);
}

TEST(DateValue, MonthLengthsAndLeapYears) {
  EXPECT_NE(dateFromParts(2000, 2, 29, 0, 0, 0), -1);  // divisible by 400
  EXPECT_NE(dateFromParts(2016, 2, 29, 0, 0, 0), -1);
  EXPECT_EQ(dateFromParts(1900, 2, 29, 0, 0, 0), -1);
  EXPECT_EQ(dateFromParts(2014, 2, 29, 0, 0, 0), -1);
  EXPECT_EQ(dateFromParts(2014, 2, 30, 0, 0, 0), -1);
  for (int month : {4, 6, 9, 11}) EXPECT_EQ(dateFromParts(2014, month, 31, 0, 0, 0), -1);
  for (int month : {1, 3, 5, 7, 8, 10, 12}) EXPECT_NE(dateFromParts(2014, month, 31, 0, 0, 0), -1);
  // Days run on without gaps across a leap day.
  EXPECT_EQ(dateFromParts(2016, 3, 1, 0, 0, 0) - dateFromParts(2016, 2, 28, 0, 0, 0), 2 * 86400);
  EXPECT_EQ(dateFromParts(2015, 3, 1, 0, 0, 0) - dateFromParts(2015, 2, 28, 0, 0, 0), 86400);
}

TEST(DateValue, FormatMasksInUse) {
  DateValue value = dateFromParts(2014, 1, 13, 8, 5, 9);
  EXPECT_EQ(formatDate("%dd.%mm.%yyyy %hh:%ii:%ss", value), "13.01.2014 08:05:09");
  EXPECT_EQ(formatDate("%dd%mm%yyyy_%hh%ii%ss", value), "13012014_080509");
  EXPECT_EQ(formatDate("%yyyy%mm%dd", value), "20140113");
  EXPECT_EQ(formatDate("%hh%ii%ss", value), "080509");
  EXPECT_EQ(formatDate("%dd%mm%yyyy%hh%ii%ss", value), "13012014080509");
  EXPECT_EQ(formatDate("%yy", value), "14");
  EXPECT_EQ(formatDate("%yy", dateFromParts(2000, 12, 31, 23, 59, 59)), "00");
  EXPECT_EQ(formatDate("%dd.%mm.%yyyy %hh:%ii:%ss", 2147471999), "18.01.2038 23:59:59");
  EXPECT_EQ(formatDate("%dd.%mm.%yyyy", 0), "01.01.1970");
  EXPECT_EQ(formatDate("%dd.%mm.%yyyy", dateFromParts(2016, 2, 29, 0, 0, 0)), "29.02.2016");
  EXPECT_EQ(formatDate("%dd.%mm.%yyyy", dateFromParts(2016, 12, 31, 0, 0, 0)), "31.12.2016");
}

TEST(DateValue, FormatTokensIgnoreCaseAndStrayPercentStays) {
  DateValue value = dateFromParts(2014, 1, 13, 8, 5, 9);
  EXPECT_EQ(formatDate("%YYYY-%Mm", value), formatDate("%yyyy-%mm", value));
  EXPECT_EQ(formatDate("%HH%Ii%sS%DD%yY", value),
            "08050913"
            "14");
  EXPECT_EQ(formatDate("100%", value), "100%");
  EXPECT_EQ(formatDate("%x", value), "%x");
  EXPECT_EQ(formatDate("%%dd", value), "%13");
  EXPECT_EQ(formatDate("%m%d%y%yyy", value), "%m%d%y14y");  // single letters are no tokens
  EXPECT_EQ(formatDate("", value), "");
  EXPECT_EQ(formatDate("no tokens", value), "no tokens");
}

TEST(DateValue, NegativeValuesFormatAsZeros) {
  EXPECT_EQ(formatDate("%dd.%mm.%yyyy", -1), "00.00.0000");
  EXPECT_EQ(formatDate("%yy %hh:%ii:%ss", INT32_MIN), "00 00:00:00");
}

class FixedClock : public Clock {
 public:
  explicit FixedClock(LocalTime now) : now_(now) {}
  LocalTime localNow() override { return now_; }

 private:
  LocalTime now_;
};

TEST(DateValue, CurrentDateComesFromTheClock) {
  FixedClock fixed(LocalTime{2026, 12, 6, 4, 15, 30});
  setClock(&fixed);
  EXPECT_EQ(currentDate(), dateFromParts(2026, 12, 6, 4, 15, 30));
  FixedClock beyond(LocalTime{2038, 1, 19, 3, 14, 8});
  setClock(&beyond);
  EXPECT_EQ(currentDate(), -1);
  setClock(nullptr);
  // The real clock: today lies within the range.
  EXPECT_GT(currentDate(), dateFromParts(2014, 1, 1, 0, 0, 0));
}

}  // namespace
}  // namespace veltrum
