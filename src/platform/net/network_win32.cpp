// Winsock (requested as version 1.1), with getaddrinfo for names and
// addresses of both families.
// winsock2.h must come before windows.h, and mmsystem.h after it.
#include <winsock2.h>
//
#include <ws2tcpip.h>
//
#include <windows.h>
//
#include <mmsystem.h>

#include <cstdio>
#include <vector>

#include "platform/core/clock.h"
#include "platform/net/name_lookup.h"
#include "platform/net/platform_network.h"

namespace veltrum {

struct TcpConnection {
  SOCKET socket = INVALID_SOCKET;
  int stallMilliseconds = 0;  // how long a send may find the peer taking nothing
};

namespace {

bool networkStarted = false;

timeval toTimeval(int64_t milliseconds) {
  if (milliseconds < 0) milliseconds = 0;
  timeval value;
  value.tv_sec = static_cast<long>(milliseconds / 1000);
  value.tv_usec = static_cast<long>((milliseconds % 1000) * 1000);
  return value;
}

// select() for one socket: readable, writable, or writable-or-failed for a
// connect. The count of ready sets, 0 after the time-out, negative on error.
enum class Readiness { Read, Write, Connect };
int waitFor(SOCKET socket, Readiness readiness, int64_t milliseconds) {
  fd_set wanted;
  fd_set failed;
  FD_ZERO(&wanted);
  FD_ZERO(&failed);
  FD_SET(socket, &wanted);
  FD_SET(socket, &failed);
  timeval timeout = toTimeval(milliseconds);
  switch (readiness) {
    case Readiness::Read:
      return select(0, &wanted, nullptr, nullptr, &timeout);
    case Readiness::Write:
      return select(0, nullptr, &wanted, nullptr, &timeout);
    case Readiness::Connect:
    default:
      // Windows reports a refused connect in the exception set.
      return select(0, nullptr, &wanted, &failed, &timeout);
  }
}

bool setNonBlocking(SOCKET socket, bool on) {
  u_long mode = on ? 1 : 0;
  return ioctlsocket(socket, FIONBIO, &mode) == 0;
}

OpenFailure failureOf(int error) {
  switch (error) {
    case WSAECONNREFUSED:
      return OpenFailure::Refused;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
      return OpenFailure::Unreachable;
    case WSAETIMEDOUT:
      return OpenFailure::TimedOut;
    default:
      return OpenFailure::Failed;
  }
}

// Connects one resolved address within the time left; the socket, or none
// with `failure` set.
SOCKET connectAddress(const ResolvedAddress& address, int64_t deadline, OpenFailure* failure) {
  *failure = OpenFailure::Failed;
  SOCKET socket = ::socket(address.family, address.socketType, address.protocol);
  if (socket == INVALID_SOCKET) return INVALID_SOCKET;
  // The handle must not leak into programs that the exec action starts.
  SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
  // Copied for the alignment a socket address needs.
  SOCKADDR_STORAGE target = {};
  address.socketAddress.copy(reinterpret_cast<char*>(&target), sizeof target);
  const int length = static_cast<int>(address.socketAddress.size());
  bool connected = false;
  if (setNonBlocking(socket, true)) {
    if (connect(socket, reinterpret_cast<const sockaddr*>(&target), length) == 0) {
      connected = true;
    } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
      const int64_t left = deadline - monotonicMilliseconds();
      *failure = OpenFailure::TimedOut;
      if (left > 0 && waitFor(socket, Readiness::Connect, left) > 0) {
        int error = 0;
        int size = sizeof error;
        connected =
            getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0 &&
            error == 0;
        if (!connected) *failure = failureOf(error);
      }
    } else {
      *failure = failureOf(WSAGetLastError());
    }
  }
  if (connected && setNonBlocking(socket, false)) return socket;
  closesocket(socket);
  return INVALID_SOCKET;
}

}  // namespace

bool PlatformNetwork::startNetwork() {
  if (networkStarted) return true;
  WSADATA details;
  networkStarted = WSAStartup(MAKEWORD(1, 1), &details) == 0;
  return networkStarted;
}

void PlatformNetwork::endNetwork() {
  if (!networkStarted) return;
  WSACleanup();
  networkStarted = false;
}

TcpConnection* PlatformNetwork::openTcpConnection(const std::string& host, int port,
                                                  int timeoutSeconds, OpenFailure* failure) {
  *failure = OpenFailure::Failed;
  if (host.empty() || port < 1 || port > 65535) return nullptr;
  const int64_t deadline = monotonicMilliseconds() + static_cast<int64_t>(timeoutSeconds) * 1000;
  // The resolver gets what is left of the same limit as the connection
  // attempts, and fails like them when that is not enough.
  std::vector<ResolvedAddress> addresses;
  bool timedOut = false;
  if (!resolveName(host, port, deadline - monotonicMilliseconds(), &addresses, &timedOut)) {
    *failure = timedOut ? OpenFailure::TimedOut : OpenFailure::NameNotResolved;
    return nullptr;
  }
  SOCKET socket = INVALID_SOCKET;
  for (const ResolvedAddress& address : addresses) {
    if (socket != INVALID_SOCKET) break;
    if (monotonicMilliseconds() >= deadline) {
      *failure = OpenFailure::TimedOut;
      break;
    }
    socket = connectAddress(address, deadline, failure);
  }
  if (socket == INVALID_SOCKET) return nullptr;
  *failure = OpenFailure::None;
  return new TcpConnection{socket, timeoutSeconds * 1000};
}

ConnectionEvent PlatformNetwork::connectionEvent(TcpConnection* connection) {
  u_long waiting = 0;
  if (ioctlsocket(connection->socket, FIONREAD, &waiting) != 0) {
    return ConnectionEvent::Disconnected;
  }
  if (waiting > 0) return ConnectionEvent::Data;
  // Readable with nothing waiting: the peer has closed, or the socket failed.
  const int ready = waitFor(connection->socket, Readiness::Read, 0);
  return ready != 0 ? ConnectionEvent::Disconnected : ConnectionEvent::Nothing;
}

bool PlatformNetwork::waitUntilReadable(TcpConnection* connection, int timeoutMilliseconds) {
  // Ready, or select itself failed: a receive will not wait either way.
  return waitFor(connection->socket, Readiness::Read, timeoutMilliseconds) != 0;
}

int PlatformNetwork::receiveBytes(TcpConnection* connection, char* buffer, int maxLength) {
  return recv(connection->socket, buffer, maxLength, 0);
}

int PlatformNetwork::sendBytes(TcpConnection* connection, const char* buffer, int length) {
  // A blocking send waits until every byte is queued, without a limit; the
  // socket is non-blocking for the send alone, so a stalled peer is given
  // up after the limit.
  if (!setNonBlocking(connection->socket, true)) return -1;
  int sent = 0;
  while (sent < length) {
    const int count = send(connection->socket, buffer + sent, length - sent, 0);
    if (count == SOCKET_ERROR) {
      if (WSAGetLastError() == WSAEWOULDBLOCK &&
          waitFor(connection->socket, Readiness::Write, connection->stallMilliseconds) > 0) {
        continue;
      }
      sent = -1;
      break;
    }
    sent += count;
  }
  if (!setNonBlocking(connection->socket, false)) return -1;
  return sent;
}

void PlatformNetwork::closeTcpConnection(TcpConnection* connection) {
  if (connection == nullptr) return;
  closesocket(connection->socket);
  delete connection;
}

void PlatformNetwork::delayMilliseconds(int milliseconds) {
  if (milliseconds <= 0) return;
  timeBeginPeriod(1);
  Sleep(static_cast<DWORD>(milliseconds));
  timeEndPeriod(1);
}

Network& platformNetwork() {
  static PlatformNetwork sockets;
  return sockets;
}

}  // namespace veltrum
