#include "mail/smtp/oauth_token.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "base/outside_text.h"
#include "base/text.h"
#include "platform/net/https_client.h"

namespace veltrum {

namespace {

// A hostile endpoint must not fill the log with one endless line.
constexpr size_t kQuotedLimit = 500;

struct RunToken {
  bool asked = false;
  TokenAnswer answer;
};

RunToken runToken;

bool unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

std::string cutQuoted(std::string text) {
  if (text.size() > kQuotedLimit) text = cutText(text, kQuotedLimit) + "...";
  return text;
}

// A text of the endpoint for the log: its first line, in the platform's
// encoding, with no control character left. It is cut only for the report,
// after the secrets it may quote are masked: cut first, a secret across the
// cut would leave its first characters behind.
std::string quotedText(const std::string& utf8) {
  const std::string line = utf8.substr(0, utf8.find_first_of("\r\n"));
  std::string text;
  if (platformTextEncoding() == TextEncoding::utf8) {
    text = shownText(line);
  } else {
    // Windows has always blanked the controls of the Latin-1 text here.
    text = utf8ToLatin1(line);
    for (char& c : text) {
      unsigned char byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte == 0x7F) c = ' ';
    }
  }
  return text;
}

// Visible ASCII only: a CR or LF could start a command of its own on the
// mail connection, and a 0x01 would end the login text early.
bool usableToken(const std::string& token) {
  if (token.empty()) return false;
  for (char c : token) {
    if (c < 0x21 || c > 0x7E) return false;
  }
  return true;
}

TokenAnswer failed(std::string reason) {
  TokenAnswer answer;
  answer.reason = std::move(reason);
  return answer;
}

std::string textMember(const nlohmann::json& object, const char* name) {
  auto member = object.find(name);
  if (member == object.end() || !member->is_string()) return "";
  return quotedText(member->get<std::string>());
}

std::string reasonOf(const HttpsResult& result) {
  // The library's own words: no secret is in them.
  std::string detail =
      result.detail.empty() ? "" : " (" + cutQuoted(quotedText(result.detail)) + ")";
  switch (result.failedStep) {
    case HttpsStep::Url:
      return nativeText("Adresse ungültig") + detail;
    case HttpsStep::TrustStore:
      return "Zertifikate aus Mail_CAFile konnten nicht geladen werden" + detail;
    case HttpsStep::Connect:
      return "Verbindung fehlgeschlagen" + detail;
    case HttpsStep::Handshake:
      return "TLS-Aufbau fehlgeschlagen" + detail;
    case HttpsStep::Certificate:
      return nativeText("Zertifikat nicht vertrauenswürdig") + detail;
    case HttpsStep::Timeout:
      return nativeText("keine vollständige Antwort innerhalb von ") +
             std::to_string(kTokenTimeoutSeconds) + " Sekunden";
    case HttpsStep::TooLarge:
      return nativeText("Antwort länger als ") + std::to_string(kTokenAnswerLimit) + " Bytes";
    case HttpsStep::Transfer:
    case HttpsStep::None:
      break;
  }
  return nativeText("Übertragung abgebrochen") + detail;
}

}  // namespace

std::string formEncoded(const std::string& value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (char c : utf8Of(value)) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (unreserved(byte)) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    }
  }
  return encoded;
}

std::string tokenRequestForm(const std::string& clientId, const std::string& clientSecret,
                             const std::string& scope) {
  std::string form = "grant_type=client_credentials&client_id=" + formEncoded(clientId) +
                     "&client_secret=" + formEncoded(clientSecret);
  if (!scope.empty()) form += "&scope=" + formEncoded(scope);
  return form;
}

TokenAnswer readTokenAnswer(int httpStatus, const std::string& body) {
  // No exceptions: a body that is not JSON gives a discarded value.
  nlohmann::json json = nlohmann::json::parse(body, nullptr, false);
  bool isObject = !json.is_discarded() && json.is_object();
  if (httpStatus != 200) {
    TokenAnswer answer = failed("HTTP-Status " + std::to_string(httpStatus));
    if (isObject) {
      answer.error = textMember(json, "error");
      answer.description = textMember(json, "error_description");
    }
    return answer;
  }
  if (json.is_discarded()) return failed("Antwort ist kein JSON");
  if (!isObject) return failed("JSON-Antwort ist kein Objekt");
  auto token = json.find("access_token");
  if (token == json.end()) return failed("Antwort ohne access_token");
  if (!token->is_string()) return failed("access_token ist kein Text");
  TokenAnswer answer;
  answer.token = token->get<std::string>();
  if (!usableToken(answer.token)) {
    answer.token.assign(answer.token.size(), '\0');
    return failed(nativeText("access_token enthält unzulässige Zeichen"));
  }
  answer.obtained = true;
  return answer;
}

TokenAnswer requestToken(const TokenRequest& request) {
  HttpsPost post;
  post.url = request.url;
  post.formBody = tokenRequestForm(request.clientId, request.clientSecret, request.scope);
  post.caFile = request.caFile;
  post.timeoutSeconds = kTokenTimeoutSeconds;
  post.maxResponseBytes = kTokenAnswerLimit;
  HttpsResult result = httpsPostForm(post);
  post.formBody.assign(post.formBody.size(), '\0');  // it holds the secret
  if (result.failedStep != HttpsStep::None) return failed(reasonOf(result));
  TokenAnswer answer = readTokenAnswer(result.httpStatus, result.body);
  result.body.assign(result.body.size(), '\0');
  return answer;
}

const TokenAnswer& tokenForRun(const TokenRequest& request) {
  if (!runToken.asked) {
    runToken.answer = requestToken(request);
    runToken.asked = true;
  }
  return runToken.answer;
}

bool runTokenAsked() {
  return runToken.asked;
}

// Runs in the clean-up at the end of a run, which a stop signal may start:
// the bytes are overwritten in place, nothing is allocated or freed.
void forgetRunToken() {
  std::fill(runToken.answer.token.begin(), runToken.answer.token.end(), '\0');
  runToken.answer.obtained = false;
  runToken.asked = false;
}

std::string tokenFailureText(const TokenAnswer& answer,
                             const std::function<std::string(const std::string&)>& mask) {
  std::string text = answer.reason;
  if (!answer.error.empty()) text += ", error: " + cutQuoted(mask(answer.error));
  if (!answer.description.empty()) {
    text += ", error_description: " + cutQuoted(mask(answer.description));
  }
  return text;
}

}  // namespace veltrum
