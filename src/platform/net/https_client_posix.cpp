// libcurl is loaded only by a run that asks for a token: linked in, it and
// the thirty libraries it draws in made every start of the program about
// three times slower. Its header gives the types and constants only.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>
#include <strings.h>

#include <memory>
#include <vector>

#include "platform/net/https_client.h"
#include "platform/net/ssl_library_posix.h"

namespace veltrum {

namespace {

struct CertificateFree {
  void operator()(X509* certificate) const { sslLibrary()->X509_free(certificate); }
};
using Certificate = std::unique_ptr<X509, CertificateFree>;
using Certificates = std::vector<Certificate>;

// The PEM certificates of `path`; none when it holds none, cannot be read,
// or OpenSSL is not there.
Certificates readCertificates(const std::string& path) {
  Certificates list;
  const SslLibrary* ssl = sslLibrary();
  if (ssl == nullptr) return list;
  BIO* file = ssl->BIO_new_file(path.c_str(), "r");
  if (file == nullptr) return list;
  while (X509* certificate = ssl->PEM_read_bio_X509(file, nullptr, nullptr, nullptr)) {
    list.emplace_back(certificate);
  }
  ssl->BIO_free(file);
  ssl->ERR_clear_error();  // the end of the file reads as an error
  return list;
}

// The functions of libcurl this client calls, from the loaded library.
struct Curl {
  decltype(&::curl_global_init) globalInit = nullptr;
  decltype(&::curl_easy_init) easyInit = nullptr;
  decltype(&::curl_easy_setopt) easySetopt = nullptr;
  decltype(&::curl_easy_perform) easyPerform = nullptr;
  decltype(&::curl_easy_getinfo) easyGetinfo = nullptr;
  decltype(&::curl_easy_cleanup) easyCleanup = nullptr;
  decltype(&::curl_easy_strerror) easyStrerror = nullptr;
  decltype(&::curl_slist_append) slistAppend = nullptr;
  decltype(&::curl_slist_free_all) slistFreeAll = nullptr;
};

template <typename Function>
bool bind(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

// The library, loaded and started on first use (the run has one thread);
// nullptr when it is not installed. It stays loaded for the rest of the run.
const Curl* curlLibrary() {
  static const Curl* loaded = []() -> const Curl* {
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return nullptr;
    static Curl curl;
    bool bound = bind(library, "curl_global_init", curl.globalInit) &&
                 bind(library, "curl_easy_init", curl.easyInit) &&
                 bind(library, "curl_easy_setopt", curl.easySetopt) &&
                 bind(library, "curl_easy_perform", curl.easyPerform) &&
                 bind(library, "curl_easy_getinfo", curl.easyGetinfo) &&
                 bind(library, "curl_easy_cleanup", curl.easyCleanup) &&
                 bind(library, "curl_easy_strerror", curl.easyStrerror) &&
                 bind(library, "curl_slist_append", curl.slistAppend) &&
                 bind(library, "curl_slist_free_all", curl.slistFreeAll);
    if (!bound || curl.globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
    return &curl;
  }();
  return loaded;
}

struct Transfer {
  std::string body;
  size_t limit = 0;
  bool tooLarge = false;
  const Certificates* extraTrust = nullptr;
};

size_t collectBody(char* data, size_t size, size_t count, void* context) {
  Transfer& transfer = *static_cast<Transfer*>(context);
  size_t length = size * count;
  if (transfer.body.size() + length > transfer.limit) {
    transfer.tooLarge = true;
    return 0;  // ends the transfer
  }
  transfer.body.append(data, length);
  return length;
}

// Runs after curl has loaded the system's store into the context: the
// certificates of the CA file are added to it, not put in its place.
CURLcode addExtraTrust(CURL*, void* sslContext, void* context) {
  Transfer& transfer = *static_cast<Transfer*>(context);
  const SslLibrary* ssl = sslLibrary();
  X509_STORE* store = ssl->SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
  for (const Certificate& certificate : *transfer.extraTrust) {
    // A certificate the store already holds is refused; that is fine.
    ssl->X509_STORE_add_cert(store, certificate.get());
  }
  ssl->ERR_clear_error();
  return CURLE_OK;
}

HttpsStep stepOf(CURLcode code) {
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return HttpsStep::Url;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
      return HttpsStep::Connect;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CIPHER:
      return HttpsStep::Handshake;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ISSUER_ERROR:
      return HttpsStep::Certificate;
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
      return HttpsStep::TrustStore;
    case CURLE_OPERATION_TIMEDOUT:
      return HttpsStep::Timeout;
    case CURLE_FILESIZE_EXCEEDED:
      return HttpsStep::TooLarge;
    default:
      return HttpsStep::Transfer;
  }
}

// The first line of curl's own message, or the generic text of the code.
std::string reasonOf(const Curl& curl, CURLcode code, const char* buffer) {
  std::string text = buffer[0] != '\0' ? buffer : curl.easyStrerror(code);
  return text.substr(0, text.find_first_of("\r\n"));
}

bool configure(const Curl& curl, CURL* handle, const HttpsPost& request, Transfer& transfer,
               curl_slist* headers, char* errorBuffer) {
  long timeout = static_cast<long>(request.timeoutSeconds) * 1000;
  bool ok = true;
  const auto set = [&](CURLoption option, auto value) {
    ok = ok && curl.easySetopt(handle, option, value) == CURLE_OK;
  };
  set(CURLOPT_ERRORBUFFER, errorBuffer);
  set(CURLOPT_URL, request.url.c_str());
  set(CURLOPT_PROTOCOLS_STR, "https");
  set(CURLOPT_FOLLOWLOCATION, 0L);
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_TIMEOUT_MS, timeout);
  set(CURLOPT_CONNECTTIMEOUT_MS, timeout);
  set(CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  set(CURLOPT_SSL_VERIFYPEER, 1L);
  set(CURLOPT_SSL_VERIFYHOST, 2L);
  set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.formBody.size()));
  set(CURLOPT_POSTFIELDS, request.formBody.c_str());
  set(CURLOPT_HTTPHEADER, headers);
  set(CURLOPT_USERAGENT, "Veltrum");
  set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxResponseBytes));
  set(CURLOPT_WRITEFUNCTION, collectBody);
  set(CURLOPT_WRITEDATA, &transfer);
  if (transfer.extraTrust != nullptr) {
    set(CURLOPT_SSL_CTX_FUNCTION, addExtraTrust);
    set(CURLOPT_SSL_CTX_DATA, &transfer);
  }
  return ok;
}

HttpsResult failure(HttpsStep step, std::string detail) {
  HttpsResult result;
  result.failedStep = step;
  result.detail = std::move(detail);
  return result;
}

}  // namespace

HttpsResult httpsPostForm(const HttpsPost& request) {
  if (strncasecmp(request.url.c_str(), "https://", 8) != 0) return failure(HttpsStep::Url, "");
  const Curl* curl = curlLibrary();
  if (curl == nullptr) return failure(HttpsStep::Transfer, "libcurl.so.4 nicht geladen");
  const auto cleanup = [curl](CURL* handle) { curl->easyCleanup(handle); };
  std::unique_ptr<CURL, decltype(cleanup)> handle(curl->easyInit(), cleanup);
  if (!handle) return failure(HttpsStep::Transfer, "libcurl");

  Transfer transfer;
  transfer.limit = request.maxResponseBytes;
  Certificates extraTrust;
  if (!request.caFile.empty()) {
    extraTrust = readCertificates(request.caFile);
    if (extraTrust.empty()) return failure(HttpsStep::TrustStore, "");
    transfer.extraTrust = &extraTrust;
  }
  const auto freeList = [curl](curl_slist* list) { curl->slistFreeAll(list); };
  std::unique_ptr<curl_slist, decltype(freeList)> headers(
      curl->slistAppend(nullptr, "Accept: application/json"), freeList);
  char errorBuffer[CURL_ERROR_SIZE] = "";
  if (!configure(*curl, handle.get(), request, transfer, headers.get(), errorBuffer)) {
    // Only a libcurl built without OpenSSL lacks the hook for the CA file.
    return failure(HttpsStep::TrustStore, "libcurl");
  }

  CURLcode code = curl->easyPerform(handle.get());
  if (transfer.tooLarge) return failure(HttpsStep::TooLarge, "");
  if (code != CURLE_OK) return failure(stepOf(code), reasonOf(*curl, code, errorBuffer));
  HttpsResult result;
  long status = 0;
  curl->easyGetinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
  result.httpStatus = static_cast<int>(status);
  result.body = std::move(transfer.body);
  return result;
}

}  // namespace veltrum
