#include "mail/smtp/mail_login.h"

#include "base/text.h"
#include "mail/smtp/smtp_security.h"

namespace veltrum {

namespace {

std::string asciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool startsWithHttps(const std::string& url) {
  return asciiLower(url.substr(0, 8)) == "https://" && url.size() > 8;
}

}  // namespace

MailAuth mailAuthOf(const std::string& value) {
  std::string lower = asciiLower(value);
  if (lower.empty() || lower == "login") return MailAuth::Login;
  if (lower == "xoauth2") return MailAuth::XOAuth2;
  return MailAuth::Unknown;
}

std::string mailLoginProblem(const RunSettings& settings) {
  const std::string prefix = "Check-mail: ";
  switch (mailAuthOf(settings.mailAuth)) {
    case MailAuth::Login:
      return "";
    case MailAuth::Unknown:
      return prefix + nativeText("Unbekannter Wert für Mail_Auth: ") + settings.mailAuth +
             " (erlaubt: login, xoauth2)";
    case MailAuth::XOAuth2:
      break;
  }
  SmtpSecurity security = SmtpSecurity::None;
  if (!smtpSecurityFromText(settings.mailSecurity, security) || security == SmtpSecurity::None) {
    return prefix + "Mail_Auth xoauth2 verlangt Mail_Security starttls oder tls";
  }
  if (!startsWithHttps(settings.mailOAuthTokenUrl)) {
    return prefix +
           "Mail_OAuthTokenURL muss eine https-Adresse sein: " + settings.mailOAuthTokenUrl;
  }
  if (settings.mailOAuthClientId.empty()) {
    return prefix + nativeText("Mail_OAuthClientId fehlt für xoauth2");
  }
  if (settings.mailPassword.empty()) {
    return prefix + nativeText("Mail_Password (Client-Secret) fehlt für xoauth2");
  }
  if (settings.mailUser.empty()) {
    return prefix + nativeText("Mail_User (Postfach) fehlt für xoauth2");
  }
  return "";
}

TokenRequest tokenRequestOf(const RunSettings& settings) {
  return {settings.mailOAuthTokenUrl, settings.mailOAuthClientId, settings.mailPassword,
          settings.mailOAuthScope, settings.mailCaFile};
}

}  // namespace veltrum
