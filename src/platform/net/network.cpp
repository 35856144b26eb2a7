#include "platform/net/network.h"

#include "platform/net/platform_network.h"

namespace veltrum {

namespace {
Network* installedNetwork = nullptr;
}

Network& network() {
  return installedNetwork != nullptr ? *installedNetwork : platformNetwork();
}

void setNetwork(Network* replacement) {
  installedNetwork = replacement;
}

bool startNetwork() {
  return network().startNetwork();
}

void endNetwork() {
  network().endNetwork();
}

TcpConnection* openTcpConnection(const std::string& host, int port, int timeoutSeconds,
                                 OpenFailure* failure) {
  OpenFailure ignored = OpenFailure::None;
  return network().openTcpConnection(host, port, timeoutSeconds,
                                     failure != nullptr ? failure : &ignored);
}

ConnectionEvent connectionEvent(TcpConnection* connection) {
  return network().connectionEvent(connection);
}

bool waitUntilReadable(TcpConnection* connection, int timeoutMilliseconds) {
  return network().waitUntilReadable(connection, timeoutMilliseconds);
}

int receiveBytes(TcpConnection* connection, char* buffer, int maxLength) {
  return network().receiveBytes(connection, buffer, maxLength);
}

int sendBytes(TcpConnection* connection, const char* buffer, int length) {
  return network().sendBytes(connection, buffer, length);
}

void closeTcpConnection(TcpConnection* connection) {
  network().closeTcpConnection(connection);
}

void delayMilliseconds(int milliseconds) {
  network().delayMilliseconds(milliseconds);
}

}  // namespace veltrum
