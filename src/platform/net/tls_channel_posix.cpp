// The TLS channel on OpenSSL. The library never touches the socket: it reads
// from and writes to two memory buffers, and this file moves the bytes
// between them and the connection with the network functions, so every wait
// has a deadline and a test's scripted peer can stand in for the server.
#include <dirent.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/core/clock.h"
#include "platform/net/network.h"
#include "platform/net/ssl_library_posix.h"
#include "platform/net/tls_channel.h"

namespace veltrum {

struct TlsChannel {
  TcpConnection* connection = nullptr;
  SSL_CTX* context = nullptr;
  SSL* ssl = nullptr;
  BIO* incoming = nullptr;  // bytes from the peer, not yet taken by the library
  BIO* outgoing = nullptr;  // records the library made, not yet sent
  bool peerEnded = false;   // the connection ended or failed: nothing more comes
  bool sendFailed = false;  // a send failed: the closing alert is not attempted
};

namespace {

constexpr int kChunk = 16384;

// Only called once sslLibrary() has given the functions.
const SslLibrary& api() {
  return *sslLibrary();
}

struct ChannelDeleter {
  void operator()(TlsChannel* channel) const {
    if (channel->ssl != nullptr) api().SSL_free(channel->ssl);  // frees both buffers
    if (channel->context != nullptr) api().SSL_CTX_free(channel->context);
    delete channel;
  }
};
using ChannelHolder = std::unique_ptr<TlsChannel, ChannelDeleter>;

// Sends what the library has written; false when the connection failed.
bool flushOutgoing(TlsChannel* channel) {
  char buffer[kChunk];
  for (;;) {
    int count = api().BIO_read(channel->outgoing, buffer, sizeof buffer);
    if (count <= 0) return !channel->sendFailed;
    if (channel->sendFailed) continue;  // drained, never sent
    if (sendBytes(channel->connection, buffer, count) < 0) channel->sendFailed = true;
  }
}

// One receive from the connection into the library's buffer, after waiting
// at most `timeoutMilliseconds` (negative: without a limit). False when
// nothing came in time; an ended stream counts as something.
bool takeIncoming(TlsChannel* channel, int timeoutMilliseconds) {
  if (channel->peerEnded) return true;
  if (timeoutMilliseconds >= 0 && !waitUntilReadable(channel->connection, timeoutMilliseconds)) {
    return false;
  }
  char buffer[kChunk];
  int count = receiveBytes(channel->connection, buffer, sizeof buffer);
  if (count <= 0) {
    channel->peerEnded = true;
    // From now on the library sees the end instead of "wait for more".
    api().BIO_ctrl(channel->incoming, BIO_C_SET_BUF_MEM_EOF_RETURN, 0, nullptr);
    return true;
  }
  api().BIO_write(channel->incoming, buffer, count);
  return true;
}

std::string libraryReason() {
  unsigned long code = api().ERR_peek_last_error();
  const char* reason = code != 0 ? api().ERR_reason_error_string(code) : nullptr;
  api().ERR_clear_error();
  return reason != nullptr ? reason : "";
}

// True when `path` is a folder of certificates under their hash names
// ("5ad8a5d6.0"), where the library finds a root when a chain asks for it.
bool hashedFolder(const char* path) {
  DIR* folder = opendir(path);
  if (folder == nullptr) return false;
  bool found = false;
  while (struct dirent* entry = readdir(folder)) {
    const char* name = entry->d_name;
    size_t hex = 0;
    while (hex < 8 && std::isxdigit(static_cast<unsigned char>(name[hex]))) ++hex;
    if (hex == 8 && name[8] == '.' && std::isdigit(static_cast<unsigned char>(name[9]))) {
      found = true;
      break;
    }
  }
  closedir(folder);
  return found;
}

// The system's store. Loading its bundle file parses every root, about 20 ms
// of CPU for each mail; the hashed folder beside it (Debian keeps both in
// step) yields only the roots a chain needs. The bundle is loaded where no
// such folder exists or where SSL_CERT_FILE names a file of its own.
bool loadSystemStore(SSL_CTX* context) {
  const char* folder = std::getenv(api().X509_get_default_cert_dir_env());
  if (folder == nullptr) folder = api().X509_get_default_cert_dir();
  if (std::getenv(api().X509_get_default_cert_file_env()) == nullptr && hashedFolder(folder)) {
    return api().SSL_CTX_load_verify_dir(context, folder) == 1;
  }
  return api().SSL_CTX_set_default_verify_paths(context) == 1;
}

bool configureTrust(SSL_CTX* context, const std::string& caFile, TlsFailure& failure) {
  if (!loadSystemStore(context) || (!caFile.empty() && !trustFileUsable(caFile)) ||
      (!caFile.empty() && api().SSL_CTX_load_verify_file(context, caFile.c_str()) != 1)) {
    failure = {TlsStep::TrustStore, libraryReason()};
    return false;
  }
  api().SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
  return true;
}

// The name checked against the certificate: an address against its IP
// entries, anything else as a DNS name that also goes out as SNI.
bool configureHost(SSL* ssl, const std::string& hostName) {
  X509_VERIFY_PARAM* parameters = api().SSL_get0_param(ssl);
  api().X509_VERIFY_PARAM_set_hostflags(parameters, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  if (api().X509_VERIFY_PARAM_set1_ip_asc(parameters, hostName.c_str()) == 1) return true;
  return api().X509_VERIFY_PARAM_set1_host(parameters, hostName.c_str(), hostName.size()) == 1 &&
         api().SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                        const_cast<char*>(hostName.c_str())) == 1;
}

ChannelHolder makeChannel(TcpConnection* connection, const std::string& hostName,
                          const std::string& caFile, TlsFailure& failure) {
  ChannelHolder channel(new TlsChannel);
  channel->connection = connection;
  channel->context = api().SSL_CTX_new(api().TLS_client_method());
  if (channel->context == nullptr) {
    failure = {TlsStep::Handshake, libraryReason()};
    return nullptr;
  }
  api().SSL_CTX_ctrl(channel->context, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
  if (!configureTrust(channel->context, caFile, failure)) return nullptr;
  channel->ssl = api().SSL_new(channel->context);
  channel->incoming = api().BIO_new(api().BIO_s_mem());
  channel->outgoing = api().BIO_new(api().BIO_s_mem());
  if (channel->ssl == nullptr || channel->incoming == nullptr || channel->outgoing == nullptr) {
    api().BIO_free(channel->incoming);
    api().BIO_free(channel->outgoing);
    failure = {TlsStep::Handshake, libraryReason()};
    return nullptr;
  }
  // An empty buffer means "wait for more" until the connection ends.
  api().BIO_ctrl(channel->incoming, BIO_C_SET_BUF_MEM_EOF_RETURN, -1, nullptr);
  api().SSL_set_bio(channel->ssl, channel->incoming, channel->outgoing);
  if (!configureHost(channel->ssl, hostName)) {
    failure = {TlsStep::Certificate, "host name not usable for verification"};
    return nullptr;
  }
  return channel;
}

// Why the handshake stopped: a certificate the verification refused, or
// anything else the library or the peer did.
TlsFailure handshakeFailure(TlsChannel* channel, const char* fallback) {
  long verified = api().SSL_get_verify_result(channel->ssl);
  if (verified != X509_V_OK) {
    api().ERR_clear_error();
    return {TlsStep::Certificate, api().X509_verify_cert_error_string(verified)};
  }
  std::string reason = libraryReason();
  return {TlsStep::Handshake, reason.empty() ? fallback : reason};
}

}  // namespace

bool trustFileUsable(const std::string& caFile) {
  if (caFile.empty()) return true;
  struct stat info;
  if (stat(caFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (sslLibrary() == nullptr) return false;  // nothing could read it
  BIO* file = api().BIO_new_file(caFile.c_str(), "r");
  if (file == nullptr) {
    api().ERR_clear_error();
    return false;
  }
  X509* certificate = api().PEM_read_bio_X509(file, nullptr, nullptr, nullptr);
  api().BIO_free(file);
  api().ERR_clear_error();
  if (certificate == nullptr) return false;
  api().X509_free(certificate);
  return true;
}

TlsChannel* startTls(TcpConnection* connection, const std::string& hostName,
                     const std::string& caFile, int timeoutSeconds, TlsFailure& failure) {
  failure = {};
  if (sslLibrary() == nullptr) {
    failure = {TlsStep::Handshake, "TLS library libssl.so.3 not installed"};
    return nullptr;
  }
  api().ERR_clear_error();
  ChannelHolder channel = makeChannel(connection, hostName, caFile, failure);
  if (!channel) return nullptr;
  int64_t deadline = clock().deadlineMilliseconds() + static_cast<int64_t>(timeoutSeconds) * 1000;
  for (;;) {
    int result = api().SSL_connect(channel->ssl);
    if (!flushOutgoing(channel.get())) {
      failure = {TlsStep::Handshake, "connection failed while sending"};
      return nullptr;
    }
    if (result == 1) return channel.release();
    if (api().SSL_get_error(channel->ssl, result) != SSL_ERROR_WANT_READ || channel->peerEnded) {
      failure = handshakeFailure(channel.get(), "connection closed by the server");
      return nullptr;
    }
    int64_t left = deadline - clock().deadlineMilliseconds();
    if (left <= 0 || !takeIncoming(channel.get(), static_cast<int>(left))) {
      failure = {TlsStep::Handshake, "handshake not finished in time"};
      return nullptr;
    }
  }
}

bool tlsWaitUntilReadable(TlsChannel* channel, int timeoutMilliseconds) {
  int64_t deadline = clock().deadlineMilliseconds() + timeoutMilliseconds;
  for (;;) {
    char byte;
    int result = api().SSL_peek(channel->ssl, &byte, 1);
    flushOutgoing(channel);
    if (result > 0) return true;
    if (api().SSL_get_error(channel->ssl, result) != SSL_ERROR_WANT_READ || channel->peerEnded) {
      api().ERR_clear_error();
      return true;  // an end or an error: the receive returns at once
    }
    int64_t left = deadline - clock().deadlineMilliseconds();
    if (left <= 0 || !takeIncoming(channel, static_cast<int>(left))) return false;
  }
}

int tlsReceive(TlsChannel* channel, char* buffer, int maxLength) {
  for (;;) {
    int result = api().SSL_read(channel->ssl, buffer, maxLength);
    flushOutgoing(channel);
    if (result > 0) return result;
    int error = api().SSL_get_error(channel->ssl, result);
    api().ERR_clear_error();
    if (error == SSL_ERROR_ZERO_RETURN || channel->peerEnded) return 0;
    if (error != SSL_ERROR_WANT_READ) return -1;
    takeIncoming(channel, -1);
  }
}

int tlsSend(TlsChannel* channel, const char* buffer, int length) {
  for (int done = 0; done < length;) {
    int piece = length - done < kChunk ? length - done : kChunk;
    int result = api().SSL_write(channel->ssl, buffer + done, piece);
    if (result <= 0) {
      api().ERR_clear_error();
      return -1;
    }
    if (!flushOutgoing(channel)) return -1;
    done += result;
  }
  return length;
}

void endTls(TlsChannel* channel) {
  if (channel == nullptr) return;
  if (!channel->sendFailed && !channel->peerEnded) {
    api().SSL_shutdown(channel->ssl);
    flushOutgoing(channel);
  }
  api().ERR_clear_error();
  ChannelDeleter()(channel);
}

}  // namespace veltrum
