#include "mail/smtp/mail_login.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/core/text_encoding.h"

namespace veltrum {
namespace {

TEST(MailAuth, ValuesWithoutRegardToCase) {
  EXPECT_EQ(mailAuthOf(""), MailAuth::Login);
  EXPECT_EQ(mailAuthOf("LOGIN"), MailAuth::Login);
  EXPECT_EQ(mailAuthOf("XOAuth2"), MailAuth::XOAuth2);
  EXPECT_EQ(mailAuthOf("oauth2"), MailAuth::Unknown);
  EXPECT_EQ(mailAuthOf("xoauth2 "), MailAuth::Unknown);  // the reader trims; nothing else does
}

RunSettings tokenSettings() {
  RunSettings settings;
  settings.mailAuth = "xoauth2";
  settings.mailSecurity = "starttls";
  settings.mailOAuthTokenUrl = "https://login.example.com/tenant/oauth2/v2.0/token";
  settings.mailOAuthClientId = "3f2a";
  settings.mailPassword = "secret";
  settings.mailUser = "box@example.com";
  return settings;
}

TEST(MailLoginProblem, EachMissingPieceNamedBeforeAnyConnection) {
  // Windows-1252 texts, as the Windows build holds them.
  const ScopedTextEncoding windows(TextEncoding::windows1252);
  struct Case {
    void (*change)(RunSettings&);
    std::string problem;
  };
  const Case cases[] = {
      {[](RunSettings&) {}, ""},
      {[](RunSettings& s) { s.mailSecurity = "TLS"; }, ""},
      {[](RunSettings& s) { s.mailOAuthTokenUrl = "HTTPS://login.example.com/t"; }, ""},
      {[](RunSettings& s) { s.mailOAuthScope = ""; }, ""},
      {[](RunSettings& s) { s.mailAuth = "plain"; },
       "Check-mail: Unbekannter Wert f\xFCr Mail_Auth: plain (erlaubt: login, xoauth2)"},
      {[](RunSettings& s) { s.mailSecurity = ""; },
       "Check-mail: Mail_Auth xoauth2 verlangt Mail_Security starttls oder tls"},
      {[](RunSettings& s) { s.mailSecurity = "none"; },
       "Check-mail: Mail_Auth xoauth2 verlangt Mail_Security starttls oder tls"},
      {[](RunSettings& s) { s.mailOAuthTokenUrl = "http://login.example.com/t"; },
       "Check-mail: Mail_OAuthTokenURL muss eine https-Adresse sein: http://login.example.com/t"},
      {[](RunSettings& s) { s.mailOAuthTokenUrl = "https://"; },
       "Check-mail: Mail_OAuthTokenURL muss eine https-Adresse sein: https://"},
      {[](RunSettings& s) { s.mailOAuthTokenUrl = ""; },
       "Check-mail: Mail_OAuthTokenURL muss eine https-Adresse sein: "},
      {[](RunSettings& s) { s.mailOAuthClientId = ""; },
       "Check-mail: Mail_OAuthClientId fehlt f\xFCr xoauth2"},
      {[](RunSettings& s) { s.mailPassword = ""; },
       "Check-mail: Mail_Password (Client-Secret) fehlt f\xFCr xoauth2"},
      {[](RunSettings& s) { s.mailUser = ""; },
       "Check-mail: Mail_User (Postfach) fehlt f\xFCr xoauth2"},
  };
  for (const Case& test : cases) {
    RunSettings settings = tokenSettings();
    test.change(settings);
    EXPECT_EQ(mailLoginProblem(settings), test.problem);
  }
  // The password login asks nothing of the new keys.
  RunSettings login;
  login.mailOAuthTokenUrl = "http://ignored";
  EXPECT_EQ(mailLoginProblem(login), "");
}

}  // namespace
}  // namespace veltrum
