#include <gtest/gtest.h>

#include "platform/processes/program_check.h"

namespace veltrum {
namespace {

TEST(ProgramCheckWin32, FourExtensionsStartAProgram) {
  for (const char* extension : {"BAT", "CMD", "EXE", "COM"}) {
    EXPECT_TRUE(programIsRunnable("C:\\x." + std::string(extension), extension));
  }
  for (const char* extension : {"", "TXT", "bat", "EX", "EXEC", "PS1"}) {
    EXPECT_FALSE(programIsRunnable("C:\\x", extension));
  }
}

TEST(ProgramCheckWin32, AnsiUpperCasing) {
  EXPECT_EQ(ansiUpper("exe"), "EXE");
  EXPECT_EQ(ansiUpper("Cmd"), "CMD");
  EXPECT_EQ(ansiUpper("b\xE4t"), "B\xC4T");  // ä -> Ä in Windows-1252
  EXPECT_EQ(ansiUpper(std::string("a\0b", 3)), std::string("A\0B", 3));
  EXPECT_EQ(ansiUpper(""), "");
}

}  // namespace
}  // namespace veltrum
