// Schannel through SSPI: the system's own TLS, nothing to ship. Schannel only
// turns bytes into records and back; every byte travels through the network
// functions, so the deadlines of the plain dialog hold. Schannel is told to
// leave the certificate alone (manual validation), and the chain and the
// name are checked by certificate_trust_win32.cpp, with the CA file.
#include "platform/tls_channel.h"

#define SECURITY_WIN32
// SCH_CREDENTIALS (TLS 1.3 on newer Windows) is declared only with this,
// and needs UNICODE_STRING from subauth.h.
#define SCHANNEL_USE_BLACKLISTS
#include <windows.h>
//
#include <subauth.h>
//
#include <schannel.h>
#include <security.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/certificate_trust_win32.h"
#include "platform/clock.h"
#include "platform/network.h"

namespace veltrum {

struct TlsChannel {
  TcpConnection* connection = nullptr;
  CredHandle credentials = {};
  CtxtHandle context = {};
  bool haveCredentials = false;
  bool haveContext = false;
  SecPkgContext_StreamSizes sizes = {};
  std::string incoming;  // received records not yet decrypted
  std::string plain;     // decrypted bytes not yet handed out, from plainStart
  size_t plainStart = 0;
  bool postHandshake = false;  // the peer began a handshake message after the first
  bool ended = false;          // the closing alert came, or the peer closed between records
  bool failed = false;
};

namespace {

constexpr DWORD kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                           ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                           ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                           ISC_REQ_MANUAL_CRED_VALIDATION;
constexpr DWORD kBelowTls12 =
    SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
// A handshake with a chain of ordinary size is a few KB; a peer that sends
// far more is not waited for.
constexpr size_t kLargestHandshake = 512 * 1024;
constexpr int kReadChunk = 16 * 1024 + 512;
constexpr char kAlertRecord = 21;

std::string withCode(const char* text, SECURITY_STATUS status) {
  char line[96];
  std::snprintf(line, sizeof line, "%s (0x%08lx)", text, static_cast<unsigned long>(status));
  return line;
}

std::string describeHandshakeError(SECURITY_STATUS status) {
  switch (status) {
    case SEC_E_ILLEGAL_MESSAGE:
    case SEC_E_DECRYPT_FAILURE:
    case SEC_E_MESSAGE_ALTERED:
    case SEC_E_INVALID_TOKEN:
      return withCode("no TLS peer or a damaged record", status);
    case SEC_E_ALGORITHM_MISMATCH:
    case SEC_E_UNSUPPORTED_FUNCTION:
      return withCode("no common TLS version or cipher", status);
    default:
      return withCode("TLS handshake failed", status);
  }
}

bool fail(TlsFailure& failure, TlsStep step, std::string detail) {
  failure.step = step;
  failure.detail = std::move(detail);
  return false;
}

// Sends a token Schannel produced, and releases it.
bool sendToken(TlsChannel& channel, SecBuffer& token) {
  bool sent = true;
  if (token.pvBuffer != nullptr && token.cbBuffer > 0) {
    const int length = static_cast<int>(token.cbBuffer);
    sent =
        sendBytes(channel.connection, static_cast<const char*>(token.pvBuffer), length) == length;
  }
  if (token.pvBuffer != nullptr) FreeContextBuffer(token.pvBuffer);
  token.pvBuffer = nullptr;
  token.cbBuffer = 0;
  return sent;
}

// Credentials for a client with TLS 1.2 or later and no certificate of its
// own. Windows before 10 (1809) does not know SCH_CREDENTIALS and gets TLS
// 1.2 through the older structure. Wine 8 takes SCH_CREDENTIALS but ignores
// its disabled protocols (it agreed on TLS 1.1 with such a server); the
// check of the agreed protocol after the handshake catches that.
SECURITY_STATUS acquireCredentials(CredHandle& handle) {
  const DWORD flags =
      SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
  TLS_PARAMETERS parameters = {};
  parameters.grbitDisabledProtocols = kBelowTls12;
  SCH_CREDENTIALS current = {};
  current.dwVersion = SCH_CREDENTIALS_VERSION;
  current.dwFlags = flags;
  current.cTlsParameters = 1;
  current.pTlsParameters = &parameters;
  char package[] = UNISP_NAME_A;
  SECURITY_STATUS status =
      AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &current, nullptr,
                                nullptr, &handle, nullptr);
  if (status == SEC_E_OK) return status;
  SCHANNEL_CRED older = {};
  older.dwVersion = SCHANNEL_CRED_VERSION;
  older.dwFlags = flags;
  older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  return AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &older, nullptr,
                                   nullptr, &handle, nullptr);
}

// True while the bytes could begin a TLS record: a known content type and
// major version 3. Some Schannel builds (Wine's) take any five bytes as a
// record header and wait for the length it names; text from a plain server
// would then hold the handshake until the time limit.
bool mayBeRecord(const std::string& bytes) {
  if (bytes.empty()) return true;
  const unsigned char type = static_cast<unsigned char>(bytes[0]);
  return type >= 20 && type <= 24 && (bytes.size() < 2 || bytes[1] == 3);
}

// Waits for more bytes of the handshake until the deadline and appends them.
bool receiveHandshakeBytes(TlsChannel& channel, int64_t deadline, TlsFailure& failure) {
  if (channel.incoming.size() > kLargestHandshake) {
    return fail(failure, TlsStep::Handshake, "handshake larger than 512 KB");
  }
  const int64_t left = deadline - monotonicMilliseconds();
  if (left <= 0 || !waitUntilReadable(channel.connection, static_cast<int>(left))) {
    return fail(failure, TlsStep::Handshake, "no TLS answer within the time limit");
  }
  char chunk[kReadChunk];
  const int count = receiveBytes(channel.connection, chunk, sizeof chunk);
  if (count == 0) return fail(failure, TlsStep::Handshake, "the server closed the connection");
  if (count < 0) return fail(failure, TlsStep::Handshake, "the connection failed");
  channel.incoming.append(chunk, static_cast<size_t>(count));
  if (!mayBeRecord(channel.incoming)) {
    return fail(failure, TlsStep::Handshake, "no TLS peer: the server sent no TLS record");
  }
  return true;
}

// Feeds `incoming` to the handshake once: sends what Schannel answers and
// keeps only the bytes it did not take.
SECURITY_STATUS stepHandshake(TlsChannel& channel, const char* target, bool& sent) {
  SecBuffer input[2] = {};
  input[0].BufferType = SECBUFFER_TOKEN;
  input[0].pvBuffer = channel.incoming.data();
  input[0].cbBuffer = static_cast<unsigned long>(channel.incoming.size());
  input[1].BufferType = SECBUFFER_EMPTY;
  SecBufferDesc inputs = {SECBUFFER_VERSION, 2, input};
  SecBuffer output = {0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc outputs = {SECBUFFER_VERSION, 1, &output};
  unsigned long attributes = 0;
  const SECURITY_STATUS status = InitializeSecurityContextA(
      &channel.credentials, &channel.context, const_cast<char*>(target), kRequest, 0, 0, &inputs, 0,
      nullptr, &outputs, &attributes, nullptr);
  // A token comes with the failure too (the alert for the peer).
  sent = sendToken(channel, output);
  if (status == SEC_E_INCOMPLETE_MESSAGE) return status;
  if (input[1].BufferType == SECBUFFER_EXTRA && input[1].cbBuffer > 0 &&
      input[1].cbBuffer <= channel.incoming.size()) {
    channel.incoming.erase(0, channel.incoming.size() - input[1].cbBuffer);
  } else if (status != SEC_I_INCOMPLETE_CREDENTIALS) {
    channel.incoming.clear();
  }
  return status;
}

bool handshake(TlsChannel& channel, const char* target, int64_t deadline, TlsFailure& failure) {
  SecBuffer output = {0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc outputs = {SECBUFFER_VERSION, 1, &output};
  unsigned long attributes = 0;
  SECURITY_STATUS status = InitializeSecurityContextA(
      &channel.credentials, nullptr, const_cast<char*>(target), kRequest, 0, 0, nullptr, 0,
      &channel.context, &outputs, &attributes, nullptr);
  if (status != SEC_I_CONTINUE_NEEDED) {
    if (output.pvBuffer != nullptr) FreeContextBuffer(output.pvBuffer);
    return fail(failure, TlsStep::Handshake, withCode("Schannel cannot start", status));
  }
  channel.haveContext = true;
  if (!sendToken(channel, output)) {
    return fail(failure, TlsStep::Handshake, "the connection failed");
  }
  bool needBytes = true;
  int withoutCredentials = 0;
  for (;;) {
    if (needBytes && !receiveHandshakeBytes(channel, deadline, failure)) return false;
    bool sent = true;
    status = stepHandshake(channel, target, sent);
    if (!sent) return fail(failure, TlsStep::Handshake, "the connection failed");
    if (status == SEC_E_OK) return true;
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      needBytes = true;
    } else if (status == SEC_I_CONTINUE_NEEDED) {
      needBytes = channel.incoming.empty();
    } else if (status == SEC_I_INCOMPLETE_CREDENTIALS && ++withoutCredentials < 3) {
      // The server asked for a client certificate; go on without one.
      needBytes = false;
    } else {
      return fail(failure, TlsStep::Handshake, describeHandshakeError(status));
    }
  }
}

// The protocol really agreed on, whatever the credentials asked for.
bool agreedOnTls12OrLater(TlsChannel& channel, TlsFailure& failure) {
  SecPkgContext_ConnectionInfo info = {};
  if (QueryContextAttributesA(&channel.context, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK) {
    return true;  // not told: the credentials allow nothing below TLS 1.2
  }
  if ((info.dwProtocol & kBelowTls12) != 0) {
    return fail(failure, TlsStep::Handshake, "the server offers only a TLS version below 1.2");
  }
  return true;
}

bool verifyPeer(TlsChannel& channel, const std::string& hostName, HCERTSTORE anchors,
                TlsFailure& failure) {
  PCCERT_CONTEXT certificate = nullptr;
  if (QueryContextAttributesA(&channel.context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) !=
          SEC_E_OK ||
      certificate == nullptr) {
    return fail(failure, TlsStep::Certificate, "the server sent no certificate");
  }
  std::string detail;
  const TrustVerdict verdict = verifyServerCertificate(certificate, hostName, anchors, detail);
  CertFreeCertificateContext(certificate);
  if (verdict != TrustVerdict::Trusted) return fail(failure, TlsStep::Certificate, detail);
  return true;
}

void release(TlsChannel* channel) {
  if (channel->haveContext) DeleteSecurityContext(&channel->context);
  if (channel->haveCredentials) FreeCredentialsHandle(&channel->credentials);
  delete channel;
}

// Takes part in a handshake message the peer sends after the first
// handshake (a session ticket in TLS 1.3, a renegotiation request).
void continuePostHandshake(TlsChannel& channel) {
  bool sent = true;
  const SECURITY_STATUS status = stepHandshake(channel, nullptr, sent);
  if (!sent) {
    channel.failed = true;
  } else if (status == SEC_E_OK) {
    channel.postHandshake = false;
  } else if (status != SEC_E_INCOMPLETE_MESSAGE && status != SEC_I_CONTINUE_NEEDED) {
    channel.failed = true;
  }
}

// Decrypts the complete records that have arrived into `plain`.
void decryptWaiting(TlsChannel& channel) {
  while (!channel.incoming.empty() && !channel.ended && !channel.failed) {
    if (channel.postHandshake) {
      const size_t before = channel.incoming.size();
      continuePostHandshake(channel);
      if (channel.postHandshake && channel.incoming.size() == before) return;  // needs more
      continue;
    }
    // Wine's Schannel reports the closing alert as a record without data
    // where Windows says SEC_I_CONTEXT_EXPIRED; below TLS 1.3 the record
    // type tells an alert from data.
    const bool alert = channel.incoming[0] == kAlertRecord;
    SecBuffer buffers[4] = {};
    buffers[0].BufferType = SECBUFFER_DATA;
    buffers[0].pvBuffer = channel.incoming.data();
    buffers[0].cbBuffer = static_cast<unsigned long>(channel.incoming.size());
    for (int i = 1; i < 4; ++i) buffers[i].BufferType = SECBUFFER_EMPTY;
    SecBufferDesc message = {SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = DecryptMessage(&channel.context, &message, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) return;
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) {
      channel.failed = true;
      return;
    }
    // Decrypted in place: the data points into `incoming`, the rest of the
    // bytes (the next records) are its tail.
    size_t rest = 0;
    for (int i = 1; i < 4; ++i) {
      if (buffers[i].BufferType == SECBUFFER_DATA && buffers[i].pvBuffer != nullptr) {
        channel.plain.append(static_cast<const char*>(buffers[i].pvBuffer), buffers[i].cbBuffer);
      } else if (buffers[i].BufferType == SECBUFFER_EXTRA) {
        rest = buffers[i].cbBuffer;
      }
    }
    channel.incoming.erase(0, channel.incoming.size() - std::min(rest, channel.incoming.size()));
    if (status == SEC_I_CONTEXT_EXPIRED || (status == SEC_E_OK && alert)) channel.ended = true;
    if (status == SEC_I_RENEGOTIATE) channel.postHandshake = true;
  }
}

// One receive of records; the end of the stream in the middle of a record
// is an error, between records the end.
void receiveRecords(TlsChannel& channel) {
  char chunk[kReadChunk];
  const int count = receiveBytes(channel.connection, chunk, sizeof chunk);
  if (count > 0) {
    channel.incoming.append(chunk, static_cast<size_t>(count));
  } else if (count == 0 && channel.incoming.empty()) {
    channel.ended = true;
  } else {
    channel.failed = true;
  }
}

bool hasPlain(const TlsChannel& channel) {
  return channel.plainStart < channel.plain.size();
}

}  // namespace

bool trustFileUsable(const std::string& caFile) {
  if (caFile.empty()) return true;
  std::string detail;
  HCERTSTORE store = loadPemCertificates(caFile, detail);
  if (store == nullptr) return false;
  CertCloseStore(store, 0);
  return true;
}

TlsChannel* startTls(TcpConnection* connection, const std::string& hostName,
                     const std::string& caFile, int timeoutSeconds, TlsFailure& failure) {
  failure = TlsFailure{};
  const int64_t deadline = monotonicMilliseconds() + static_cast<int64_t>(timeoutSeconds) * 1000;
  if (connection == nullptr) {
    fail(failure, TlsStep::Handshake, "no connection");
    return nullptr;
  }
  HCERTSTORE anchors = nullptr;
  if (!caFile.empty()) {
    std::string detail;
    anchors = loadPemCertificates(caFile, detail);
    if (anchors == nullptr) {
      fail(failure, TlsStep::TrustStore, detail);
      return nullptr;
    }
  }
  TlsChannel* channel = new TlsChannel;
  channel->connection = connection;
  const SECURITY_STATUS status = acquireCredentials(channel->credentials);
  channel->haveCredentials = status == SEC_E_OK;
  // The name goes out as server name indication; an address does not.
  const char* target = isAddress(hostName) ? nullptr : hostName.c_str();
  const bool ready =
      (channel->haveCredentials ||
       fail(failure, TlsStep::Handshake, withCode("no TLS credentials", status))) &&
      handshake(*channel, target, deadline, failure) && agreedOnTls12OrLater(*channel, failure) &&
      verifyPeer(*channel, hostName, anchors, failure) &&
      (QueryContextAttributesA(&channel->context, SECPKG_ATTR_STREAM_SIZES, &channel->sizes) ==
           SEC_E_OK ||
       fail(failure, TlsStep::Handshake, "no record sizes"));
  if (anchors != nullptr) CertCloseStore(anchors, 0);
  if (!ready) {
    release(channel);
    return nullptr;
  }
  return channel;
}

bool tlsWaitUntilReadable(TlsChannel* channel, int timeoutMilliseconds) {
  const int64_t deadline = monotonicMilliseconds() + timeoutMilliseconds;
  for (bool first = true;; first = false) {
    decryptWaiting(*channel);
    if (hasPlain(*channel) || channel->ended || channel->failed) return true;
    const int64_t left = deadline - monotonicMilliseconds();
    if (!first && left <= 0) return false;
    if (!waitUntilReadable(channel->connection, static_cast<int>(left > 0 ? left : 0))) {
      return false;
    }
    receiveRecords(*channel);
  }
}

int tlsReceive(TlsChannel* channel, char* buffer, int maxLength) {
  for (;;) {
    if (hasPlain(*channel)) {
      const size_t count = std::min(static_cast<size_t>(maxLength > 0 ? maxLength : 0),
                                    channel->plain.size() - channel->plainStart);
      std::memcpy(buffer, channel->plain.data() + channel->plainStart, count);
      channel->plainStart += count;
      if (!hasPlain(*channel)) {
        channel->plain.clear();
        channel->plainStart = 0;
      }
      return static_cast<int>(count);
    }
    if (channel->failed) return -1;
    if (channel->ended) return 0;
    decryptWaiting(*channel);
    if (!hasPlain(*channel) && !channel->ended && !channel->failed) receiveRecords(*channel);
  }
}

int tlsSend(TlsChannel* channel, const char* buffer, int length) {
  if (channel->failed) return -1;
  const SecPkgContext_StreamSizes& sizes = channel->sizes;
  std::vector<char> record(sizes.cbHeader + sizes.cbMaximumMessage + sizes.cbTrailer);
  for (int done = 0; done < length;) {
    const unsigned long part =
        std::min(static_cast<unsigned long>(length - done), sizes.cbMaximumMessage);
    std::memcpy(record.data() + sizes.cbHeader, buffer + done, part);
    SecBuffer buffers[4] = {};
    buffers[0] = {sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()};
    buffers[1] = {part, SECBUFFER_DATA, record.data() + sizes.cbHeader};
    buffers[2] = {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes.cbHeader + part};
    buffers[3] = {0, SECBUFFER_EMPTY, nullptr};
    SecBufferDesc message = {SECBUFFER_VERSION, 4, buffers};
    if (EncryptMessage(&channel->context, 0, &message, 0) != SEC_E_OK) return -1;
    const int total =
        static_cast<int>(buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    if (sendBytes(channel->connection, record.data(), total) != total) {
      channel->failed = true;
      return -1;
    }
    done += static_cast<int>(part);
  }
  return length;
}

void endTls(TlsChannel* channel) {
  if (channel == nullptr) return;
  if (!channel->failed && connectionEvent(channel->connection) != ConnectionEvent::Disconnected) {
    DWORD kind = SCHANNEL_SHUTDOWN;
    SecBuffer control = {sizeof kind, SECBUFFER_TOKEN, &kind};
    SecBufferDesc controls = {SECBUFFER_VERSION, 1, &control};
    if (ApplyControlToken(&channel->context, &controls) == SEC_E_OK) {
      SecBuffer output = {0, SECBUFFER_TOKEN, nullptr};
      SecBufferDesc outputs = {SECBUFFER_VERSION, 1, &output};
      unsigned long attributes = 0;
      const SECURITY_STATUS status =
          InitializeSecurityContextA(&channel->credentials, &channel->context, nullptr, kRequest, 0,
                                     0, nullptr, 0, nullptr, &outputs, &attributes, nullptr);
      if (status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED) {
        sendToken(*channel, output);
      } else if (output.pvBuffer != nullptr) {
        FreeContextBuffer(output.pvBuffer);
      }
    }
  }
  release(channel);
}

}  // namespace veltrum
