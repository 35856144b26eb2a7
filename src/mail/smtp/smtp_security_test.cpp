#include "mail/smtp/smtp_security.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

TEST(SmtpSecurity, ValuesInAnyLetterCase) {
  const struct {
    const char* text;
    bool known;
    SmtpSecurity security;
  } cases[] = {
      {"", true, SmtpSecurity::None},
      {"none", true, SmtpSecurity::None},
      {" NONE ", true, SmtpSecurity::None},
      {"starttls", true, SmtpSecurity::StartTls},
      {"StartTLS", true, SmtpSecurity::StartTls},
      {"tls", true, SmtpSecurity::Tls},
      {"TLS", true, SmtpSecurity::Tls},
      {"ssl", false, SmtpSecurity::None},
      {"start tls", false, SmtpSecurity::None},
      {"tls1.2", false, SmtpSecurity::None},
      {"yes", false, SmtpSecurity::None},
      {"\xe4tls", false, SmtpSecurity::None},
  };
  for (const auto& test : cases) {
    SmtpSecurity security = SmtpSecurity::None;
    EXPECT_EQ(smtpSecurityFromText(test.text, security), test.known) << test.text;
    if (test.known) {
      EXPECT_EQ(security, test.security) << test.text;
    }
  }
}

}  // namespace
}  // namespace veltrum
