#include "mail/smtp/smtp_security.h"

#include <cctype>

#include "mail/message/addresses.h"

namespace veltrum {

bool smtpSecurityFromText(const std::string& text, SmtpSecurity& security) {
  std::string value = trimBlanks(text);
  for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (value.empty() || value == "none") {
    security = SmtpSecurity::None;
  } else if (value == "starttls") {
    security = SmtpSecurity::StartTls;
  } else if (value == "tls") {
    security = SmtpSecurity::Tls;
  } else {
    return false;
  }
  return true;
}

}  // namespace veltrum
