// The SMTP client: one connection at a time, program-wide state.
#pragma once

#include <string>

namespace veltrum {

void initMailTransport();
void releaseMailTransport();

int openSmtpConnection(const std::string& server, int port);
int sendMail(const std::string& to, const std::string& from, const std::string& subject,
             const std::string& body, const std::string& user, const std::string& password);
// The same dialog, logging in with AUTH XOAUTH2 and the access token for
// `user` (the mailbox) instead of AUTH LOGIN; a refused token gives -5.
int sendMailWithToken(const std::string& to, const std::string& from, const std::string& subject,
                      const std::string& body, const std::string& user, const std::string& token);
std::string lastServerMessage();
// The "status" of the error a server sent with its refusal of the last
// token login (for example "400"); empty when it sent none.
std::string lastLoginErrorStatus();
int closeSmtpConnection();

}  // namespace veltrum
