// How the mail client logs in: AUTH LOGIN with the account's password (the
// default), or XOAUTH2 with an access token asked from a token endpoint.
#pragma once

#include <string>

#include "base/run_settings.h"
#include "mail/smtp/oauth_token.h"

namespace veltrum {

enum class MailAuth { Login, XOAuth2, Unknown };

// Mail_Auth as configured: empty or "login", "xoauth2"; letter case ignored.
MailAuth mailAuthOf(const std::string& value);

// The pre-check's ERR text when the login settings do not fit together, or
// the empty text when they do. AUTH LOGIN asks nothing beyond the existing
// checks; XOAUTH2 wants TLS (a bearer token never travels in the clear), an
// https token endpoint, a client id, the client secret in Mail_Password and
// the mailbox in Mail_User.
std::string mailLoginProblem(const RunSettings& settings);

// The token endpoint's request for this run's settings.
TokenRequest tokenRequestOf(const RunSettings& settings);

}  // namespace veltrum
