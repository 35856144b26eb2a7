#include "mail/addresses.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

TEST(Addresses, EnvelopeAddressForms) {
  EXPECT_EQ(envelopeAddress("a@b.de"), "<a@b.de>");
  EXPECT_EQ(envelopeAddress("Anna Bauer <a@b.de>"), "<a@b.de>");
  EXPECT_EQ(envelopeAddress("x <a@b.de> y <c@d.de>"), "<a@b.de>");  // the first pair
  EXPECT_EQ(envelopeAddress("CC:a@b.de"), "<a@b.de>");
  EXPECT_EQ(envelopeAddress("cc:a@b.de"), "<a@b.de>");
  EXPECT_EQ(envelopeAddress("bCc:a@b.de"), "<a@b.de>");
  EXPECT_EQ(envelopeAddress("CC: a@b.de"), "< a@b.de>");  // the blank after the colon stays
  EXPECT_EQ(envelopeAddress("CC:Lead <l@b.de>"), "<l@b.de>");
  EXPECT_EQ(envelopeAddress(""), "<>");
  EXPECT_EQ(envelopeAddress("a>b<c"), "<a>b<c>");  // ">" before "<" is no bracketed part
}

TEST(Addresses, RecipientFieldsKeepEmptyOnes) {
  EXPECT_EQ(recipientFields("a@b.de"), (std::vector<std::string>{"a@b.de"}));
  EXPECT_EQ(recipientFields("a@b.de; CC:c@d.de;"),
            (std::vector<std::string>{"a@b.de", " CC:c@d.de", ""}));
  EXPECT_EQ(recipientFields(""), (std::vector<std::string>{""}));
  EXPECT_EQ(trimBlanks("  a b  "), "a b");
  EXPECT_EQ(trimBlanks("   "), "");
  EXPECT_EQ(trimBlanks("\ta\t"), "\ta\t");  // only blanks are trimmed
}

TEST(Addresses, HeaderForms) {
  EXPECT_EQ(fromHeaderValue("w@b.de"), "<w@b.de>");
  EXPECT_EQ(fromHeaderValue("Wache <w@b.de>"), "Wache <w@b.de>");
  EXPECT_EQ(fromHeaderValue("cc:w@b.de"), "<w@b.de>");
  EXPECT_EQ(recipientHeaderLine("a@b.de"), "To: <a@b.de>");
  EXPECT_EQ(recipientHeaderLine("Anna <a@b.de>"), "To: Anna <a@b.de>");
  EXPECT_EQ(recipientHeaderLine("CC:c@d.de"), "Cc: <c@d.de>");
  EXPECT_EQ(recipientHeaderLine("Cc: c@d.de"), "Cc: < c@d.de>");
  EXPECT_EQ(recipientHeaderLine("cc:Chef <c@d.de>"), "Cc: Chef <c@d.de>");
  EXPECT_EQ(recipientHeaderLine("BCC:e@f.de"), "");
  EXPECT_EQ(recipientHeaderLine("bcc:Geheim <e@f.de>"), "");
}

}  // namespace
}  // namespace veltrum
