// The access token of a mail login with XOAUTH2: asked once per run from the
// token endpoint with the application's own credentials (the client
// credentials grant), kept in memory only.
#pragma once

#include <functional>
#include <string>

namespace veltrum {

struct TokenRequest {
  std::string url;           // the token endpoint, https only
  std::string clientId;      // in the platform's encoding, as configured
  std::string clientSecret;  // in the platform's encoding, as configured
  std::string scope;         // may be empty: the endpoint's default then
  std::string caFile;        // trusted besides the system's store; may be empty
};

// What came of a token request. On failure `reason` says in German what went
// wrong, and `error` / `description` hold the endpoint's own "error" and the
// first line of its "error_description" when it sent them (in the
// platform's encoding, no control characters, not yet cut: see
// tokenFailureText).
struct TokenAnswer {
  bool obtained = false;
  std::string token;
  std::string reason;
  std::string error;
  std::string description;
};

// The status of a mail that was not sent because the run has no token.
constexpr int kTokenFailureStatus = -8;

// How long the whole request may take, and how long its answer may be.
constexpr int kTokenTimeoutSeconds = 15;
constexpr size_t kTokenAnswerLimit = 1024 * 1024;

// The form of the request, application/x-www-form-urlencoded: every value is
// turned into UTF-8 and every byte that is not a letter, digit or one of
// "-._~" written as %XX. The scope is left out when it is empty.
std::string tokenRequestForm(const std::string& clientId, const std::string& clientSecret,
                             const std::string& scope);

// `value` as it stands in such a form.
std::string formEncoded(const std::string& value);

// Reads the endpoint's answer: HTTP 200 and a JSON object whose
// "access_token" is a text of visible ASCII characters.
TokenAnswer readTokenAnswer(int httpStatus, const std::string& body);

// Posts the form to the endpoint and reads the answer.
TokenAnswer requestToken(const TokenRequest& request);

// The token for this run: the first call asks the endpoint, every later one
// gives the same answer (a failure too) without asking again.
const TokenAnswer& tokenForRun(const TokenRequest& request);

// Whether this run has asked for its token already.
bool runTokenAsked();

// Forgets the run's token and overwrites its bytes; for the end of a run.
void forgetRunToken();

// The report's text for a failed answer: the reason, then the endpoint's
// error and description where there are any, each passed through `mask`
// (which takes out the secrets it may quote) and then cut to 500
// characters and "...".
std::string tokenFailureText(
    const TokenAnswer& answer, const std::function<std::string(const std::string&)>& mask =
                                   [](const std::string& text) { return text; });

}  // namespace veltrum
