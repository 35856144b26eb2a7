#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/log.h"
#include "base/run_settings.h"

namespace veltrum {
namespace {

TEST(LogPosix, UserIsTheEffectiveAccount) {
  struct passwd* entry = getpwuid(geteuid());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(currentUserName(), entry->pw_name);
}

TEST(LogPosix, AnUnwritableLogIsReportedOnStandardErrorAndTheLineIsLost) {
  std::string pattern = testing::TempDir() + "veltrum-log-XXXXXX";
  std::string folder = mkdtemp(pattern.data());
  std::string saved = runSettings().logPath;
  runSettings().logPath = folder + "/veltrum.log";
  ASSERT_EQ(mkdir(runSettings().logPath.c_str(), 0755), 0);  // a directory where the log belongs
  testing::internal::CaptureStderr();
  writeLog(LOG, "lost");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Kann keine Logdatei erstellen\n");
  runSettings().logPath = folder + "/missing/veltrum.log";
  testing::internal::CaptureStderr();
  writeLog(ERR, "lost too");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Kann keine Logdatei erstellen\n");
  runSettings().logPath = saved;
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace veltrum
