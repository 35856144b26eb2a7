// The SMTP client: one connection at a time, program-wide state.
#pragma once

#include <string>

#include "mail/mail_body.h"

namespace veltrum {

void initMailTransport();
void releaseMailTransport();

int openSmtpConnection(const std::string& server, int port);
int sendMail(const std::string& to, const std::string& from, const std::string& subject,
             const MailBody& body, const std::string& user, const std::string& password);
std::string lastServerMessage();
int closeSmtpConnection();

}  // namespace veltrum
