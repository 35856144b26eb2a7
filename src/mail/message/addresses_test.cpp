#include "mail/message/addresses.h"

#include <gtest/gtest.h>

#include "platform/core/text_encoding.h"

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
  // Windows-1252 texts, as the Windows build holds them.
  const ScopedTextEncoding windows(TextEncoding::windows1252);
  struct Case {
    std::string text, header;
  } cases[] = {
      {"w@b.de", "<w@b.de>"},
      {"Wache <w@b.de>", "Wache <w@b.de>"},
      {"  Wache   <w@b.de> x", "  Wache   <w@b.de> x"},  // plain names stay byte for byte
      {"<w@b.de>", "<w@b.de>"},
      {"\"Bauer, Anna\" <a@b.de>", "\"Bauer, Anna\" <a@b.de>"},
      // A name that would split the address list or read as an address is quoted.
      {"Bauer, Anna <a@b.de>", "\"Bauer, Anna\" <a@b.de>"},
      {"Dr. A \"B\" C\\D <a@b.de>", "\"Dr. A \\\"B\\\" C\\\\D\" <a@b.de>"},
      // Bytes above 127 in the name: encoded words, quotes and line ends resolved.
      {" W\xE4"
       "chter <w@b.de>",
       "=?iso-8859-1?Q?W=E4chter?= <w@b.de>"},
      {"\"M\xFCller, \\\"H\\\"\" <m@b.de>", "=?iso-8859-1?B?TfxsbGVyLCAiSCI=?= <m@b.de>"},
      {"Kasse \x80\r\nBcc: x <k@b.de>", "=?windows-1252?Q?Kasse_=80__Bcc=3A_x?= <k@b.de>"},
      // Bytes above 127 in the address itself cannot be encoded; they stay.
      {"m\xFC@b.de", "<m\xFC@b.de>"},
  };
  for (const Case& c : cases) EXPECT_EQ(headerAddress(c.text), c.header) << c.text;
  EXPECT_EQ(fromHeaderValue("cc:w@b.de"), "<w@b.de>");
  EXPECT_EQ(fromHeaderValue("W\xE4"
                            "chter <w@b.de>"),
            "=?iso-8859-1?Q?W=E4chter?= <w@b.de>");
}

TEST(Addresses, OneListOfDirectAndOneOfCopyRecipients) {
  HeaderRecipients recipients =
      headerRecipients(" a@b.de ;CC:Chef <c@d.de>;bcc:e@f.de; To2 <g@h.de>;cc: k@l.de ;;Cc:");
  EXPECT_EQ(recipients.to, (std::vector<std::string>{"<a@b.de>", "To2 <g@h.de>"}));
  EXPECT_EQ(recipients.cc, (std::vector<std::string>{"Chef <c@d.de>", "<k@l.de>"}));
  HeaderRecipients hidden = headerRecipients("BCC:Geheim <e@f.de>;bcc:x@y.de");
  EXPECT_TRUE(hidden.to.empty());
  EXPECT_TRUE(hidden.cc.empty());
}

}  // namespace
}  // namespace veltrum
