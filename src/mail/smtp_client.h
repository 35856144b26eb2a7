// The SMTP client: one connection at a time, program-wide state.
#pragma once

#include <string>

#include "mail/smtp_security.h"

namespace veltrum {

void initMailTransport();
void releaseMailTransport();

// With `security` other than None the connection is encrypted before any
// login or message is sent, or the mail fails with kTlsFailedStatus; the
// server's certificate is checked against the system's store, the
// certificates of `caFile` (may be empty) and the name `server`.
int openSmtpConnection(const std::string& server, int port,
                       SmtpSecurity security = SmtpSecurity::None, const std::string& caFile = "");
int sendMail(const std::string& to, const std::string& from, const std::string& subject,
             const std::string& body, const std::string& user, const std::string& password);
std::string lastServerMessage();
int closeSmtpConnection();

// Which step of setting up TLS failed on the last connection (None when none
// did), and the TLS library's short reason for it (may be empty).
TlsSetupFailure lastTlsFailure();
std::string lastTlsDetail();
// True while the open connection is encrypted.
bool connectionUsesTls();

}  // namespace veltrum
