#include "mail/smtp/wire_filter.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "mail/message/message_stamp.h"
#include "mail/message/mime_writer.h"

namespace veltrum {
namespace {

// Writes the pieces through the filter: first the header lines, then the
// empty line, then the body pieces.
std::string onWire(const std::vector<std::string>& header, const std::vector<std::string>& body) {
  StringSink wire;
  WireFilter filter(wire);
  for (const std::string& line : header) filter.write(line);
  filter.write("\r\n");
  for (const std::string& piece : body) filter.write(piece);
  return wire.text();
}

// True when every CR on the wire is followed by LF and every LF follows a CR.
bool onlyCrLf(const std::string& wire) {
  for (size_t i = 0; i < wire.size(); ++i) {
    if (wire[i] == '\r' && (i + 1 == wire.size() || wire[i + 1] != '\n')) return false;
    if (wire[i] == '\n' && (i == 0 || wire[i - 1] != '\r')) return false;
  }
  return true;
}

TEST(WireFilter, BodyLineEndsBecomeCrLf) {
  EXPECT_EQ(onWire({}, {"a\rb\nc\r\nd\r\re"}), "\r\na\r\nb\r\nc\r\nd\r\n\r\ne");
  // A CR at the end of one piece and an LF at the start of the next are one line end.
  EXPECT_EQ(onWire({}, {"a\r", "\nb\r", "c\r\n"}), "\r\na\r\nb\r\nc\r\n");
}

TEST(WireFilter, LinesBeginningWithADotAreStuffed) {
  EXPECT_EQ(onWire({}, {".\r", "..x\r\n", "a.b\n.", "\r\n"}), "\r\n..\r\n...x\r\na.b\r\n..\r\n");
}

TEST(WireFilter, HeaderValuesCannotStartALine) {
  EXPECT_EQ(onWire({"Subject: a\r\nBcc: x@y.de\rZ\n\r\n", "To: <b>\r\n"}, {}),
            "Subject: a  Bcc: x@y.de Z \r\nTo: <b>\r\n\r\n");
}

TEST(WireFilter, NoFileNameOrSubjectEndsTheMessageEarly) {
  for (const std::string name : {"x\r\n.\r\nQUIT\r\n", "x\n.\nQUIT", "x\r.\rQUIT", ".\r\n", "."}) {
    MailMessage message{"w@b.de",
                        "a@b.de\r\n.\r\n",
                        "s\r\n.\r\nRCPT TO: <x>\r\n",
                        "Body\rDie Datei " + name + "\r",
                        "Mailwerk",
                        "text/plain",
                        "Mailwerk_"};
    StringSink wire;
    WireFilter filter(wire);
    writeMessage(message, {"d", "<i@h>"}, filter);
    // The client's own end follows: CR LF and ".".
    std::string data = "\r\n" + wire.text() + "\r\n.\r\n";
    EXPECT_EQ(data.find("\r\n.\r\n"), data.size() - 5) << name;
    EXPECT_TRUE(onlyCrLf(wire.text())) << name;
    EXPECT_EQ(wire.text().find("\r\nRCPT"), std::string::npos);
  }
}

TEST(MessageStamp, DateAndMessageIdAreWellFormed) {
  EXPECT_EQ(rfc5322Date({2026, 12, 7, 4, 15, 30}, 3600), "Mon, 07 Dec 2026 04:15:30 +0100");
  EXPECT_EQ(rfc5322Date({2024, 2, 29, 23, 0, 5}, -(3 * 3600 + 30 * 60)),
            "Thu, 29 Feb 2024 23:00:05 -0330");
  EXPECT_EQ(rfc5322Date({2000, 1, 1, 0, 0, 0}, 0), "Sat, 01 Jan 2000 00:00:00 +0000");
  EXPECT_EQ(messageId({2026, 12, 7, 4, 15, 30}, 42, 3, 0xABC, "mail host_1.local."),
            "<20261207041530.42.3.0000000000000abc@mailhost1.local>");
  EXPECT_EQ(messageId({2026, 12, 7, 4, 15, 30}, 1, 1, 1, ""),
            "<20261207041530.1.1.0000000000000001@localhost>");

  MessageStamp first = messageStampNow();
  MessageStamp second = messageStampNow();
  std::regex date(
      R"((Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d [+-]\d{4})");
  std::regex id(R"(<[0-9a-f.]+@[A-Za-z0-9.-]+>)");
  EXPECT_TRUE(std::regex_match(first.date, date)) << first.date;
  EXPECT_TRUE(std::regex_match(first.messageId, id)) << first.messageId;
  EXPECT_NE(first.messageId, second.messageId);
}

}  // namespace
}  // namespace veltrum
