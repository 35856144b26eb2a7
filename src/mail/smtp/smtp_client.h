// The SMTP client: one connection at a time, program-wide state.
#pragma once

#include <string>

#include <vector>

#include "mail/message/mail_body.h"
#include "mail/smtp/smtp_recipients.h"
#include "mail/smtp/smtp_security.h"

namespace veltrum {

void initMailTransport();
void releaseMailTransport();

// With `security` other than None the connection is encrypted before any
// login or message is sent, or the mail fails with kTlsFailedStatus; the
// server's certificate is checked against the system's store, the
// certificates of `caFile` (may be empty) and the name `server`.
int openSmtpConnection(const std::string& server, int port,
                       SmtpSecurity security = SmtpSecurity::None, const std::string& caFile = "");
// The name sent after HELO/EHLO and as the right side of the Message-ID
// from now on; empty gives "Mailwerk" again. X-Mailer stays "Mailwerk".
void setGreetingName(const std::string& name);
int sendMail(const std::string& to, const std::string& from, const std::string& subject,
             const MailBody& body, const std::string& user, const std::string& password);
// The same dialog, logging in with AUTH XOAUTH2 and the access token for
// `user` (the mailbox) instead of AUTH LOGIN; a refused token gives -5.
int sendMailWithToken(const std::string& to, const std::string& from, const std::string& subject,
                      const MailBody& body, const std::string& user, const std::string& token);
std::string lastServerMessage();

// The recipients the server refused in the last sendMail, in order. The mail
// went to the others; with none taken it failed with status 0.
const std::vector<RecipientRefusal>& lastRecipientRefusals();

// What kept the last open from getting a line from a server; None when a
// line came (or the open succeeded). The line of an earlier connection is
// never kept: every open starts without one.
enum class OpenProblem {
  None,
  NameNotResolved,
  Refused,
  Unreachable,
  TimedOut,     // no connection, or no greeting, within the reply time limit
  ClosedEarly,  // the server closed the connection without a line
  Failed,
};
OpenProblem lastOpenProblem();
// The "status" of the error a server sent with its refusal of the last
// token login (for example "400"); empty when it sent none.
std::string lastLoginErrorStatus();
int closeSmtpConnection();

// Which step of setting up TLS failed on the last connection (None when none
// did), and the TLS library's short reason for it (may be empty).
TlsSetupFailure lastTlsFailure();
std::string lastTlsDetail();
// True while the open connection is encrypted.
bool connectionUsesTls();

}  // namespace veltrum
