// The TLS channel on OpenSSL. The library never touches the socket: it reads
// from and writes to two memory buffers, and this file moves the bytes
// between them and the connection with the network functions, so every wait
// has a deadline and a test's scripted peer can stand in for the server.
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <cstdint>
#include <memory>

#include "platform/clock.h"
#include "platform/network.h"
#include "platform/tls_channel.h"

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

struct ChannelDeleter {
  void operator()(TlsChannel* channel) const {
    if (channel->ssl != nullptr) SSL_free(channel->ssl);  // frees both buffers
    if (channel->context != nullptr) SSL_CTX_free(channel->context);
    delete channel;
  }
};
using ChannelHolder = std::unique_ptr<TlsChannel, ChannelDeleter>;

// Sends what the library has written; false when the connection failed.
bool flushOutgoing(TlsChannel* channel) {
  char buffer[kChunk];
  for (;;) {
    int count = BIO_read(channel->outgoing, buffer, sizeof buffer);
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
    BIO_set_mem_eof_return(channel->incoming, 0);  // the library now sees the end
    return true;
  }
  BIO_write(channel->incoming, buffer, count);
  return true;
}

std::string libraryReason() {
  unsigned long code = ERR_peek_last_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  ERR_clear_error();
  return reason != nullptr ? reason : "";
}

bool configureTrust(SSL_CTX* context, const std::string& caFile, TlsFailure& failure) {
  if (SSL_CTX_set_default_verify_paths(context) != 1 ||
      (!caFile.empty() && !trustFileUsable(caFile)) ||
      (!caFile.empty() && SSL_CTX_load_verify_locations(context, caFile.c_str(), nullptr) != 1)) {
    failure = {TlsStep::TrustStore, libraryReason()};
    return false;
  }
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
  return true;
}

// The name checked against the certificate: an address against its IP
// entries, anything else as a DNS name that also goes out as SNI.
bool configureHost(SSL* ssl, const std::string& hostName) {
  X509_VERIFY_PARAM* parameters = SSL_get0_param(ssl);
  X509_VERIFY_PARAM_set_hostflags(parameters, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  if (X509_VERIFY_PARAM_set1_ip_asc(parameters, hostName.c_str()) == 1) return true;
  return X509_VERIFY_PARAM_set1_host(parameters, hostName.c_str(), hostName.size()) == 1 &&
         SSL_set_tlsext_host_name(ssl, hostName.c_str()) == 1;
}

ChannelHolder makeChannel(TcpConnection* connection, const std::string& hostName,
                          const std::string& caFile, TlsFailure& failure) {
  ChannelHolder channel(new TlsChannel);
  channel->connection = connection;
  channel->context = SSL_CTX_new(TLS_client_method());
  if (channel->context == nullptr) {
    failure = {TlsStep::Handshake, libraryReason()};
    return nullptr;
  }
  SSL_CTX_set_min_proto_version(channel->context, TLS1_2_VERSION);
  if (!configureTrust(channel->context, caFile, failure)) return nullptr;
  channel->ssl = SSL_new(channel->context);
  channel->incoming = BIO_new(BIO_s_mem());
  channel->outgoing = BIO_new(BIO_s_mem());
  if (channel->ssl == nullptr || channel->incoming == nullptr || channel->outgoing == nullptr) {
    BIO_free(channel->incoming);
    BIO_free(channel->outgoing);
    failure = {TlsStep::Handshake, libraryReason()};
    return nullptr;
  }
  BIO_set_mem_eof_return(channel->incoming, -1);  // empty means "wait for more"
  SSL_set_bio(channel->ssl, channel->incoming, channel->outgoing);
  if (!configureHost(channel->ssl, hostName)) {
    failure = {TlsStep::Certificate, "host name not usable for verification"};
    return nullptr;
  }
  return channel;
}

// Why the handshake stopped: a certificate the verification refused, or
// anything else the library or the peer did.
TlsFailure handshakeFailure(TlsChannel* channel, const char* fallback) {
  long verified = SSL_get_verify_result(channel->ssl);
  if (verified != X509_V_OK) {
    ERR_clear_error();
    return {TlsStep::Certificate, X509_verify_cert_error_string(verified)};
  }
  std::string reason = libraryReason();
  return {TlsStep::Handshake, reason.empty() ? fallback : reason};
}

}  // namespace

bool trustFileUsable(const std::string& caFile) {
  if (caFile.empty()) return true;
  struct stat info;
  if (stat(caFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  BIO* file = BIO_new_file(caFile.c_str(), "r");
  if (file == nullptr) {
    ERR_clear_error();
    return false;
  }
  X509* certificate = PEM_read_bio_X509(file, nullptr, nullptr, nullptr);
  BIO_free(file);
  ERR_clear_error();
  if (certificate == nullptr) return false;
  X509_free(certificate);
  return true;
}

TlsChannel* startTls(TcpConnection* connection, const std::string& hostName,
                     const std::string& caFile, int timeoutSeconds, TlsFailure& failure) {
  failure = {};
  ERR_clear_error();
  ChannelHolder channel = makeChannel(connection, hostName, caFile, failure);
  if (!channel) return nullptr;
  int64_t deadline = clock().deadlineMilliseconds() + static_cast<int64_t>(timeoutSeconds) * 1000;
  for (;;) {
    int result = SSL_connect(channel->ssl);
    if (!flushOutgoing(channel.get())) {
      failure = {TlsStep::Handshake, "connection failed while sending"};
      return nullptr;
    }
    if (result == 1) return channel.release();
    if (SSL_get_error(channel->ssl, result) != SSL_ERROR_WANT_READ || channel->peerEnded) {
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
    int result = SSL_peek(channel->ssl, &byte, 1);
    flushOutgoing(channel);
    if (result > 0) return true;
    if (SSL_get_error(channel->ssl, result) != SSL_ERROR_WANT_READ || channel->peerEnded) {
      ERR_clear_error();
      return true;  // an end or an error: the receive returns at once
    }
    int64_t left = deadline - clock().deadlineMilliseconds();
    if (left <= 0 || !takeIncoming(channel, static_cast<int>(left))) return false;
  }
}

int tlsReceive(TlsChannel* channel, char* buffer, int maxLength) {
  for (;;) {
    int result = SSL_read(channel->ssl, buffer, maxLength);
    flushOutgoing(channel);
    if (result > 0) return result;
    int error = SSL_get_error(channel->ssl, result);
    ERR_clear_error();
    if (error == SSL_ERROR_ZERO_RETURN || channel->peerEnded) return 0;
    if (error != SSL_ERROR_WANT_READ) return -1;
    takeIncoming(channel, -1);
  }
}

int tlsSend(TlsChannel* channel, const char* buffer, int length) {
  for (int done = 0; done < length;) {
    int piece = length - done < kChunk ? length - done : kChunk;
    int result = SSL_write(channel->ssl, buffer + done, piece);
    if (result <= 0) {
      ERR_clear_error();
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
    SSL_shutdown(channel->ssl);
    flushOutgoing(channel);
  }
  ERR_clear_error();
  ChannelDeleter()(channel);
}

}  // namespace veltrum
