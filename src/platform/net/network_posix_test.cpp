#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/clock.h"
#include "platform/net/network.h"

namespace veltrum {
namespace {

// A listening socket on loopback; connections wait in its backlog until
// accepted.
class Listener {
 public:
  explicit Listener(int backlog = 4) {
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(socket_, reinterpret_cast<sockaddr*>(&address), size);
    listen(socket_, backlog);
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { close(socket_); }
  int port() const { return port_; }
  int accept() { return ::accept(socket_, nullptr, nullptr); }

 private:
  int socket_ = -1;
  int port_ = 0;
};

TEST(Network, RefusesWhatCannotBeAConnection) {
  Listener listener;
  EXPECT_EQ(openTcpConnection("", listener.port(), 5), nullptr);
  EXPECT_EQ(openTcpConnection("127.0.0.1", 0, 5), nullptr);
  EXPECT_EQ(openTcpConnection("127.0.0.1", 70000, 5), nullptr);
  EXPECT_EQ(openTcpConnection("127.0.0.1", -25, 5), nullptr);
  EXPECT_EQ(openTcpConnection("no-such-host.invalid", listener.port(), 5), nullptr);
  int closedPort = 0;
  {
    Listener gone;
    closedPort = gone.port();
  }
  EXPECT_EQ(openTcpConnection("127.0.0.1", closedPort, 5), nullptr);
}

TEST(Network, ConnectGivesUpAfterTheTimeLimit) {
  Listener full(0);  // one waiting connection fills it; later SYNs go unanswered
  TcpConnection* first = openTcpConnection("127.0.0.1", full.port(), 5);
  ASSERT_NE(first, nullptr);
  int64_t start = monotonicMilliseconds();
  TcpConnection* second = openTcpConnection("127.0.0.1", full.port(), 1);
  int64_t took = monotonicMilliseconds() - start;
  if (second != nullptr) {
    closeTcpConnection(second);
    GTEST_SKIP() << "this kernel accepted beyond the backlog";
  }
  EXPECT_GE(took, 900);
  EXPECT_LT(took, 5000);
  closeTcpConnection(first);
}

TEST(Network, EventsReportWithoutConsuming) {
  Listener listener;
  TcpConnection* connection = openTcpConnection("localhost", listener.port(), 5);
  ASSERT_NE(connection, nullptr);
  int peer = listener.accept();
  EXPECT_EQ(connectionEvent(connection), ConnectionEvent::Nothing);
  int64_t start = monotonicMilliseconds();
  EXPECT_FALSE(waitUntilReadable(connection, 50));
  EXPECT_GE(monotonicMilliseconds() - start, 45);

  ASSERT_EQ(write(peer, "220 hi\r\n", 8), 8);
  EXPECT_TRUE(waitUntilReadable(connection, 5000));
  EXPECT_EQ(connectionEvent(connection), ConnectionEvent::Data);
  EXPECT_EQ(connectionEvent(connection), ConnectionEvent::Data);
  char buffer[16];
  EXPECT_EQ(receiveBytes(connection, buffer, sizeof buffer), 8);
  EXPECT_EQ(std::string(buffer, 8), "220 hi\r\n");

  EXPECT_EQ(sendBytes(connection, "QUIT\r\n", 6), 6);
  EXPECT_EQ(read(peer, buffer, sizeof buffer), 6);
  close(peer);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(connectionEvent(connection), ConnectionEvent::Disconnected);
  EXPECT_TRUE(waitUntilReadable(connection, 5000));
  EXPECT_EQ(receiveBytes(connection, buffer, sizeof buffer), 0);
  closeTcpConnection(connection);
}

TEST(Network, SendingToAGonePeerFailsWithoutASignal) {
  Listener listener;
  TcpConnection* connection = openTcpConnection("127.0.0.1", listener.port(), 5);
  ASSERT_NE(connection, nullptr);
  close(listener.accept());
  std::vector<char> block(1 << 20, 'x');
  int result = 0;
  for (int i = 0; i < 20 && result >= 0; ++i) {
    result = sendBytes(connection, block.data(), static_cast<int>(block.size()));
  }
  EXPECT_LT(result, 0);  // and the process is still here
  closeTcpConnection(connection);
}

TEST(Network, SendingToAPeerThatReadsNothingGivesUp) {
  Listener listener;
  TcpConnection* connection = openTcpConnection("127.0.0.1", listener.port(), 1);
  ASSERT_NE(connection, nullptr);
  int peer = listener.accept();
  std::vector<char> block(64 << 20, 'x');
  int64_t start = monotonicMilliseconds();
  EXPECT_LT(sendBytes(connection, block.data(), static_cast<int>(block.size())), 0);
  EXPECT_LT(monotonicMilliseconds() - start, 10000);
  close(peer);
  closeTcpConnection(connection);
}

}  // namespace
}  // namespace veltrum
