#include "mail/smtp_client.h"

namespace veltrum {

void initMailTransport() {}
void releaseMailTransport() {}
int openSmtpConnection(const std::string&, int) { return -2; }
int sendMail(const std::string&, const std::string&, const std::string&, const std::string&,
             const std::string&, const std::string&) {
  return -2;
}
std::string lastServerMessage() { return ""; }
int closeSmtpConnection() { return -2; }

}  // namespace veltrum
