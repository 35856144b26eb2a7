// The TLS channel on Windows: Schannel through SSPI, the system's own TLS,
// nothing to ship. Schannel only turns bytes into records and back; every
// byte travels through the network functions, so the deadlines of the plain
// dialog hold. Deadlines go by the installed clock, so a test's scripted
// peer can stand in for the server without making the test wait. This file
// holds the record layer; the handshake is in schannel_handshake_win32.cpp.
#include "platform/net/tls_channel.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/clock.h"
#include "platform/net/certificate_trust_win32.h"
#include "platform/net/network.h"
#include "platform/net/schannel_session_win32.h"

namespace veltrum {

namespace {

constexpr char kAlertRecord = 21;

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
  const int64_t deadline =
      clock().deadlineMilliseconds() + static_cast<int64_t>(timeoutSeconds) * 1000;
  if (connection == nullptr) {
    failure = {TlsStep::Handshake, "no connection"};
    return nullptr;
  }
  HCERTSTORE anchors = nullptr;
  if (!caFile.empty()) {
    std::string detail;
    anchors = loadPemCertificates(caFile, detail);
    if (anchors == nullptr) {
      failure = {TlsStep::TrustStore, detail};
      return nullptr;
    }
  }
  TlsChannel* channel = new TlsChannel;
  channel->connection = connection;
  const bool ready = openSession(*channel, hostName, anchors, deadline, failure);
  if (anchors != nullptr) CertCloseStore(anchors, 0);
  if (!ready) {
    release(channel);
    return nullptr;
  }
  return channel;
}

bool tlsWaitUntilReadable(TlsChannel* channel, int timeoutMilliseconds) {
  const int64_t deadline = clock().deadlineMilliseconds() + timeoutMilliseconds;
  for (bool first = true;; first = false) {
    decryptWaiting(*channel);
    if (hasPlain(*channel) || channel->ended || channel->failed) return true;
    const int64_t left = deadline - clock().deadlineMilliseconds();
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
  if (channel->failed || channel->sizes.cbMaximumMessage == 0) return -1;
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
