#include "base/outside_text.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace veltrum {
namespace {

struct Case {
  const char* what;
  std::string bytes;
  std::string utf8;         // shown on POSIX
  std::string windows1252;  // shown on Windows
};

// What a name, a server line or a program's output looks like once it is put
// into a message, on either target.
const Case kShownCases[] = {
    {"plain ASCII", "report.lck", "report.lck", "report.lck"},
    {"valid UTF-8 stays", "Prüfung €.lck", "Prüfung €.lck", "Prüfung €.lck"},
    {"Latin-1 name readable",
     "Pr\xFC"
     "fung.lck",
     "Prüfung.lck",
     "Pr\xFC"
     "fung.lck"},
    {"Windows-1252 high range", "\x80\x84\x93\x94\x96", "€„“”–", "\x80\x84\x93\x94\x96"},
    {"undefined bytes",
     "a\x81\x8D\x8F\x90\x9D"
     "b",
     "a\\x81\\x8d\\x8f\\x90\\x9db",
     "a\x81\x8D\x8F\x90\x9D"
     "b"},
    {"each stray byte alone",
     "\xE2\x82"
     "b\xC3",
     "â‚bÃ",
     "\xE2\x82"
     "b\xC3"},
    {"stray byte then valid sequence", "\xE4ä", "ää", "\xE4\xC3\xA4"},
    {"overlong is not valid", "\xC0\xAF", "À¯", "\xC0\xAF"},
    {"surrogate is not valid", "\xED\xA0\x80", "í\u00A0€", "\xED\xA0\x80"},
    {"line breaks", "a\r\nb\tc", "a\\r\\nb\\tc", "a\\r\\nb\\tc"},
    {"other controls", std::string("\0\x1B\x7F", 3), "\\x00\\x1b\\x7f", "\\x00\\x1b\\x7f"},
    {"backslash stays", "C:\\x\\n", "C:\\x\\n", "C:\\x\\n"},
    {"C1 control of valid UTF-8",
     "a\xC2\x85"
     "b\xC2\x9F",
     "a\\u0085b\\u009f",
     "a\xC2\x85"
     "b\xC2\x9F"},
    {"no break space is no control",
     "a\xC2\xA0"
     "b",
     "a\xC2\xA0"
     "b",
     "a\xC2\xA0"
     "b"},
    {"four-byte character", "😀", "😀", "😀"},
};

TEST(OutsideText, ShownOnEitherTarget) {
  for (const Case& c : kShownCases) {
    EXPECT_EQ(shownText(c.bytes, TextEncoding::utf8), c.utf8) << c.what;
    EXPECT_EQ(shownText(c.bytes, TextEncoding::windows1252), c.windows1252) << c.what;
  }
}

TEST(OutsideText, EveryLoneByteDecodesToSomethingVisible) {
  for (int byte = 0x80; byte < 0x100; ++byte) {
    std::string shown = shownText(std::string(1, static_cast<char>(byte)), TextEncoding::utf8);
    EXPECT_TRUE(isValidUtf8(shown)) << byte;
    EXPECT_FALSE(shown.empty()) << byte;
    // No C1 control (C2 80..C2 9F) comes out: terminals act on them.
    for (size_t at = 0; at + 1 < shown.size(); ++at) {
      EXPECT_FALSE(shown[at] == '\xC2' && static_cast<unsigned char>(shown[at + 1]) < 0xA0) << byte;
    }
  }
}

}  // namespace
}  // namespace veltrum
