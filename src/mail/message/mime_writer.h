// Writes one e-mail message (header lines and a MIME 1.0 body) piece by
// piece into a sink; nothing is assembled in memory as a whole.
#pragma once

#include <string>

#include "mail/message/mail_body.h"
#include "mail/message/message_sink.h"
#include "mail/message/message_stamp.h"

namespace veltrum {

struct MailMessage {
  std::string from;
  std::string to;  // recipient fields separated by ";"
  std::string subject;
  MailBody body;
  std::string mailerName;       // value of "X-Mailer: "
  std::string bodyContentType;  // Content-Type of a single-part 7bit body
  std::string boundaryPrefix;   // first part of every multipart boundary
};

// The header section, then a single-part body, or, for a body with an HTML
// alternative, a multipart/mixed body with a plain and an HTML alternative.
// Every line ends with CR LF and each header line is a piece of its own.
// Sender and recipients go into one "From: ", "To: " and "Cc: " line each,
// folded when long; a subject or display name with bytes above 127 is
// written as encoded words, other values byte for byte. A text part with
// bytes above 127 or a line over 998 bytes is sent quoted-printable in the
// charset of its bytes, any other part as 7bit byte for byte. Pauses of
// 10 ms come before the header, after the header of a single-part body and
// after the alternative part of a multipart body.
void writeMessage(const MailMessage& message, const MessageStamp& stamp, MessageSink& sink);

}  // namespace veltrum
