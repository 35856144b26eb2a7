#include <gtest/gtest.h>
#include <windows.h>

#include "platform/processes/subprocess.h"
#include "support/test_folder_win32.h"

namespace veltrum {
namespace {

class SubprocessWin32 : public testing::Test {
 protected:
  std::string drain(Subprocess& program) {
    std::string output;
    while (program.readOutput(&output)) {
    }
    return output;
  }
  TestFolder folder_;
};

TEST_F(SubprocessWin32, BatchFileOutputAndExitCode) {
  const std::string script =
      folder_.write("job.bat", "@echo off\r\necho one\r\necho [%~1]\r\nexit /b 3\r\n");
  auto program = Subprocess::start(script, "with two blanks", true);
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(drain(*program), "one\r\n[with two blanks]\r\n");
  EXPECT_EQ(program->waitForExit(), 3);
  EXPECT_EQ(program->exitCode(), 3);
}

TEST_F(SubprocessWin32, AnEmptyParameterIsStillOne) {
  const std::string script =
      folder_.write("count.cmd", "@echo off\r\necho [%1] [%2]\r\nexit /b -1\r\n");
  auto program = Subprocess::start(script, "", true);
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(drain(*program), "[\"\"] []\r\n");
  EXPECT_EQ(program->waitForExit(), -1);  // 0xFFFFFFFF
}

TEST_F(SubprocessWin32, StillActiveWhileRunning) {
  const std::string flag = folder_ / "go.flag";
  const std::string script = folder_.write(
      "wait.bat", "@echo off\r\n:again\r\nif not exist \"%~1\" goto again\r\nexit /b 0\r\n");
  auto program = Subprocess::start(script, flag, false);
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(program->exitCode(), kStillActive);
  std::string output;
  EXPECT_FALSE(program->readOutput(&output));  // no pipe was asked for
  folder_.write("go.flag", "");
  EXPECT_EQ(program->waitForExit(), 0);
}

TEST_F(SubprocessWin32, WhatCannotStartGivesNothing) {
  EXPECT_EQ(Subprocess::start(folder_ / "missing.exe", "", true), nullptr);
  const std::string fake = folder_.write("fake.exe", "this is no program");
  EXPECT_EQ(Subprocess::start(fake, "", true), nullptr);
}

}  // namespace
}  // namespace veltrum
