// Writes one e-mail message (header lines and a MIME 1.0 body) piece by
// piece into a sink; nothing is assembled in memory as a whole.
#pragma once

#include <string>

#include "mail/message_sink.h"
#include "mail/message_stamp.h"

namespace veltrum {

struct MailMessage {
  std::string from;
  std::string to;  // recipient fields separated by ";"
  std::string subject;
  std::string body;
  std::string mailerName;       // value of "X-Mailer: "
  std::string bodyContentType;  // Content-Type of a single-part body
  std::string boundaryPrefix;   // first part of every multipart boundary
};

// The header section, then a single-part body, or, when the body holds
// "<html>" (exact case), a multipart/mixed body with a plain and an HTML
// alternative. Every line ends with CR LF; values and body go out byte for
// byte. Pauses of 10 ms come before the header, after the header of a
// single-part body and after the alternative part of a multipart body.
void writeMessage(const MailMessage& message, const MessageStamp& stamp, MessageSink& sink);

}  // namespace veltrum
