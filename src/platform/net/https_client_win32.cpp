#include <windows.h>
//
#include <wincrypt.h>
#include <winhttp.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/clock.h"
#include "platform/net/certificate_trust_win32.h"
#include "platform/net/https_client.h"

namespace veltrum {

namespace {

// Closes a WinHTTP handle when the request is done with it.
struct Handle {
  HINTERNET value = nullptr;
  Handle() = default;
  explicit Handle(HINTERNET handle) : value(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (value != nullptr) WinHttpCloseHandle(value);
  }
};

struct Store {
  HCERTSTORE value = nullptr;
  ~Store() {
    if (value != nullptr) CertCloseStore(value, 0);
  }
};

// Texts of the configuration are Windows-1252, whatever the system's code page.
std::wstring wide(const std::string& text) {
  if (text.empty()) return L"";
  int length = MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
  return result;
}

std::string narrow(const std::wstring& text) {
  std::string result;
  for (wchar_t c : text) result += c < 0x80 ? static_cast<char>(c) : '?';
  return result;
}

HttpsResult failure(HttpsStep step, std::string detail = "") {
  HttpsResult result;
  result.failedStep = step;
  result.detail = std::move(detail);
  return result;
}

HttpsStep stepOf(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT:  // Wine's WinHTTP passes the socket's own error on
      return HttpsStep::Timeout;
    case ERROR_WINHTTP_INVALID_URL:
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
      return HttpsStep::Url;
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return HttpsStep::Connect;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
      return HttpsStep::Handshake;
    default:
      return HttpsStep::Transfer;
  }
}

HttpsResult lastFailure() {
  DWORD error = GetLastError();
  return failure(stepOf(error), "WinHTTP " + std::to_string(error));
}

// The whole request shares one deadline: before each step that may wait, the
// handle's limits are set to the time that is left.
class Deadline {
 public:
  explicit Deadline(int seconds)
      : end_(monotonicMilliseconds() + static_cast<int64_t>(seconds) * 1000) {}
  int64_t left() const { return end_ - monotonicMilliseconds(); }
  // False when no time is left.
  bool limit(HINTERNET handle) const {
    int64_t left = end_ - monotonicMilliseconds();
    if (left <= 0) return false;
    int ms = static_cast<int>(left);
    DWORD receive = static_cast<DWORD>(ms);
    WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receive, sizeof receive);
    return WinHttpSetTimeouts(handle, ms, ms, ms, ms) != FALSE;
  }

 private:
  int64_t end_;
};

// The system's proxy settings; where the automatic kind is not known (before
// Windows 8.1), the one configured for WinHTTP.
HINTERNET openSession() {
  HINTERNET session = WinHttpOpen(L"Veltrum", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                  WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  if (session == nullptr) {
    session = WinHttpOpen(L"Veltrum", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                          WINHTTP_NO_PROXY_BYPASS, 0);
  }
  if (session != nullptr) {
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
      protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;  // a system without TLS 1.3
      WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
    }
  }
  return session;
}

// WinHTTP's own check knows only the system's roots; it is switched off and
// the certificate checked here instead, before the form (and so the secret)
// goes out, with the CA file's certificates as further anchors.
void takeVerificationOver(HINTERNET request) {
  DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
  WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
  DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects);
}

HttpsResult verifyPeer(HINTERNET request, const std::string& host, HCERTSTORE anchors,
                       const Deadline& deadline) {
  PCCERT_CONTEXT certificate = nullptr;
  DWORD size = sizeof certificate;
  if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &certificate, &size) ||
      certificate == nullptr) {
    return failure(HttpsStep::Handshake, "no server certificate");
  }
  std::string detail;
  // Fetching missing roots or issuers counts against the same deadline.
  int fetch = static_cast<int>(deadline.left() > 0 ? deadline.left() : 0);
  TrustVerdict verdict = verifyServerCertificate(certificate, host, anchors, fetch, detail);
  CertFreeCertificateContext(certificate);
  if (verdict != TrustVerdict::Trusted) return failure(HttpsStep::Certificate, detail);
  return HttpsResult();
}

// Reads the answer up to the limit; a longer one is a failure.
HttpsResult readAnswer(HINTERNET request, const HttpsPost& post, const Deadline& deadline) {
  HttpsResult result;
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return lastFailure();
  }
  DWORD announced = 0;
  size = sizeof announced;
  if (WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &announced, &size,
                          WINHTTP_NO_HEADER_INDEX) &&
      announced > post.maxResponseBytes) {
    return failure(HttpsStep::TooLarge);
  }
  char buffer[16384];
  for (;;) {
    if (!deadline.limit(request)) return failure(HttpsStep::Timeout);
    DWORD read = 0;
    if (!WinHttpReadData(request, buffer, sizeof buffer, &read)) return lastFailure();
    if (read == 0) break;
    if (result.body.size() + read > post.maxResponseBytes) return failure(HttpsStep::TooLarge);
    result.body.append(buffer, read);
  }
  result.httpStatus = static_cast<int>(status);
  return result;
}

struct Target {
  std::wstring host;
  std::wstring path;
  INTERNET_PORT port = 0;
};

bool crack(const std::wstring& url, Target& target) {
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTPS || parts.dwHostNameLength == 0) return false;
  target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  target.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo != nullptr)
    target.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (target.path.empty()) target.path = L"/";
  target.port = parts.nPort;
  return true;
}

HttpsResult postOnce(const HttpsPost& post) {
  Deadline deadline(post.timeoutSeconds);
  Target target;
  if (_strnicmp(post.url.c_str(), "https://", 8) != 0 || !crack(wide(post.url), target)) {
    return failure(HttpsStep::Url);
  }
  Store anchors;
  if (!post.caFile.empty()) {
    std::string detail;
    anchors.value = loadPemCertificates(post.caFile, detail);
    if (anchors.value == nullptr) return failure(HttpsStep::TrustStore, detail);
  }
  Handle session(openSession());
  if (session.value == nullptr) return lastFailure();
  Handle connection(WinHttpConnect(session.value, target.host.c_str(), target.port, 0));
  if (connection.value == nullptr) return lastFailure();
  const wchar_t* accept[] = {L"application/json", nullptr};
  Handle request(WinHttpOpenRequest(connection.value, L"POST", target.path.c_str(), nullptr,
                                    WINHTTP_NO_REFERER, accept, WINHTTP_FLAG_SECURE));
  if (request.value == nullptr) return lastFailure();
  takeVerificationOver(request.value);

  // The headers go out first, so that the certificate can be checked before
  // the form with the secret follows.
  const wchar_t* headers = L"Content-Type: application/x-www-form-urlencoded\r\n";
  DWORD length = static_cast<DWORD>(post.formBody.size());
  if (!deadline.limit(request.value)) return failure(HttpsStep::Timeout);
  if (!WinHttpSendRequest(request.value, headers, static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA,
                          0, length, 0)) {
    return lastFailure();
  }
  HttpsResult trusted = verifyPeer(request.value, narrow(target.host), anchors.value, deadline);
  if (trusted.failedStep != HttpsStep::None) return trusted;
  DWORD written = 0;
  if (!deadline.limit(request.value)) return failure(HttpsStep::Timeout);
  if (!WinHttpWriteData(request.value, post.formBody.data(), length, &written) ||
      written != length) {
    return lastFailure();
  }
  if (!deadline.limit(request.value)) return failure(HttpsStep::Timeout);
  if (!WinHttpReceiveResponse(request.value, nullptr)) return lastFailure();
  return readAnswer(request.value, post, deadline);
}

// What the request's own thread works on; shared, since the thread may
// outlive the wait for it.
struct Job {
  HttpsPost post;
  HttpsResult result;
};

DWORD WINAPI runJob(void* context) {
  std::unique_ptr<std::shared_ptr<Job>> holder(static_cast<std::shared_ptr<Job>*>(context));
  std::shared_ptr<Job> job = *holder;
  job->result = postOnce(job->post);
  return 0;
}

}  // namespace

// The limits set on WinHTTP bound each step, but not every WinHTTP bounds the
// whole (Wine's waits for headers that trickle in for as long as they come).
// So the request runs in a thread of its own, and a thread that is not done
// in time is left to finish by itself: nothing waits for it, and the run
// treats the request as failed.
HttpsResult httpsPostForm(const HttpsPost& post) {
  auto job = std::make_shared<Job>();
  job->post = post;
  auto* context = new std::shared_ptr<Job>(job);
  HANDLE thread = CreateThread(nullptr, 0, runJob, context, 0, nullptr);
  if (thread == nullptr) {
    delete context;
    return postOnce(post);
  }
  const DWORD grace = 500;  // the thread's own limits usually end it first
  DWORD waited =
      WaitForSingleObject(thread, static_cast<DWORD>(post.timeoutSeconds) * 1000 + grace);
  CloseHandle(thread);
  if (waited != WAIT_OBJECT_0) return failure(HttpsStep::Timeout);
  return job->result;
}

}  // namespace veltrum
