// The client handshake with Schannel through SSPI, and the checks that
// follow it: the agreed protocol and the server's certificate. Schannel is
// told to leave the certificate alone (manual validation); the chain and the
// name are checked by certificate_trust_win32.cpp, with the CA file.
#include "platform/net/schannel_session_win32.h"

#include <cstdio>
#include <string>

#include "platform/core/clock.h"
#include "platform/net/certificate_trust_win32.h"
#include "platform/net/network.h"

namespace veltrum {

namespace {

constexpr DWORD kBelowTls12 =
    SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
// A handshake with a chain of ordinary size is a few KB; a peer that sends
// far more is not waited for.
constexpr size_t kLargestHandshake = 512 * 1024;

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
      return withCode("Schannel refused it", status);
  }
}

bool fail(TlsFailure& failure, TlsStep step, std::string detail) {
  failure.step = step;
  failure.detail = std::move(detail);
  return false;
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
  const int64_t left = deadline - clock().deadlineMilliseconds();
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
    // Schannel's own reason first: the alert it answered with may not have
    // reached a peer that had gone already.
    if (FAILED(status) && status != SEC_E_INCOMPLETE_MESSAGE) {
      return fail(failure, TlsStep::Handshake, describeHandshakeError(status));
    }
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
                int64_t deadline, TlsFailure& failure) {
  PCCERT_CONTEXT certificate = nullptr;
  if (QueryContextAttributesA(&channel.context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) !=
          SEC_E_OK ||
      certificate == nullptr) {
    return fail(failure, TlsStep::Certificate, "the server sent no certificate");
  }
  std::string detail;
  const int64_t left = deadline - clock().deadlineMilliseconds();
  const TrustVerdict verdict = verifyServerCertificate(
      certificate, hostName, anchors, static_cast<int>(left > 0 ? left : 0), detail);
  CertFreeCertificateContext(certificate);
  if (verdict != TrustVerdict::Trusted) return fail(failure, TlsStep::Certificate, detail);
  return true;
}

}  // namespace

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

bool openSession(TlsChannel& channel, const std::string& hostName, HCERTSTORE anchors,
                 int64_t deadline, TlsFailure& failure) {
  const SECURITY_STATUS status = acquireCredentials(channel.credentials);
  channel.haveCredentials = status == SEC_E_OK;
  if (!channel.haveCredentials) {
    return fail(failure, TlsStep::Handshake, withCode("no TLS credentials", status));
  }
  // The name goes out as server name indication; an address does not.
  const char* target = isAddress(hostName) ? nullptr : hostName.c_str();
  return handshake(channel, target, deadline, failure) && agreedOnTls12OrLater(channel, failure) &&
         verifyPeer(channel, hostName, anchors, deadline, failure) &&
         (QueryContextAttributesA(&channel.context, SECPKG_ATTR_STREAM_SIZES, &channel.sizes) ==
              SEC_E_OK ||
          fail(failure, TlsStep::Handshake, "no record sizes"));
}

}  // namespace veltrum
