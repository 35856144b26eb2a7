#include <gtest/gtest.h>
#include <windows.h>

#include "platform/system/console.h"

namespace veltrum {
namespace {

TEST(ConsoleWin32, UmlautsTakeTheirOemBytes) {
  const UINT oem = GetOEMCP();
  if (oem != 437 && oem != 850) GTEST_SKIP() << "OEM code page " << oem;
  // "Prüfzeit älter ÄÖÜß" in Windows-1252, and as CP437 and CP850 both write it.
  EXPECT_EQ(ansiToConsole("Pr\xFC"
                          "fzeit \xE4lter \xC4\xD6\xDC\xDF"),
            "Pr\x81"
            "fzeit \x84lter \x8E\x99\x9A\xE1");
}

TEST(ConsoleWin32, SevenBitTextAndZeroBytesStay) {
  const std::string plain("Hilfe mit /?\r\n\t~", 17);
  EXPECT_EQ(ansiToConsole(plain), plain);
  const std::string withZero("a\0\xE4", 3);
  const std::string converted = ansiToConsole(withZero);
  ASSERT_EQ(converted.size(), 3u);
  EXPECT_EQ(converted.substr(0, 2), std::string("a\0", 2));
  EXPECT_EQ(ansiToConsole(""), "");
}

}  // namespace
}  // namespace veltrum
