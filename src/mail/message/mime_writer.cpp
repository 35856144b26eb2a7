#include "mail/message/mime_writer.h"

#include <vector>

#include "mail/message/addresses.h"
#include "mail/message/charset.h"
#include "mail/message/header_encoding.h"
#include "mail/message/mime_boundary.h"
#include "mail/message/quoted_printable.h"

namespace veltrum {

namespace {

constexpr int kPauseMilliseconds = 10;
const std::string kCrLf = "\r\n";

// Each line of a folded field is a piece of its own: a line end inside a
// piece would be taken for a line end inside a value.
void writeFolded(const std::string& line, MessageSink& sink) {
  for (const std::string& part : foldedLines(line)) sink.write(part + kCrLf);
}

void writeAddressField(const std::string& label, const std::vector<std::string>& addresses,
                       MessageSink& sink) {
  if (addresses.empty()) return;
  std::string line = label;
  for (size_t i = 0; i < addresses.size(); ++i) line += (i == 0 ? "" : ", ") + addresses[i];
  writeFolded(line, sink);
}

// A plain subject that fits into one line stays byte for byte. A longer one
// is folded at its blanks; a word that no line could hold goes out as
// encoded words, which a reader joins again.
void writeSubject(const std::string& subject, MessageSink& sink) {
  const std::string label = "Subject: ";
  if (hasEightBitBytes(subject)) {
    writeFolded(label + encodedWords(asOneLine(subject)), sink);
  } else if (label.size() + subject.size() <= kLongestLine) {
    sink.write(label + subject + kCrLf);
  } else {
    writeFolded(label + longWordsEncoded(asOneLine(subject), kLongestLine - label.size()), sink);
  }
}

void writeHeaderSection(const MailMessage& message, const MessageStamp& stamp, MessageSink& sink) {
  sink.pause(kPauseMilliseconds);
  writeFolded("From: " + fromHeaderValue(message.from), sink);
  HeaderRecipients recipients = headerRecipients(message.to);
  writeAddressField("To: ", recipients.to, sink);
  writeAddressField("Cc: ", recipients.cc, sink);
  writeSubject(message.subject, sink);
  sink.write("X-Mailer: " + message.mailerName + kCrLf);
  sink.write("MIME-Version: 1.0\r\n");
  sink.write("Date: " + stamp.date + kCrLf);
  sink.write("Message-ID: " + stamp.messageId + kCrLf);
}

void writeSinglePart(const MailMessage& message, MessageSink& sink) {
  const std::string& text = message.body.plain;
  const bool quoted = needsQuotedPrintable(text);
  if (quoted) {
    sink.write("Content-Type: text/plain; charset=\"" + charsetOf(text) + "\"" + kCrLf);
    sink.write("Content-Transfer-Encoding: quoted-printable\r\n");
  } else {
    sink.write("Content-Type: " + message.bodyContentType + kCrLf);
    sink.write("Content-Transfer-Encoding: 7bit\r\n");
  }
  sink.write(kCrLf);
  sink.pause(kPauseMilliseconds);
  sink.write((quoted ? quotedPrintable(text) : text) + kCrLf);
}

void writeTextPart(const std::string& type, const std::string& text, MessageSink& sink) {
  if (needsQuotedPrintable(text)) {
    sink.write("Content-Type: " + type + "; charset=" + charsetOf(text) + kCrLf);
    sink.write("Content-Transfer-Encoding: quoted-printable\r\n");
    sink.write(kCrLf);
    sink.write(quotedPrintable(text) + kCrLf);
  } else {
    sink.write("Content-Type: " + type + "; charset=iso-8859-1\r\n");
    sink.write("Content-Transfer-Encoding: 7bit\r\n");
    sink.write(kCrLf);
    sink.write(text + kCrLf);
  }
}

void writeMultipart(const MailMessage& message, MessageSink& sink) {
  const std::vector<std::string> contents = {message.body.plain, message.body.html};
  std::string mixed = boundaryNotIn(message.boundaryPrefix, contents);
  sink.write("Content-Type: multipart/mixed; boundary=\"" + mixed + "\"" + kCrLf);
  sink.write(kCrLf);
  sink.write("--" + mixed + kCrLf);
  std::string alternative = boundaryNotIn(message.boundaryPrefix + "Alt_", contents);
  sink.write("Content-Type: multipart/alternative; boundary=\"" + alternative + "\"" + kCrLf);
  sink.write(kCrLf);
  sink.write("--" + alternative + kCrLf);
  writeTextPart("text/plain", message.body.plain, sink);
  sink.write("--" + alternative + kCrLf);
  writeTextPart("text/html", message.body.html, sink);
  sink.write("--" + alternative + "--" + kCrLf);
  sink.pause(kPauseMilliseconds);
  sink.write("--" + mixed + "--\r\n");
}

}  // namespace

void writeMessage(const MailMessage& message, const MessageStamp& stamp, MessageSink& sink) {
  writeHeaderSection(message, stamp, sink);
  if (message.body.hasHtml) {
    writeMultipart(message, sink);
  } else {
    writeSinglePart(message, sink);
  }
}

}  // namespace veltrum
