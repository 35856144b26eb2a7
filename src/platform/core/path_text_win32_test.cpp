#include "platform/core/path_text_win32.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

TEST(PathTextWin32, NamesOutsideTheCodePageAreNeverLookAlikes) {
  struct Case {
    const wchar_t* wide;
    const char* ansi;
    bool exact;
  };
  const Case cases[] = {
      {L"Omega.lck", "Omega.lck", true},
      {L"\u00e4rger.lck", "\xe4rger.lck", true},
      {L"\u2018x\u20ac", "\x91x\x80", true},    // 0x80-0x9F hold letters of their own
      {L"\u03a9mega.lck", "?mega.lck", false},  // best fit would give "Omega.lck"
      {L"\u0100bc", "?bc", false},              // best fit would give "Abc"
      {L"\uff21.lck", "?.lck", false},          // full-width A
      {L"", "", true},
  };  // Windows-1252 whatever the machine's ANSI code page is
  for (const Case& c : cases) {
    std::string ansi;
    EXPECT_EQ(narrowedExactly(c.wide, &ansi), c.exact) << c.ansi;
    EXPECT_EQ(ansi, c.ansi);
    if (c.exact) {
      EXPECT_EQ(widened(ansi), c.wide) << c.ansi;
    }
  }
}

}  // namespace
}  // namespace veltrum
