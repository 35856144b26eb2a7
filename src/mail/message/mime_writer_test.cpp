#include "mail/message/mime_writer.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "platform/core/clock.h"
#include "platform/core/text_encoding.h"

namespace veltrum {
namespace {

class FixedClock : public Clock {
 public:
  LocalTime localNow() override { return {2026, 12, 7, 4, 15, 30}; }
};

class MimeWriter : public ::testing::Test {
 protected:
  void SetUp() override { setClock(&clock_); }
  void TearDown() override { setClock(nullptr); }

  // The message with the pauses shown as "|".
  std::string written(const std::string& to, const MailBody& body,
                      const std::string& subject = "Alt!") {
    MailMessage message{"Wache <w@b.de>", to, subject, body, "Mailwerk", kSingleType, "Mailwerk_"};
    StringSink sink("|");
    writeMessage(message, {"Mon, 07 Dec 2026 04:15:30 +0100", "<id@host>"}, sink);
    return sink.text();
  }

  static constexpr const char* kSingleType = "text/plain; charset=\"iso-8859-1\"";
  const std::string header_ =
      "|From: Wache <w@b.de>\r\nTo: <a@b.de>\r\nSubject: Alt!\r\nX-Mailer: Mailwerk\r\n"
      "MIME-Version: 1.0\r\nDate: Mon, 07 Dec 2026 04:15:30 +0100\r\n"
      "Message-ID: <id@host>\r\n";
  FixedClock clock_;
};

TEST_F(MimeWriter, SinglePartKeepsShortAsciiBytes) {
  std::string body = "Text\rDie Datei x\r<html>bleibt Text " + std::string(900, 'x');
  EXPECT_EQ(written("a@b.de", body), header_ +
                                         "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
                                         "Content-Transfer-Encoding: 7bit\r\n\r\n|" +
                                         body + "\r\n");
}

TEST_F(MimeWriter, SinglePartWithEightBitBytesOrLongLinesIsQuotedPrintable) {
  // Windows-1252 texts, as the Windows build holds them.
  const ScopedTextEncoding windows(TextEncoding::windows1252);
  struct Case {
    std::string body, charset, content;
  } cases[] = {
      {"Text \xE4\xF6\xFC\rDie Datei x", "iso-8859-1", "Text =E4=F6=FC\r\nDie Datei x"},
      {"Kosten \x80 =", "windows-1252", "Kosten =80 =3D"},
      {std::string(999, 'y'), "iso-8859-1", ""},
  };
  for (const Case& c : cases) {
    std::string text = written("a@b.de", c.body);
    std::string head = header_ + "Content-Type: text/plain; charset=\"" + c.charset +
                       "\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n|";
    EXPECT_EQ(text.substr(0, head.size()), head) << c.body;
    if (!c.content.empty()) {
      EXPECT_EQ(text, head + c.content + "\r\n");
    }
  }
}

TEST_F(MimeWriter, HtmlAtTheStartGivesAnEmptyPlainPart) {
  std::string text = written("a@b.de", MailBody::withHtml("", "<html><b>x</b>"));
  std::smatch found;
  ASSERT_TRUE(std::regex_search(text, found, std::regex("boundary=\"(Mailwerk_[0-9a-f]{32})\"")));
  const std::string mixed = found[1];
  ASSERT_TRUE(
      std::regex_search(text, found, std::regex("boundary=\"(Mailwerk_Alt_[0-9a-f]{32})\"")));
  const std::string alternative = found[1];
  EXPECT_EQ(text, header_ + "Content-Type: multipart/mixed; boundary=\"" + mixed + "\"\r\n\r\n--" +
                      mixed + "\r\nContent-Type: multipart/alternative; boundary=\"" + alternative +
                      "\"\r\n\r\n--" + alternative +
                      "\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
                      "Content-Transfer-Encoding: 7bit\r\n\r\n\r\n--" +
                      alternative +
                      "\r\nContent-Type: text/html; charset=iso-8859-1\r\n"
                      "Content-Transfer-Encoding: 7bit\r\n\r\n<html><b>x</b>\r\n--" +
                      alternative + "--\r\n|--" + mixed + "--\r\n");
}

TEST_F(MimeWriter, EachAlternativeHasTheEncodingOfItsBytes) {
  // Windows-1252 texts, as the Windows build holds them.
  const ScopedTextEncoding windows(TextEncoding::windows1252);
  std::string text = written("a@b.de", MailBody::withHtml("Vorher\r", "<html>Nachher<html>"));
  EXPECT_NE(text.find("7bit\r\n\r\nVorher\r\r\n--Mailwerk_Alt_"), std::string::npos);
  EXPECT_NE(text.find("7bit\r\n\r\n<html>Nachher<html>\r\n--Mailwerk_Alt_"), std::string::npos);

  text = written("a@b.de", MailBody::withHtml("\xFC", "<html>\x80"));
  EXPECT_NE(text.find("Content-Type: text/plain; charset=iso-8859-1\r\n"
                      "Content-Transfer-Encoding: quoted-printable\r\n\r\n=FC\r\n--"),
            std::string::npos);
  EXPECT_NE(text.find("Content-Type: text/html; charset=windows-1252\r\n"
                      "Content-Transfer-Encoding: quoted-printable\r\n\r\n<html>=80\r\n--"),
            std::string::npos);
}

TEST_F(MimeWriter, OneToAndOneCcFieldForTheVisibleRecipients) {
  std::string text = written(" a@b.de ;CC:Chef <c@d.de>;bcc:e@f.de; To2 <g@h.de>;", "x");
  EXPECT_NE(text.find("\r\nTo: <a@b.de>, To2 <g@h.de>\r\nCc: Chef <c@d.de>\r\nSubject: "),
            std::string::npos);
  EXPECT_EQ(text.find("e@f.de"), std::string::npos);

  std::string many;
  for (int i = 0; i < 30; ++i) {
    many += 'r';
    many += std::to_string(i);
    many += "@example.com;";
  }
  text = written(many, "x");
  std::string to = text.substr(text.find("\r\nTo: ") + 2);
  to = to.substr(0, to.find("\r\nSubject: "));
  EXPECT_NE(to.find("\r\n <r"), std::string::npos);  // folded
  size_t start = 0;
  for (size_t end; (end = to.find("\r\n", start)) != std::string::npos || start < to.size();
       start = end + 2) {
    if (end == std::string::npos) end = to.size();
    EXPECT_LE(end - start, 76u);
  }
}

TEST_F(MimeWriter, SubjectWithEightBitBytesIsEncodedWords) {
  // Windows-1252 texts, as the Windows build holds them.
  const ScopedTextEncoding windows(TextEncoding::windows1252);
  std::string text = written("a@b.de", "x", "Alte Datei: \xE4lter als 60 Minuten");
  EXPECT_NE(text.find("\r\nSubject: =?iso-8859-1?Q?Alte_Datei=3A_=E4lter_als_60_Minuten?=\r\n"),
            std::string::npos);
  text = written("a@b.de", "x", std::string(60, '\xE4'));
  EXPECT_NE(text.find("\r\nSubject: =?iso-8859-1?B?"), std::string::npos);
  EXPECT_NE(text.find("?=\r\n =?iso-8859-1?B?"), std::string::npos);  // a second line
}

// Short plain subjects stay byte for byte; longer ones are folded so that no
// line passes 998 characters, with over-long words as encoded words.
TEST_F(MimeWriter, LongPlainSubjectIsFolded) {
  const std::string words = "Datei " + std::string(600, 'w') + " ist " + std::string(500, 'v');
  struct Case {
    std::string subject;
    std::string expected;  // the Subject field as written
  } cases[] = {
      {std::string(989, 'S'), "Subject: " + std::string(989, 'S') + "\r\n"},
      {words, "Subject: Datei\r\n " + std::string(600, 'w') + "\r\n ist\r\n " +
                  std::string(500, 'v') + "\r\n"},
      {std::string(990, 'S') + " t", ""},
  };
  for (const Case& c : cases) {
    std::string text = written("a@b.de", "x", c.subject);
    size_t start = text.find("\r\nSubject: ") + 2;
    std::string field = text.substr(start, text.find("\r\nX-Mailer: ") + 2 - start);
    if (!c.expected.empty()) {
      EXPECT_EQ(field, c.expected);
    }
    for (size_t at = 0, end; (end = field.find("\r\n", at)) != std::string::npos; at = end + 2) {
      EXPECT_LE(end - at, 998u);
    }
  }
  // The word too long for any line: encoded words that join again to it.
  std::string text = written("a@b.de", "x", std::string(990, 'S') + " t");
  // The charset named is the platform's; the encoded text is the same.
  EXPECT_NE(text.find("Subject: =?"), std::string::npos);
  EXPECT_NE(text.find("?Q?SSSS"), std::string::npos);
  EXPECT_NE(text.find("?= t\r\nX-Mailer"), std::string::npos);
}

}  // namespace
}  // namespace veltrum
