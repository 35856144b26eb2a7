#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "platform/core/clock.h"
#include "platform/net/name_lookup.h"
#include "platform/net/platform_network.h"

namespace veltrum {

struct TcpConnection {
  int socket = -1;
  int stallMilliseconds = 0;  // how long a send may find the peer taking nothing
};

namespace {

#ifdef MSG_NOSIGNAL
constexpr int kNoSignal = MSG_NOSIGNAL;
#else
constexpr int kNoSignal = 0;  // SO_NOSIGPIPE is set on the socket instead
#endif

// poll() for one socket, restarted after signals with the time that is left.
int pollOne(int socket, short events, int timeoutMilliseconds, short* revents) {
  int64_t deadline = monotonicMilliseconds() + timeoutMilliseconds;
  for (;;) {
    struct pollfd entry = {socket, events, 0};
    int result = poll(&entry, 1, timeoutMilliseconds);
    if (result >= 0 || errno != EINTR) {
      *revents = entry.revents;
      return result;
    }
    int64_t left = deadline - monotonicMilliseconds();
    timeoutMilliseconds = left > 0 ? static_cast<int>(left) : 0;
  }
}

bool setNonBlocking(int socket, bool on) {
  int flags = fcntl(socket, F_GETFL, 0);
  if (flags < 0) return false;
  flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return fcntl(socket, F_SETFL, flags) == 0;
}

OpenFailure failureOf(int error) {
  switch (error) {
    case ECONNREFUSED:
      return OpenFailure::Refused;
    case ENETUNREACH:
    case EHOSTUNREACH:
      return OpenFailure::Unreachable;
    case ETIMEDOUT:
      return OpenFailure::TimedOut;
    default:
      return OpenFailure::Failed;
  }
}

// Connects one resolved address within the time left; the socket, or -1
// with `failure` set.
int connectAddress(const ResolvedAddress& address, int64_t deadline, OpenFailure* failure) {
  *failure = OpenFailure::Failed;
  int socket = ::socket(address.family, address.socketType | SOCK_CLOEXEC, address.protocol);
  if (socket < 0) return -1;
#ifndef MSG_NOSIGNAL
  int one = 1;
  setsockopt(socket, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
  // Copied for the alignment a socket address needs.
  struct sockaddr_storage target = {};
  address.socketAddress.copy(reinterpret_cast<char*>(&target), sizeof target);
  const socklen_t length = static_cast<socklen_t>(address.socketAddress.size());
  bool connected = false;
  if (setNonBlocking(socket, true)) {
    if (connect(socket, reinterpret_cast<const struct sockaddr*>(&target), length) == 0) {
      connected = true;
    } else if (errno == EINPROGRESS || errno == EINTR) {
      int64_t left = deadline - monotonicMilliseconds();
      short revents = 0;
      *failure = OpenFailure::TimedOut;
      if (left > 0 && pollOne(socket, POLLOUT, static_cast<int>(left), &revents) > 0) {
        int error = 0;
        socklen_t size = sizeof error;
        connected = getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
        if (!connected) *failure = failureOf(error);
      }
    } else {
      *failure = failureOf(errno);
    }
  }
  if (connected && setNonBlocking(socket, false)) return socket;
  close(socket);
  return -1;
}

}  // namespace

bool PlatformNetwork::startNetwork() {
  return true;
}

void PlatformNetwork::endNetwork() {}

TcpConnection* PlatformNetwork::openTcpConnection(const std::string& host, int port,
                                                  int timeoutSeconds, OpenFailure* failure) {
  *failure = OpenFailure::Failed;
  if (host.empty() || port < 1 || port > 65535) return nullptr;
  int64_t deadline = monotonicMilliseconds() + static_cast<int64_t>(timeoutSeconds) * 1000;
  // The resolver gets what is left of the same limit as the connection
  // attempts, and fails like them when that is not enough.
  std::vector<ResolvedAddress> addresses;
  bool timedOut = false;
  if (!resolveName(host, port, deadline - monotonicMilliseconds(), &addresses, &timedOut)) {
    *failure = timedOut ? OpenFailure::TimedOut : OpenFailure::NameNotResolved;
    return nullptr;
  }
  int socket = -1;
  for (const ResolvedAddress& address : addresses) {
    if (socket >= 0) break;
    if (monotonicMilliseconds() >= deadline) {
      *failure = OpenFailure::TimedOut;
      break;
    }
    socket = connectAddress(address, deadline, failure);
  }
  if (socket < 0) return nullptr;
  *failure = OpenFailure::None;
  return new TcpConnection{socket, timeoutSeconds * 1000};
}

ConnectionEvent PlatformNetwork::connectionEvent(TcpConnection* connection) {
  int waiting = 0;
  if (ioctl(connection->socket, FIONREAD, &waiting) != 0) return ConnectionEvent::Disconnected;
  if (waiting > 0) return ConnectionEvent::Data;
  short revents = 0;
  int result = pollOne(connection->socket, POLLIN, 0, &revents);
  if (result < 0 || (result > 0 && revents != 0)) return ConnectionEvent::Disconnected;
  return ConnectionEvent::Nothing;
}

bool PlatformNetwork::waitUntilReadable(TcpConnection* connection, int timeoutMilliseconds) {
  short revents = 0;
  int result = pollOne(connection->socket, POLLIN,
                       timeoutMilliseconds < 0 ? 0 : timeoutMilliseconds, &revents);
  return result != 0;  // ready, or poll itself failed: a receive will not wait
}

int PlatformNetwork::receiveBytes(TcpConnection* connection, char* buffer, int maxLength) {
  for (;;) {
    ssize_t count = recv(connection->socket, buffer, static_cast<size_t>(maxLength), 0);
    if (count >= 0 || errno != EINTR) return static_cast<int>(count);
  }
}

int PlatformNetwork::sendBytes(TcpConnection* connection, const char* buffer, int length) {
  int sent = 0;
  while (sent < length) {
    short revents = 0;
    if (pollOne(connection->socket, POLLOUT, connection->stallMilliseconds, &revents) <= 0) {
      return -1;
    }
    ssize_t count = send(connection->socket, buffer + sent, static_cast<size_t>(length - sent),
                         MSG_DONTWAIT | kNoSignal);
    if (count < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return -1;
    }
    sent += static_cast<int>(count);
  }
  return sent;
}

void PlatformNetwork::closeTcpConnection(TcpConnection* connection) {
  if (connection == nullptr) return;
  close(connection->socket);
  delete connection;
}

void PlatformNetwork::delayMilliseconds(int milliseconds) {
  if (milliseconds <= 0) return;
  struct timespec wanted = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&wanted, &wanted) != 0 && errno == EINTR) {
  }
}

Network& platformNetwork() {
  static PlatformNetwork sockets;
  return sockets;
}

}  // namespace veltrum
