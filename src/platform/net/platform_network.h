// The platform's own sockets behind the network interface; one definition
// each in network_posix.cpp and network_win32.cpp.
#pragma once

#include <string>

#include "platform/net/network.h"

namespace veltrum {

class PlatformNetwork final : public Network {
 public:
  bool startNetwork() override;
  void endNetwork() override;
  TcpConnection* openTcpConnection(const std::string& host, int port, int timeoutSeconds,
                                   OpenFailure* failure) override;
  ConnectionEvent connectionEvent(TcpConnection* connection) override;
  bool waitUntilReadable(TcpConnection* connection, int timeoutMilliseconds) override;
  int receiveBytes(TcpConnection* connection, char* buffer, int maxLength) override;
  int sendBytes(TcpConnection* connection, const char* buffer, int length) override;
  void closeTcpConnection(TcpConnection* connection) override;
  void delayMilliseconds(int milliseconds) override;
};

// The one instance, used unless a test installed another network.
Network& platformNetwork();

}  // namespace veltrum
