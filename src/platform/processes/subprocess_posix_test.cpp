#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/processes/subprocess.h"

namespace veltrum {
namespace {

namespace fs = std::filesystem;

class SubprocessPosix : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "veltrum-subprocess-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string script(const std::string& name, const std::string& body, mode_t mode = 0755) {
    fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << body;
    chmod(path.c_str(), mode);
    return path.string();
  }

  static std::string allOutput(Subprocess& program) {
    std::string bytes;
    while (program.readOutput(&bytes)) {
    }
    return bytes;
  }

  fs::path folder_;
};

TEST_F(SubprocessPosix, ReportsStillActiveWhileRunning) {
  const fs::path go = folder_ / "go";
  auto program = Subprocess::start(
      script("wait.sh", "#!/bin/sh\nwhile [ ! -e \"$1\" ]; do sleep 0.05; done\nexit 7\n"),
      go.string(), true);
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(program->exitCode(), kStillActive);
  std::ofstream(go) << "";
  EXPECT_EQ(allOutput(*program), "");
  EXPECT_EQ(program->waitForExit(), 7);
  EXPECT_EQ(program->exitCode(), 7);
}

TEST_F(SubprocessPosix, WithoutCaptureThereIsNothingToRead) {
  auto program = Subprocess::start(script("quiet.sh", "#!/bin/sh\nexit 0\n"), "", false);
  ASSERT_NE(program, nullptr);
  std::string bytes;
  EXPECT_FALSE(program->readOutput(&bytes));
  EXPECT_EQ(program->waitForExit(), 0);
}

TEST_F(SubprocessPosix, AProgramThatCannotStartGivesNoHandle) {
  EXPECT_EQ(Subprocess::start((folder_ / "missing").string(), "", true), nullptr);
  EXPECT_EQ(Subprocess::start(script("text.sh", "just some text\n"), "", true), nullptr)
      << "no shell may be tried for a file that is not a program";
  EXPECT_EQ(Subprocess::start(script("plain.sh", "#!/bin/sh\n", 0644), "", true), nullptr);
  EXPECT_EQ(Subprocess::start(script("interp.sh", "#!/nonexistent/shell\n"), "", false), nullptr);
  EXPECT_EQ(Subprocess::start(folder_.string(), "", true), nullptr);
}

}  // namespace
}  // namespace veltrum
