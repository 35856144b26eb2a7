#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "platform/files/log_file.h"
#include "support/scratch_folder_for_tests.h"

namespace veltrum {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kLimit = 20;

std::string contents(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// Another run holds the log's lock while the line waits for it; `meanwhile`
// changes the log before the lock is released.
class LogFileWhileLocked : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = makeScratchFolder("veltrum-logfile-");
    log_ = folder_ / "veltrum.log";
  }
  void TearDown() override { fs::remove_all(folder_); }

  bool appendWhileLocked(const std::string& existing, void (*meanwhile)(const fs::path&)) {
    std::ofstream(log_, std::ios::binary) << existing;
    const int holder = open(log_.c_str(), O_WRONLY | O_APPEND);
    EXPECT_EQ(flock(holder, LOCK_EX), 0);
    bool written = false;
    std::thread writer([&] { written = appendLogLine(log_.string(), "new\r\n", kLimit, suffix_); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    meanwhile(log_);
    released_ = true;
    close(holder);
    writer.join();
    return written;
  }

  fs::path folder_;
  fs::path log_;
  std::atomic<bool> released_{false};
  std::function<std::string()> suffix_ = [] { return std::string("_x"); };
};

TEST_F(LogFileWhileLocked, ALogMovedAsideMeanwhileGetsNoFurtherLine) {
  const std::string full(kLimit + 1, 'o');
  ASSERT_TRUE(appendWhileLocked(
      full, [](const fs::path& log) { fs::rename(log, log.string() + "_by-another-run"); }));
  EXPECT_EQ(contents(log_.string() + "_by-another-run"), full);
  EXPECT_EQ(contents(log_), "new\r\n");
  EXPECT_FALSE(fs::exists(log_.string() + "_x"));
}

TEST_F(LogFileWhileLocked, ALogRemovedMeanwhileIsMadeAgainForTheLine) {
  ASSERT_TRUE(appendWhileLocked("old\r\n", [](const fs::path& log) { fs::remove(log); }));
  EXPECT_EQ(contents(log_), "new\r\n");
}

TEST_F(LogFileWhileLocked, ALogOverTheLimitIsMovedAsideOnceThenTheLineStartsTheNewOne) {
  const std::string full(kLimit + 1, 'o');
  ASSERT_TRUE(appendWhileLocked(full, [](const fs::path&) {}));
  EXPECT_EQ(contents(log_.string() + "_x"), full);
  EXPECT_EQ(contents(log_), "new\r\n");
  // The limit itself is no reason to move.
  const std::string atLimit(kLimit, 'o');
  fs::remove(log_.string() + "_x");
  ASSERT_TRUE(appendWhileLocked(atLimit, [](const fs::path&) {}));
  EXPECT_EQ(contents(log_), atLimit + "new\r\n");
  EXPECT_FALSE(fs::exists(log_.string() + "_x"));
}

mode_t modeOf(const fs::path& path) {
  struct stat details {};
  EXPECT_EQ(stat(path.c_str(), &details), 0) << path;
  return details.st_mode & 07777;
}

TEST(LogFileMode, AFirstLogIsNotForAllAndAMoveKeepsTheAdministratorsMode) {
  const struct {
    mode_t umask;
    int existing;  // mode of a log over the limit; -1: no log yet
    mode_t expected;
  } cases[] = {
      {022, -1, 0640},   {077, -1, 0600},   {0, -1, 0640},
      {022, 0600, 0600}, {077, 0644, 0644}, {027, 0664, 0664},
  };
  const fs::path folder = makeScratchFolder("veltrum-logmode-");
  const fs::path log = folder / "veltrum.log";
  for (const auto& test : cases) {
    SCOPED_TRACE(std::to_string(test.umask) + " " + std::to_string(test.existing));
    fs::remove(log);
    fs::remove(log.string() + "_x");
    if (test.existing >= 0) {
      std::ofstream(log, std::ios::binary) << std::string(kLimit + 1, 'o');
      ASSERT_EQ(chmod(log.c_str(), static_cast<mode_t>(test.existing)), 0);
    }
    const mode_t before = umask(test.umask);
    const bool written = appendLogLine(log.string(), "new\r\n", kLimit, "_x");
    umask(before);
    ASSERT_TRUE(written);
    EXPECT_EQ(contents(log), "new\r\n");
    EXPECT_EQ(modeOf(log), test.expected);
    if (test.existing >= 0) {
      EXPECT_EQ(modeOf(log.string() + "_x"), mode_t(test.existing));
    }
  }
  fs::remove_all(folder);
}

TEST_F(LogFileWhileLocked, TheAsideNameIsMadeOnlyOnceTheLockIsHeld) {
  // A name made of the time must be read after the wait, or a run that
  // waited long would give a later move an earlier name.
  bool madeWhileHeldByAnother = false;
  int made = 0;
  suffix_ = [&] {
    madeWhileHeldByAnother = !released_;
    ++made;
    return std::string("_x");
  };
  const std::string full(kLimit + 1, 'o');
  ASSERT_TRUE(appendWhileLocked(full, [](const fs::path&) {}));
  EXPECT_EQ(made, 1);
  EXPECT_FALSE(madeWhileHeldByAnother);
  EXPECT_EQ(contents(log_.string() + "_x"), full);
}

}  // namespace
}  // namespace veltrum
