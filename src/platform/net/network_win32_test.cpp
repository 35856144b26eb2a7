#include <gtest/gtest.h>
// winsock2.h must come before windows.h.
#include <winsock2.h>
//
#include <ws2tcpip.h>
//
#include <windows.h>

#include "platform/core/clock.h"
#include "platform/net/network.h"

namespace veltrum {
namespace {

// A listening socket on a free loopback port.
class Listener {
 public:
  Listener() {
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(socket_, 4);
    int size = sizeof address;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { closesocket(socket_); }
  SOCKET accept() { return ::accept(socket_, nullptr, nullptr); }
  int port() const { return port_; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  int port_ = 0;
};

class NetworkWin32 : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(startNetwork()); }
  void TearDown() override { endNetwork(); }
};

TEST_F(NetworkWin32, EventsReceiveAndSendOnLoopback) {
  Listener listener;
  TcpConnection* connection = openTcpConnection("127.0.0.1", listener.port(), 5);
  ASSERT_NE(connection, nullptr);
  SOCKET peer = listener.accept();
  ASSERT_NE(peer, INVALID_SOCKET);

  EXPECT_EQ(connectionEvent(connection), ConnectionEvent::Nothing);
  EXPECT_FALSE(waitUntilReadable(connection, 50));
  ::send(peer, "220 ready\r\n", 11, 0);
  EXPECT_TRUE(waitUntilReadable(connection, 5000));
  EXPECT_EQ(connectionEvent(connection), ConnectionEvent::Data);
  EXPECT_EQ(connectionEvent(connection), ConnectionEvent::Data);  // nothing consumed
  char buffer[64];
  EXPECT_EQ(receiveBytes(connection, buffer, sizeof buffer), 11);
  EXPECT_EQ(std::string(buffer, 11), "220 ready\r\n");

  const std::string block(200000, 'm');
  EXPECT_EQ(sendBytes(connection, block.data(), static_cast<int>(block.size())), 200000);
  size_t got = 0;
  while (got < block.size()) {
    char chunk[65536];
    const int count = ::recv(peer, chunk, sizeof chunk, 0);
    ASSERT_GT(count, 0);
    got += static_cast<size_t>(count);
  }

  closesocket(peer);
  EXPECT_TRUE(waitUntilReadable(connection, 5000));
  EXPECT_EQ(connectionEvent(connection), ConnectionEvent::Disconnected);
  EXPECT_EQ(connectionEvent(connection), ConnectionEvent::Disconnected);
  EXPECT_EQ(receiveBytes(connection, buffer, sizeof buffer), 0);
  closeTcpConnection(connection);
}

TEST_F(NetworkWin32, NamesResolveAndFailuresGiveNothing) {
  Listener listener;
  TcpConnection* byName = openTcpConnection("localhost", listener.port(), 5);
  ASSERT_NE(byName, nullptr);
  closeTcpConnection(byName);
  EXPECT_EQ(openTcpConnection("", listener.port(), 5), nullptr);
  EXPECT_EQ(openTcpConnection("127.0.0.1", 0, 5), nullptr);
  EXPECT_EQ(openTcpConnection("127.0.0.1", 65536, 5), nullptr);
  EXPECT_EQ(openTcpConnection("no-such-host.invalid", 25, 5), nullptr);
}

TEST_F(NetworkWin32, ARefusedConnectGivesNothing) {
  int port = 0;
  {
    Listener closed;
    port = closed.port();
  }
  EXPECT_EQ(openTcpConnection("127.0.0.1", port, 5), nullptr);
}

TEST_F(NetworkWin32, DelayWaitsAtLeastTheTime) {
  const int64_t start = monotonicMilliseconds();
  delayMilliseconds(30);
  EXPECT_GE(monotonicMilliseconds() - start, 25);
  delayMilliseconds(0);
}

}  // namespace
}  // namespace veltrum
