#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "platform/files/log_file.h"
#include "support/test_folder_win32.h"

namespace veltrum {
namespace {

constexpr int64_t kLimit = 1000;

class LogFileWin32 : public testing::Test {
 protected:
  TestFolder folder_;
  std::string log_ = folder_ / "veltrum.log";
  std::string aside_ = log_ + "_07122026_041530";
};

// Holds the log as another program would, without letting anyone write.
HANDLE holdExclusively(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST_F(LogFileWin32, AppendsAndCreates) {
  ASSERT_TRUE(appendLogLine(log_, "one\r\n", kLimit, "_x"));
  ASSERT_TRUE(appendLogLine(log_, "two\r\n", kLimit, "_x"));
  EXPECT_EQ(TestFolder::read(log_), "one\r\ntwo\r\n");
}

TEST_F(LogFileWin32, MovedAsideOnlyAboveTheLimit) {
  const std::string full(kLimit, 'f');
  folder_.write("veltrum.log", full);
  ASSERT_TRUE(appendLogLine(log_, "at limit\r\n", kLimit, "_07122026_041530"));
  EXPECT_EQ(TestFolder::read(log_), full + "at limit\r\n");
  ASSERT_TRUE(appendLogLine(log_, "fresh\r\n", kLimit, "_07122026_041530"));
  EXPECT_EQ(TestFolder::read(aside_), full + "at limit\r\n");
  EXPECT_EQ(TestFolder::read(log_), "fresh\r\n");
}

TEST_F(LogFileWin32, ATakenAsideNameLetsTheLogGrowOn) {
  folder_.write("veltrum.log_07122026_041530", "earlier");
  const std::string big(kLimit + 1, 'f');
  folder_.write("veltrum.log", big);
  ASSERT_TRUE(appendLogLine(log_, "line\r\n", kLimit, "_07122026_041530"));
  EXPECT_EQ(TestFolder::read(log_), big + "line\r\n");
  EXPECT_EQ(TestFolder::read(aside_), "earlier");
}

TEST_F(LogFileWin32, AShortHoldOfAnotherWriterIsWaitedFor) {
  HANDLE other = holdExclusively(log_);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  std::thread release([other] {
    Sleep(300);
    CloseHandle(other);
  });
  const ULONGLONG started = GetTickCount64();
  const bool written = appendLogLine(log_, "after the wait\r\n", kLimit, "_x");
  const ULONGLONG waited = GetTickCount64() - started;
  release.join();
  EXPECT_TRUE(written);
  EXPECT_GE(waited, 200u);
  EXPECT_EQ(TestFolder::read(log_), "after the wait\r\n");
}

TEST_F(LogFileWin32, ALongHoldGivesTheLineUpAfterAboutTwoSeconds) {
  HANDLE other = holdExclusively(log_);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  const ULONGLONG started = GetTickCount64();
  EXPECT_FALSE(appendLogLine(log_, "lost\r\n", kLimit, "_x"));
  const ULONGLONG waited = GetTickCount64() - started;
  CloseHandle(other);
  EXPECT_GE(waited, 1900u);
  EXPECT_LT(waited, 5000u);
  EXPECT_EQ(TestFolder::read(log_), "");
}

TEST_F(LogFileWin32, AReaderThatLetsOthersWriteDoesNotBlock) {
  folder_.write("veltrum.log", "old\r\n");
  HANDLE reader = CreateFileA(log_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(appendLogLine(log_, "new\r\n", kLimit, "_x"));
  CloseHandle(reader);
  EXPECT_EQ(TestFolder::read(log_), "old\r\nnew\r\n");
}

TEST_F(LogFileWin32, AFolderOrAMissingFolderIsNoLog) {
  folder_.makeFolder("veltrum.log");
  EXPECT_FALSE(appendLogLine(log_, "x\r\n", kLimit, "_x"));
  EXPECT_FALSE(appendLogLine(folder_ / "missing\\veltrum.log", "x\r\n", kLimit, "_x"));
}

}  // namespace
}  // namespace veltrum
