// A thin TCP client layer for the mail transport: open, poll, wait, receive,
// send, close, and a pause. It knows nothing of SMTP. The free functions go
// to the installed Network: the platform's sockets unless a test or a fuzz
// target installed a scripted peer.
#pragma once

#include <string>

namespace veltrum {

// Opaque connection record; each platform defines it. A null pointer stands
// for "no connection".
struct TcpConnection;

// What a connection has to offer right now.
enum class ConnectionEvent {
  Nothing = 0,       // no byte waiting, the peer is still there
  Data = 2,          // at least one byte can be received
  Disconnected = 4,  // the peer has closed the connection or it failed
};

// Why a connection could not be opened.
enum class OpenFailure {
  None,
  NameNotResolved,  // the resolver knows no address for the name
  Refused,          // the host answered, but nothing listens on the port
  Unreachable,      // no route to the network or the host
  TimedOut,         // no answer within the time limit (resolver or connect)
  Failed,           // anything else (no socket, a port outside 1..65535, ...)
};

// Starts the platform's socket layer (Windows: WSAStartup 1.1). True when it
// is usable.
bool startNetwork();
// Ends it again (only after a successful start).
void endNetwork();

// Connects to `host` (a name or a numeric address) on `port`. Every address
// the name resolves to (IPv4 and IPv6) is tried in turn until one connects;
// all attempts together take at most `timeoutSeconds`. The same limit bounds
// each later send that finds the peer taking no bytes. Gives nullptr for an
// empty host, a port outside 1..65535, a name that does not resolve or no
// address that connected in time; no socket stays open then, and
// `failure` (when given) says why: what the last address tried met, or
// TimedOut when the limit ended the attempts.
TcpConnection* openTcpConnection(const std::string& host, int port, int timeoutSeconds,
                                 OpenFailure* failure = nullptr);

// Looks at the connection without waiting and without consuming anything.
ConnectionEvent connectionEvent(TcpConnection* connection);

// Blocks until a receive would return at once (bytes waiting, end of stream
// or an error), at most `timeoutMilliseconds`. True when it would; false when
// the time passed first.
bool waitUntilReadable(TcpConnection* connection, int timeoutMilliseconds);

// One receive of at most `maxLength` bytes into `buffer` (not terminated);
// waits until at least one byte, end of stream or an error. The number of
// bytes, 0 when the peer has closed, negative on an error.
int receiveBytes(TcpConnection* connection, char* buffer, int maxLength);

// Sends the whole block, continuing partial sends. `length` when all bytes
// went out; negative when the connection failed or the peer took nothing for
// the time limit given at open. A closed peer never ends the process (no
// SIGPIPE).
int sendBytes(TcpConnection* connection, const char* buffer, int length);

// Closes the socket and releases the record; the pointer is invalid after.
void closeTcpConnection(TcpConnection* connection);

// Pauses the calling thread (Windows: with the timer resolution raised to
// 1 ms around the sleep).
void delayMilliseconds(int milliseconds);

// The same operations as a replaceable whole. A double hands out connection
// pointers of its own making (never dereferenced outside it) and gets only
// those back.
class Network {
 public:
  virtual ~Network() = default;
  virtual bool startNetwork() = 0;
  virtual void endNetwork() = 0;
  virtual TcpConnection* openTcpConnection(const std::string& host, int port, int timeoutSeconds,
                                           OpenFailure* failure) = 0;
  virtual ConnectionEvent connectionEvent(TcpConnection* connection) = 0;
  virtual bool waitUntilReadable(TcpConnection* connection, int timeoutMilliseconds) = 0;
  virtual int receiveBytes(TcpConnection* connection, char* buffer, int maxLength) = 0;
  virtual int sendBytes(TcpConnection* connection, const char* buffer, int length) = 0;
  virtual void closeTcpConnection(TcpConnection* connection) = 0;
  virtual void delayMilliseconds(int milliseconds) = 0;
};

// The network in use: the platform's unless a test installed another.
Network& network();
// Installs `replacement` (nullptr restores the real one). Tests only.
void setNetwork(Network* replacement);

}  // namespace veltrum
