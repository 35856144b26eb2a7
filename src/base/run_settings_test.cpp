#include "base/run_settings.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

TEST(RunSettings, DefaultsOfARun) {
  RunSettings fresh;
  EXPECT_EQ(fresh.dateMode, "create");
  EXPECT_EQ(fresh.paramStatus, "Ok");
  EXPECT_EQ(fresh.breakIfLocated, "0");
  EXPECT_EQ(fresh.recursive, "");
  EXPECT_EQ(fresh.filePattern, "");
}

TEST(RunSettings, ExeIsReplacedInTheNameOnlyExactCaseEveryTime) {
  EXPECT_EQ(derivedPath("C:\\Tools\\veltrum.exe", ".log"), "C:\\Tools\\veltrum.log");
  EXPECT_EQ(derivedPath("C:\\Tools\\veltrum.exe", ".conf"), "C:\\Tools\\veltrum.conf");
  EXPECT_EQ(derivedPath("C:\\Tools\\veltrum.exe.bak.exe", ".log"),
            "C:\\Tools\\veltrum.log.bak.log");
  EXPECT_EQ(derivedPath("C:\\a.exe\\veltrum.exe", ".log"), "C:\\a.exe\\veltrum.log");
  EXPECT_EQ(derivedPath("/opt/a.exe/veltrum.exe", ".log"), "/opt/a.exe/veltrum.log");
  EXPECT_EQ(derivedPath("/opt/x/veltrum.exexe", ".conf"), "/opt/x/veltrum.confxe");
}

TEST(RunSettings, ANameWithoutExeGetsTheExtensionAppended) {
  // Never the program file itself.
  EXPECT_EQ(derivedPath("/opt/veltrum/veltrum", ".log"), "/opt/veltrum/veltrum.log");
  EXPECT_EQ(derivedPath("C:\\Tools\\VELTRUM.EXE", ".log"), "C:\\Tools\\VELTRUM.EXE.log");
  EXPECT_EQ(derivedPath("C:\\Tools\\veltrum.Exe", ".conf"), "C:\\Tools\\veltrum.Exe.conf");
  EXPECT_EQ(derivedPath("/opt/a.exe/veltrum", ".log"), "/opt/a.exe/veltrum.log");
  EXPECT_EQ(derivedPath("veltrum", ".log"), "veltrum.log");
}

}  // namespace
}  // namespace veltrum
