#include "mail/mime_writer.h"

#include "base/date_value.h"
#include "mail/addresses.h"

namespace veltrum {

namespace {

constexpr int kPauseMilliseconds = 10;
const std::string kCrLf = "\r\n";

// Boundaries carry the current local date and time; each is formatted anew,
// so the alternative one may differ from the mixed one by a second.
std::string boundaryNow(const std::string& prefix) {
  return prefix + formatDate("%dd%mm%yyyy%hh%ii%ss", currentDate());
}

void writeHeaderSection(const MailMessage& message, const MessageStamp& stamp, MessageSink& sink) {
  sink.pause(kPauseMilliseconds);
  sink.write("From: " + fromHeaderValue(message.from) + kCrLf);
  for (const std::string& field : recipientFields(message.to)) {
    std::string line = recipientHeaderLine(trimBlanks(field));
    if (!line.empty()) sink.write(line + kCrLf);
  }
  sink.write("Subject: " + message.subject + kCrLf);
  sink.write("X-Mailer: " + message.mailerName + kCrLf);
  sink.write("MIME-Version: 1.0\r\n");
  sink.write("Date: " + stamp.date + kCrLf);
  sink.write("Message-ID: " + stamp.messageId + kCrLf);
}

void writeSinglePart(const MailMessage& message, MessageSink& sink) {
  sink.write("Content-Type: " + message.bodyContentType + kCrLf);
  sink.write("Content-Transfer-Encoding: 7bit\r\n");
  sink.write(kCrLf);
  sink.pause(kPauseMilliseconds);
  sink.write(message.body + kCrLf);
}

void writeTextPart(const std::string& type, const std::string& text, MessageSink& sink) {
  sink.write("Content-Type: " + type + "; charset=iso-8859-1\r\n");
  sink.write("Content-Transfer-Encoding: 7bit\r\n");
  sink.write(kCrLf);
  sink.write(text + kCrLf);
}

void writeMultipart(const MailMessage& message, size_t htmlStart, MessageSink& sink) {
  std::string mixed = boundaryNow(message.boundaryPrefix);
  sink.write("Content-Type: multipart/mixed; boundary=\"" + mixed + "\"" + kCrLf);
  sink.write(kCrLf);
  sink.write("--" + mixed + kCrLf);
  std::string alternative = boundaryNow(message.boundaryPrefix + "Alt_");
  sink.write("Content-Type: multipart/alternative; boundary=\"" + alternative + "\"" + kCrLf);
  sink.write(kCrLf);
  sink.write("--" + alternative + kCrLf);
  writeTextPart("text/plain", message.body.substr(0, htmlStart), sink);
  sink.write("--" + alternative + kCrLf);
  writeTextPart("text/html", message.body.substr(htmlStart), sink);
  sink.write("--" + alternative + "--" + kCrLf);
  sink.pause(kPauseMilliseconds);
  sink.write("--" + mixed + "--\r\n");
}

}  // namespace

void writeMessage(const MailMessage& message, const MessageStamp& stamp, MessageSink& sink) {
  writeHeaderSection(message, stamp, sink);
  size_t htmlStart = message.body.find("<html>");
  if (htmlStart == std::string::npos) {
    writeSinglePart(message, sink);
  } else {
    writeMultipart(message, htmlStart, sink);
  }
}

}  // namespace veltrum
