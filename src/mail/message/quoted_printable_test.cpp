#include "mail/message/quoted_printable.h"

#include <gtest/gtest.h>

#include <string>

namespace veltrum {
namespace {

const std::string x73(73, 'x'), x74(74, 'x'), x75(75, 'x'), x76(76, 'x');

TEST(QuotedPrintable, EncodesLineByLine) {
  struct Case {
    std::string text, encoded;
  } cases[] = {
      {"", ""},
      {"Plain text.", "Plain text."},
      {"a=b", "a=3Db"},
      {"Pr\xFC"
       "fung \x80 5",
       "Pr=FCfung =80 5"},
      {"\x01\x7F\t~!", "=01=7F\t~!"},
      // Line ends: CR LF, a single CR and a single LF each give one CR LF.
      {"a\rb\nc\r\nd", "a\r\nb\r\nc\r\nd"},
      {"\n\r", "\r\n\r\n"},
      {"\r\r\n", "\r\n\r\n"},
      {"\rDie Datei x\r", "\r\nDie Datei x\r\n"},
      // Blanks and tabs before a line end or at the end are encoded.
      {"a \rb\t\nc ", "a=20\r\nb=09\r\nc=20"},
      {"a  b", "a  b"},
      // A dot at the start of a line is left to the wire.
      {".\r.x", ".\r\n.x"},
      // 76 characters fit on a line; more need a soft break "=" on the 76th place.
      {x76, x76},
      {x76 + "x", x75 + "=\r\nxx"},
      {x76 + "\r" + x76, x76 + "\r\n" + x76},
      // An "=XX" is never cut.
      {x73 + "\xE4", x73 + "=E4"},
      {x74 + "\xE4", x74 + "=\r\n=E4"},
      {x73 + "\xE4y", x73 + "=\r\n=E4y"},
      {x75 + " ", x75 + "=\r\n=20"},
      {x74 + " y", x74 + " y"},
      {x75 + " y", x75 + "=\r\n y"},
  };
  for (const Case& c : cases) EXPECT_EQ(quotedPrintable(c.text), c.encoded) << c.text;
}

TEST(QuotedPrintable, LongLinesAreCutEveryLineStaysShort) {
  std::string line(1500, 'L');
  std::string encoded = quotedPrintable(line + "\r" + line);
  size_t start = 0;
  std::string joined;
  while (start < encoded.size()) {
    size_t end = encoded.find("\r\n", start);
    if (end == std::string::npos) end = encoded.size();
    std::string part = encoded.substr(start, end - start);
    EXPECT_LE(part.size(), 76u);
    joined += (!part.empty() && part.back() == '=') ? part.substr(0, part.size() - 1) : part + "|";
    start = end + 2;
  }
  EXPECT_EQ(joined, line + "|" + line + "|");
}

TEST(QuotedPrintable, NeededForEightBitBytesAndLongLines) {
  struct Case {
    std::string text;
    bool needed;
  } cases[] = {
      {"", false},
      {"Bitte nachsehen.\rDie Datei /srv/a.lck", false},
      {"\xE4", true},
      {"\x80", true},
      {"\x7F\x01", false},
      {std::string(998, 'x'), false},
      {std::string(999, 'x'), true},
      {std::string(998, 'x') + "\r" + std::string(998, 'x') + "\n" + std::string(998, 'x'), false},
      {std::string(998, 'x') + "\r\n" + std::string(999, 'x'), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(needsQuotedPrintable(c.text), c.needed) << c.text.substr(0, 40);
  }
}

}  // namespace
}  // namespace veltrum
