#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/date_value.h"
#include "platform/core/clock.h"

namespace veltrum {
namespace {

// A scratch folder with files whose stamps the test sets, read under a time
// zone with daylight saving.
class FileDates : public testing::Test {
 protected:
  void SetUp() override {
    const char* zone = getenv("TZ");
    hadZone_ = zone != nullptr;
    if (hadZone_) oldZone_ = zone;
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    std::string pattern = testing::TempDir() + "veltrum-dates-XXXXXX";
    folder_ = mkdtemp(pattern.data());
    folder_ += "/";
  }
  void TearDown() override {
    if (hadZone_) {
      setenv("TZ", oldZone_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
    std::filesystem::remove_all(folder_);
  }
  std::string file(const std::string& name) {
    std::string path = folder_ + name;
    std::ofstream(path) << "x";
    return path;
  }
  static void setStamps(const std::string& path, time_t accessed, time_t modified) {
    struct timespec times[2] = {{accessed, 0}, {modified, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
  static time_t utc(int year, int month, int day, int hour) {
    return static_cast<time_t>(dateFromParts(year, month, day, hour, 0, 0));
  }

  std::string folder_;

 private:
  bool hadZone_ = false;
  std::string oldZone_;
};

TEST_F(FileDates, AStampFromTheOtherSeasonTakesTheOffsetInForceNow) {
  int64_t offsetNow = currentUtcOffsetSeconds();
  ASSERT_TRUE(offsetNow == 3600 || offsetNow == 7200) << offsetNow;
  // A stamp of the other season: its own offset differs from today's.
  bool summerNow = offsetNow == 7200;
  int month = summerNow ? 1 : 7;
  std::string path = file("season.txt");
  setStamps(path, utc(2020, month, 15, 9), utc(2020, month, 15, 12));
  DateValue modified = readFileDate(path, FileDateKind::Modified);
  EXPECT_EQ(modified, dateFromParts(2020, month, 15, 12, 0, 0) + offsetNow);
  EXPECT_EQ(readFileDate(path, FileDateKind::Accessed),
            dateFromParts(2020, month, 15, 9, 0, 0) + offsetNow);
}

TEST_F(FileDates, AFileWrittenNowHasAgeZeroAgainstTheClock) {
  std::string path = file("fresh.txt");
  for (FileDateKind kind : {FileDateKind::Created, FileDateKind::Modified}) {
    DateValue age = currentDate() - readFileDate(path, kind);
    EXPECT_GE(age, 0);
    EXPECT_LE(age, 2);
  }
  // Any other kind number reads the creation time.
  EXPECT_EQ(readFileDate(path, static_cast<FileDateKind>(7)),
            readFileDate(path, FileDateKind::Created));
}

TEST_F(FileDates, MissingFilesGiveZeroAndStampsOutsideTheRangeGiveMinusOne) {
  EXPECT_EQ(readFileDate(folder_ + "missing.txt", FileDateKind::Modified), 0);
  EXPECT_EQ(readFileDate("", FileDateKind::Created), 0);
  std::string old = file("old.txt");
  setStamps(old, utc(1960, 6, 1, 0), utc(1960, 6, 1, 0) - 86400 * 365);
  EXPECT_EQ(readFileDate(old, FileDateKind::Modified), -1);
  std::string future = file("future.txt");
  setStamps(future, 0, static_cast<time_t>(4102444800LL));  // 2100-01-01
  EXPECT_EQ(readFileDate(future, FileDateKind::Modified), -1);
}

TEST_F(FileDates, AWildcardPathReadsItsFirstMatch) {
  std::string first = file("a1.lck");
  std::string second = file("b2.lck");
  setStamps(first, utc(2020, 1, 2, 3), utc(2020, 1, 2, 3));
  setStamps(second, utc(2021, 1, 2, 3), utc(2021, 1, 2, 3));
  EXPECT_EQ(readFileDate(folder_ + "*.lck", FileDateKind::Modified),
            readFileDate(first, FileDateKind::Modified));
  EXPECT_EQ(readFileDate(folder_ + "b?.LCK", FileDateKind::Modified),
            readFileDate(second, FileDateKind::Modified));
  EXPECT_EQ(readFileDate(folder_ + "*.none", FileDateKind::Modified), 0);
}

}  // namespace
}  // namespace veltrum
