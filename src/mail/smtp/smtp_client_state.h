// The state of the SMTP client shared by its two halves: the connection
// (smtp_session.cpp: open, close, what the last one left) and the dialog of
// one mail (smtp_client.cpp). Private to src/mail/.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mail/smtp/smtp_client.h"
#include "mail/smtp/smtp_connection.h"

namespace veltrum {

constexpr int kReceiveBufferSize = 5000;

struct SmtpClientState {
  SmtpConnection link;
  bool networkStarted = false;
  std::unique_ptr<char[]> receiveBuffer;
  std::string lastMessage;
  int replyTimeoutSeconds = 15;
  std::string mailerName;
  std::string greetingName;  // set by setGreetingName; empty: from mailerName
  std::string bodyContentType;
  std::string boundaryPrefix;
  // How the connection is to be secured, and what its certificate must name.
  SmtpSecurity security = SmtpSecurity::None;
  std::string serverName;
  std::string caFile;
  TlsSetupFailure tlsFailure = TlsSetupFailure::None;
  std::string tlsDetail;
  OpenProblem openProblem = OpenProblem::None;
  std::vector<RecipientRefusal> refusals;  // of the last mail
};

// The one client of the program.
SmtpClientState& clientState();

void dropConnection();
void sendText(const std::string& text);
// Closes the connection and gives `status`.
int releaseWith(int status);
// Now plus the reply time limit, on the deadline clock.
int64_t replyDeadline();
// Reads one whole reply until `deadline`. The last line that arrived becomes
// the server message; a wait in which nothing arrived keeps the one before.
ReplyEnd readReply(ReplyCollector& reply, int64_t deadline);
// Runs the handshake on the open connection; false with the failure kept.
bool startEncryption();
// Bytes that came with or after the "220" to STARTTLS were not asked for:
// read as replies later, they would be an attacker's words inside TLS.
void discardUnaskedBytes();

}  // namespace veltrum
