#include "base/text.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

TEST(Text, SourceLiteralsBecomeWindows1252Bytes) {
  EXPECT_EQ(cp1252("Prüfzeit ÄÖÜäöüß"),
            "Pr\xFC"
            "fzeit \xC4\xD6\xDC\xE4\xF6\xFC\xDF");
  // Characters of the 0x80-0x9F range live at their Windows-1252 places.
  EXPECT_EQ(cp1252("€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ"),
            "\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E\x91\x92\x93\x94\x95\x96\x97"
            "\x98\x99\x9A\x9B\x9C\x9E\x9F");
  EXPECT_EQ(cp1252("a→b𝄞c"), "a?b?c");
  EXPECT_EQ(cp1252(""), "");
}

TEST(Text, Windows1252ToUtf8CoversTheWholeByteRange) {
  EXPECT_EQ(cp1252ToUtf8("abc\t\r\n"), "abc\t\r\n");
  EXPECT_EQ(cp1252ToUtf8("\x80"), "€");
  EXPECT_EQ(cp1252ToUtf8("\x9F\xA0\xFF"), "Ÿ\u00A0ÿ");
  EXPECT_EQ(cp1252ToUtf8(std::string("\0\xE4", 2)), std::string("\0ä", 3));
  // The bytes Windows leaves undefined keep their C1 control.
  EXPECT_EQ(cp1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
  // Every byte survives the round trip.
  for (int byte = 1; byte < 256; ++byte) {
    std::string one(1, static_cast<char>(byte));
    EXPECT_EQ(cp1252(cp1252ToUtf8(one).c_str()), one) << byte;
  }
}

TEST(Text, Utf8ToLatin1TurnsWhatDoesNotFitIntoOneQuestionMark) {
  EXPECT_EQ(utf8ToLatin1("Prüfung"),
            "Pr\xFC"
            "fung");
  EXPECT_EQ(utf8ToLatin1("\xC2\x80\xC3\xBF"), "\x80\xFF");  // two bytes up to 255 fit
  EXPECT_EQ(utf8ToLatin1("aĀb"), "a?b");                    // two bytes above 255
  EXPECT_EQ(utf8ToLatin1("a€b"), "a?b");                    // three bytes, even € (0x80 in 1252)
  EXPECT_EQ(utf8ToLatin1("a😀b"), "a?b");                    // four bytes
  EXPECT_EQ(utf8ToLatin1("a\x80\xBF"
                         "b"),
            "a??b");                       // stray continuation bytes
  EXPECT_EQ(utf8ToLatin1("a\xC3"), "a?");  // cut short at the end
  EXPECT_EQ(utf8ToLatin1("a\xE2\x82"
                         "b"),
            "a?b");                                   // cut short inside
  EXPECT_EQ(utf8ToLatin1("\xC0\x80\xC1\xBF"), "??");  // overlong
  EXPECT_EQ(utf8ToLatin1("\xFF\xFE"), "??");
  EXPECT_EQ(utf8ToLatin1(""), "");
}

TEST(Text, Latin1ToUtf8AndBack) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  std::string utf8 = latin1ToUtf8(all);
  EXPECT_EQ(utf8.size(), 128u + 2 * 128u);
  EXPECT_EQ(utf8ToLatin1(utf8), all);
  EXPECT_EQ(latin1ToUtf8("Gr\xFC\xDF"), "Grüß");
}

TEST(Text, ACutLeavesUtf8WellFormed) {
  const std::string text = "ab€";  // "€" takes bytes 2 to 4
  for (size_t limit = 0; limit <= 6; ++limit) {
    const std::string cut = cutText(text, limit, TextEncoding::utf8);
    EXPECT_TRUE(isValidUtf8(cut)) << limit;
    EXPECT_EQ(cut, limit < 2 ? text.substr(0, limit) : limit < 5 ? "ab" : text) << limit;
    EXPECT_EQ(cutText(text, limit, TextEncoding::windows1252), text.substr(0, limit)) << limit;
  }
}

}  // namespace
}  // namespace veltrum
