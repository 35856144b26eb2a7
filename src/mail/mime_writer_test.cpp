#include "mail/mime_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"

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
  std::string written(const std::string& to, const std::string& body) {
    MailMessage message{"Wache <w@b.de>", to, "Alt!", body, "Mailwerk", kSingleType, "Mailwerk_"};
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

TEST_F(MimeWriter, SinglePartKeepsTheBodyBytes) {
  std::string body = "Text \xE4\xF6\xFC\rDie Datei x\r<HTML>bleibt Text";
  EXPECT_EQ(written("a@b.de", body), header_ +
                                         "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
                                         "Content-Transfer-Encoding: 7bit\r\n\r\n|" +
                                         body + "\r\n");
}

TEST_F(MimeWriter, HtmlAtTheStartGivesAnEmptyPlainPart) {
  const std::string mixed = "Mailwerk_07122026041530";
  const std::string alternative = "Mailwerk_Alt_07122026041530";
  EXPECT_EQ(written("a@b.de", "<html><b>x</b>"),
            header_ + "Content-Type: multipart/mixed; boundary=\"" + mixed + "\"\r\n\r\n--" +
                mixed + "\r\nContent-Type: multipart/alternative; boundary=\"" + alternative +
                "\"\r\n\r\n--" + alternative +
                "\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
                "Content-Transfer-Encoding: 7bit\r\n\r\n\r\n--" +
                alternative +
                "\r\nContent-Type: text/html; charset=iso-8859-1\r\n"
                "Content-Transfer-Encoding: 7bit\r\n\r\n<html><b>x</b>\r\n--" +
                alternative + "--\r\n|--" + mixed + "--\r\n");
}

TEST_F(MimeWriter, TextBeforeHtmlIsThePlainPart) {
  std::string text = written("a@b.de", "Vorher\r<html>Nachher<html>");
  EXPECT_NE(text.find("7bit\r\n\r\nVorher\r\r\n--Mailwerk_Alt_"), std::string::npos);
  EXPECT_NE(text.find("7bit\r\n\r\n<html>Nachher<html>\r\n--Mailwerk_Alt_"), std::string::npos);
}

TEST_F(MimeWriter, OneHeaderLinePerVisibleRecipient) {
  std::string text = written(" a@b.de ;CC:Chef <c@d.de>;bcc:e@f.de; To2 <g@h.de>;", "x");
  EXPECT_NE(text.find("\r\nTo: <a@b.de>\r\nCc: Chef <c@d.de>\r\nTo: To2 <g@h.de>\r\nTo: <>\r\n"
                      "Subject: "),
            std::string::npos);
  EXPECT_EQ(text.find("e@f.de"), std::string::npos);
}

}  // namespace
}  // namespace veltrum
