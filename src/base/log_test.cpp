#include "base/log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "base/run_settings.h"
#include "platform/core/clock.h"
#include "platform/core/text_encoding.h"

namespace veltrum {
namespace {

namespace fs = std::filesystem;

class FixedClock : public Clock {
 public:
  LocalTime localNow() override { return LocalTime{2026, 12, 6, 4, 15, 30}; }
};

// Every reading one second later than the one before.
class SteppingClock : public Clock {
 public:
  LocalTime localNow() override { return LocalTime{2026, 12, 6, 4, 15, second_++}; }

 private:
  int second_ = 30;
};

std::string contentsOf(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream buffer;
  buffer << file.rdbuf();
  return buffer.str();
}

TEST(LogLine, DateUserMarkerText) {
  EXPECT_EQ(logLine("06.12.2026 04:15:30", "operator", LOG, "---[Start]---"),
            "06.12.2026 04:15:30 operator [LOG] ---[Start]---");
  for (int kind : {1, 2, -1}) {
    EXPECT_EQ(logLine("01.01.1970 00:00:00", "u", kind, "x"), "01.01.1970 00:00:00 u [ERR] x");
  }
  // The text goes in unchanged, CR and masked-looking texts included.
  EXPECT_EQ(logLine("d", "u", LOG, "a\rb ***gefunden***"), "d u [LOG] a\rb ***gefunden***");
}

// A scratch log under a fixed clock.
class LogFile : public testing::Test {
 protected:
  void SetUp() override {
    savedPath_ = runSettings().logPath;
    startIn(&clock_);
  }
  // A fresh folder and log, `clock` telling the time.
  void startIn(Clock* clock) {
    if (!folder_.empty()) fs::remove_all(folder_);
    folder_ = fs::temp_directory_path() / ("veltrum-log-" + std::to_string(std::random_device()()));
    fs::create_directories(folder_);
    logPath_ = folder_ / "veltrum.log";
    asidePath_ = folder_ / "veltrum.log_06122026_041530";
    runSettings().logPath = logPath_.string();
    setClock(clock);
  }
  void TearDown() override {
    setClock(nullptr);
    runSettings().logPath = savedPath_;
    fs::remove_all(folder_);
  }
  std::string line(int kind, const std::string& text) {
    return logLine("06.12.2026 04:15:30", currentUserName(), kind, text) + platformLineEnd();
  }
  void fillLog(size_t size) { std::ofstream(logPath_, std::ios::binary) << std::string(size, 'x'); }

  fs::path folder_;
  fs::path logPath_;
  fs::path asidePath_;

 private:
  FixedClock clock_;
  std::string savedPath_;
};

TEST_F(LogFile, EachCallAppendsOneLineAndTheFirstCreatesTheFile) {
  ASSERT_FALSE(fs::exists(logPath_));
  writeLog(LOG, "---[Start]---");
  writeLog(ERR, "Abbruch wegen Parameterfehler");
  writeLog(5, "a\rb");
  EXPECT_EQ(
      contentsOf(logPath_),
      line(LOG, "---[Start]---") + line(ERR, "Abbruch wegen Parameterfehler") + line(ERR, "a\rb"));
}

TEST_F(LogFile, ExactlyTheLimitIsNotMovedAsideTheLineAfterIs) {
  fillLog(1000000);
  writeLog(LOG, "first");
  EXPECT_FALSE(fs::exists(asidePath_));
  EXPECT_EQ(contentsOf(logPath_), std::string(1000000, 'x') + line(LOG, "first"));
  writeLog(LOG, "second");
  EXPECT_EQ(contentsOf(asidePath_), std::string(1000000, 'x') + line(LOG, "first"));
  EXPECT_EQ(contentsOf(logPath_), line(LOG, "second"));
}

TEST_F(LogFile, OneByteAboveTheLimitIsMovedAsideBeforeTheLine) {
  fillLog(1000001);
  writeLog(ERR, "new");
  EXPECT_EQ(contentsOf(asidePath_), std::string(1000001, 'x'));
  EXPECT_EQ(contentsOf(logPath_), line(ERR, "new"));
}

TEST_F(LogFile, ATakenAsideNameIsNeverReplacedTheLogGrowsOn) {
  std::ofstream(asidePath_) << "moved earlier in this second";
  fillLog(1000001);
  writeLog(LOG, "grows");
  EXPECT_EQ(contentsOf(asidePath_), "moved earlier in this second");
  EXPECT_EQ(contentsOf(logPath_), std::string(1000001, 'x') + line(LOG, "grows"));
}

// A run may wait for another run's line before it moves the log: the moved
// log is named by the time of the move, not by the older time of the line,
// so that moved logs sort in the order of their contents.
class LogFileWithMovingClock : public LogFile {
 protected:
  SteppingClock stepping_;
};

TEST_F(LogFileWithMovingClock, TheMovedLogIsNamedWhenItIsMovedAndATakenNameStaysUntouched) {
  struct Case {
    const char* taken;  // an earlier move's name, or nothing
    const char* movedTo;
  };
  for (const Case& c : {Case{nullptr, "veltrum.log_06122026_041531"},
                        Case{"veltrum.log_06122026_041531", nullptr}}) {
    SCOPED_TRACE(c.taken ? c.taken : "no name taken");
    stepping_ = SteppingClock();
    startIn(&stepping_);
    if (c.taken) std::ofstream(folder_ / c.taken) << "moved earlier in this second";
    fillLog(1000001);
    writeLog(LOG, "after the wait");
    const std::string written = line(LOG, "after the wait");  // the time before the wait
    if (c.movedTo) {
      EXPECT_EQ(contentsOf(folder_ / c.movedTo), std::string(1000001, 'x'));
      EXPECT_EQ(contentsOf(logPath_), written);
    } else {
      EXPECT_EQ(contentsOf(folder_ / c.taken), "moved earlier in this second");
      EXPECT_EQ(contentsOf(logPath_), std::string(1000001, 'x') + written);
    }
    EXPECT_FALSE(fs::exists(asidePath_));
  }
}

}  // namespace
}  // namespace veltrum
