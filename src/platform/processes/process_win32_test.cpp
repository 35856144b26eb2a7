#include <gtest/gtest.h>
#include <windows.h>

#include "platform/core/clock.h"
#include "platform/processes/process.h"

namespace veltrum {
namespace {

TEST(ProcessWin32, TheWholeCommandLineIsHandedOver) {
  char* argv[] = {const_cast<char*>("ignored"), const_cast<char*>("also ignored")};
  const RawCommandLine raw = rawCommandLine(2, argv);
  EXPECT_TRUE(raw.isWhole);
  EXPECT_EQ(raw.wholeText, GetCommandLineA());
  EXPECT_TRUE(raw.arguments.empty());
}

TEST(ProcessWin32, ProgramPathAndUser) {
  const std::string path = programPath();
  EXPECT_NE(path.find('\\'), std::string::npos);
  EXPECT_LE(path.size(), 260u);
  EXPECT_EQ(path.substr(path.size() - 4), ".exe");
  std::string user;
  ASSERT_TRUE(platformUserName(&user));
  char expected[261] = {};
  DWORD size = 260;
  ASSERT_TRUE(GetUserNameA(expected, &size));
  EXPECT_EQ(user, expected);
}

TEST(ClockWin32, LocalClockAndOffset) {
  SYSTEMTIME before;
  GetLocalTime(&before);
  const LocalTime now = clock().localNow();
  EXPECT_EQ(now.year, before.wYear);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  const int64_t offset = currentUtcOffsetSeconds();
  EXPECT_EQ(offset % 60, 0);
  EXPECT_LE(offset < 0 ? -offset : offset, 14 * 3600);
  const int64_t start = monotonicMilliseconds();
  Sleep(30);
  EXPECT_GE(monotonicMilliseconds() - start, 20);
}

}  // namespace
}  // namespace veltrum
