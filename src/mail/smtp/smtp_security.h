// Whether and how the mail connection is encrypted, and which step of
// setting up the encryption failed.
#pragma once

#include <string>

namespace veltrum {

enum class SmtpSecurity {
  None,      // the plain dialog
  StartTls,  // EHLO, STARTTLS, the handshake, then EHLO again inside TLS
  Tls,       // the handshake right after the connection is made
};

// "none" (or nothing), "starttls", "tls", in any letter case and with
// blanks around; false for any other text.
bool smtpSecurityFromText(const std::string& text, SmtpSecurity& security);

enum class TlsSetupFailure {
  None,
  NotOffered,   // the EHLO reply lists no STARTTLS (or EHLO was refused)
  Refused,      // STARTTLS was answered with anything but 220
  Handshake,    // no TLS peer, an old protocol, garbage, closed or silent
  Certificate,  // not trusted, expired, or issued for another name
  TrustStore,   // the CA file could not be loaded
};

// The status of every mail that failed because TLS could not be had.
constexpr int kTlsFailedStatus = -7;

}  // namespace veltrum
