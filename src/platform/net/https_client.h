// One HTTPS request: a form posted to a URL, for the token of a mail login.
// libcurl on POSIX, WinHTTP on Windows; the mail code sees only this header.
//
// The server's certificate is always verified (a chain to the system's trust
// store or to a certificate of the CA file, and the host name of the URL);
// there is no way to turn that off. A proxy is taken from the platform's
// usual place (POSIX: the https_proxy variable; Windows: the system's proxy
// settings). Redirects are not followed: the form holds a secret, and a
// redirect could carry it to another host.
#pragma once

#include <cstddef>
#include <string>

namespace veltrum {

struct HttpsPost {
  std::string url;          // must start with "https://"
  std::string formBody;     // application/x-www-form-urlencoded, already encoded
  std::string caFile;       // PEM certificates trusted besides the system's store; may be empty
  int timeoutSeconds = 15;  // the whole request, from resolving to the last byte
  size_t maxResponseBytes = 64 * 1024;  // a longer answer is a failure
};

// Which step of the request failed.
enum class HttpsStep {
  None,
  Url,          // not an https URL, or one the client cannot read
  TrustStore,   // the CA file or the system's store could not be loaded
  Connect,      // name not resolved, proxy not reached, connection refused
  Handshake,    // no TLS peer, a protocol below TLS 1.2, garbage instead of records
  Certificate,  // the chain does not end in a trusted certificate, or the
                // certificate does not name the host
  Timeout,      // the request did not finish within the time limit
  TooLarge,     // the answer is longer than allowed
  Transfer,     // the connection broke, or the answer is not HTTP
};

struct HttpsResult {
  HttpsStep failedStep = HttpsStep::None;
  // The library's own short reason for a failure (one line, never a secret);
  // may be empty.
  std::string detail;
  int httpStatus = 0;  // when the request went through
  std::string body;    // when the request went through
};

// Posts `request.formBody` to `request.url` with TLS 1.2 or later and waits for
// the whole answer. Any HTTP status counts as an answer; failedStep says
// whether there was one.
HttpsResult httpsPostForm(const HttpsPost& request);

}  // namespace veltrum
