// The Schannel session behind the TLS channel on Windows, shared by the
// handshake (schannel_handshake_win32.cpp) and the record layer
// (tls_channel_win32.cpp). For those two files only.
#pragma once

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

#include <cstdint>
#include <string>

#include "platform/net/tls_channel.h"

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

// What the client asks of every call of InitializeSecurityContext.
inline constexpr DWORD kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                  ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                                  ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                  ISC_REQ_MANUAL_CRED_VALIDATION;

// One receive takes at most a record of the largest size with its overhead.
inline constexpr int kReadChunk = 16 * 1024 + 512;

// Credentials, the handshake over the channel's connection until
// `deadline`, the agreed protocol, the server's certificate against the
// system's roots and `anchors` (may be nullptr) for `hostName`, and the
// record sizes. False with `failure` filled when a step fails; the channel
// is then the caller's to release.
bool openSession(TlsChannel& channel, const std::string& hostName, HCERTSTORE anchors,
                 int64_t deadline, TlsFailure& failure);

// Feeds the received bytes to the handshake once: sends what Schannel
// answers (`sent` false when that failed) and keeps only the bytes it did
// not take. Also for handshake messages after the first handshake.
SECURITY_STATUS stepHandshake(TlsChannel& channel, const char* target, bool& sent);

// Sends a token Schannel produced, and releases it.
bool sendToken(TlsChannel& channel, SecBuffer& token);

}  // namespace veltrum
