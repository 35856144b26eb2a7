// TLS for the mail connection, client side only. OpenSSL on POSIX, Schannel
// on Windows; the mail code sees only this header.
//
// The channel rides on a TCP connection the caller opened (network.h) and
// still owns: its raw bytes travel through the network functions, so a
// handshake and every record share the deadlines of the plain dialog. The
// server's certificate is always verified (a chain to the system's trust
// store or to a certificate of the CA file, and the host name); there is no
// way to turn that off.
#pragma once

#include <string>

namespace veltrum {

struct TcpConnection;

// Opaque channel record; each platform defines it.
struct TlsChannel;

// Which step of setting up TLS failed.
enum class TlsStep {
  None,
  TrustStore,   // the CA file or the system's store could not be loaded
  Handshake,    // no TLS peer, a protocol below TLS 1.2, the peer closed,
                // garbage instead of records, or no progress within the limit
  Certificate,  // the chain does not end in a trusted certificate, or the
                // certificate does not name the host
};

struct TlsFailure {
  TlsStep step = TlsStep::None;
  // The library's own short reason (ASCII, one line, never a secret), for
  // the report; may be empty.
  std::string detail;
};

// True when `caFile` can serve as extra trust anchors: a regular file
// holding at least one PEM certificate. An empty name (system store only) is
// usable. Opens no connection.
bool trustFileUsable(const std::string& caFile);

// Runs the client handshake over `connection` with TLS 1.2 or later, sending
// `hostName` as server name indication when it is a name (not an address).
// Verifies the chain against the system's store plus the certificates of
// `caFile` (may be empty) and that the certificate names `hostName`
// (RFC 6125: DNS names with a left-most wildcard, IP addresses against IP
// entries). The whole handshake takes at most `timeoutSeconds`. Gives the
// channel, or nullptr with `failure` filled; `connection` stays open either
// way and is the caller's to close.
TlsChannel* startTls(TcpConnection* connection, const std::string& hostName,
                     const std::string& caFile, int timeoutSeconds, TlsFailure& failure);

// Blocks until tlsReceive would return at once (decrypted bytes waiting, the
// end of the stream or an error), at most `timeoutMilliseconds`. Records
// that carry no data (session tickets) are taken in without ending the wait.
bool tlsWaitUntilReadable(TlsChannel* channel, int timeoutMilliseconds);

// Plaintext out of the channel: the number of bytes (at most `maxLength`), 0
// when the peer ended the stream, negative on an error. Waits like
// receiveBytes when nothing is there yet.
int tlsReceive(TlsChannel* channel, char* buffer, int maxLength);

// Sends the whole block encrypted: `length`, or negative when the
// connection failed or the peer took nothing for the connection's limit.
int tlsSend(TlsChannel* channel, const char* buffer, int length);

// Sends the closing alert when it can go out without waiting, then releases
// the record; the pointer is invalid after. The TCP connection stays open.
void endTls(TlsChannel* channel);

}  // namespace veltrum
