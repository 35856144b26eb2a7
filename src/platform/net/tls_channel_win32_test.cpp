// The Schannel channel against real TLS peers on loopback: a Python program
// of the tree (tls_peer_for_tests.py) with certificates made at start.
// Under Wine it runs as a host program; a host path /x is Z:\x here. On
// Windows itself there is no such peer and the tests are skipped.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <map>
#include <string>

#include "platform/core/clock.h"
#include "platform/net/network.h"
#include "platform/net/tls_channel.h"
#include "support/test_folder_win32.h"

namespace veltrum {
namespace {

const char kHostPython[] = "Z:\\usr\\bin\\python3";

bool underWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string windowsPath(const std::string& hostPath) {
  std::string path = "Z:" + hostPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// The peer program: its ports by behaviour and the folder of its files.
class TlsPeers {
 public:
  // Empty `problem` when the peers listen.
  bool start(std::string& problem) {
    // Wine reuses small process numbers; the tick count keeps runs apart.
    hostFolder_ = "/tmp/veltrum-tls-" + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(GetTickCount64());
    folder_ = windowsPath(hostFolder_);
    if (!CreateDirectoryA(folder_.c_str(), nullptr)) {
      problem = "no folder " + folder_;
      return false;
    }
    std::string command = std::string(kHostPython) + " " + VELTRUM_SOURCE_DIR +
                          "/tests/support/tls_peer_for_tests.py " + hostFolder_;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      problem = "the peer program does not start";
      return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Certificates and ports take well under a second; a loaded machine more.
    for (int tries = 0; tries < 300 && ports_.empty(); ++tries) {
      delayMilliseconds(100);
      std::ifstream list(file("peers.txt"));
      std::string name;
      int port = 0;
      while (list >> name >> port) ports_[name] = port;
    }
    if (ports_.empty()) problem = "the peer program did not come up within 30 s";
    return problem.empty();
  }

  void stop() {
    if (ports_.count("stop") != 0) {
      TcpConnection* connection = openTcpConnection("127.0.0.1", ports_["stop"], 5);
      if (connection != nullptr) closeTcpConnection(connection);
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        DeleteFileA(file(found.cFileName).c_str());
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(folder_.c_str());
  }

  int port(const std::string& name) { return ports_.at(name); }
  std::string file(const std::string& name) const { return folder_ + "\\" + name; }

 private:
  std::string hostFolder_;
  std::string folder_;
  std::map<std::string, int> ports_;
};

class TlsChannelWin32 : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    startNetwork();
    if (!underWine() || GetFileAttributesA(kHostPython) == INVALID_FILE_ATTRIBUTES) {
      skipReason_ = "the TLS peers run as host programs under Wine only";
      return;
    }
    peers_ = new TlsPeers;
    peers_->start(startProblem_);
  }
  static void TearDownTestSuite() {
    if (peers_ != nullptr) peers_->stop();
    delete peers_;
    peers_ = nullptr;
    endNetwork();
  }
  void SetUp() override {
    if (!skipReason_.empty()) GTEST_SKIP() << skipReason_;
    ASSERT_EQ(startProblem_, "");
  }

  static TcpConnection* connect(const std::string& peer) {
    return openTcpConnection("127.0.0.1", peers_->port(peer), 5);
  }
  static std::string caFile(const std::string& name) {
    return name.empty() || name.find('\\') != std::string::npos ? name : peers_->file(name);
  }

  static TlsPeers* peers_;
  static std::string skipReason_;
  static std::string startProblem_;
};

TlsPeers* TlsChannelWin32::peers_ = nullptr;
std::string TlsChannelWin32::skipReason_;
std::string TlsChannelWin32::startProblem_;

struct HandshakeCase {
  const char* peer;
  const char* host;
  const char* caFile;
  TlsStep step;
  const char* detail;  // part of the failure's detail
};

TEST_F(TlsChannelWin32, HandshakeVerifiesChainAndName) {
  const HandshakeCase cases[] = {
      {"good", "localhost", "ca.pem", TlsStep::None, ""},
      {"good", "LocalHost", "ca.pem", TlsStep::None, ""},
      {"good", "127.0.0.1", "ca.pem", TlsStep::None, ""},
      {"good", "mail.wild.test", "ca.pem", TlsStep::None, ""},
      {"good", "localhost", "two-cas.pem", TlsStep::None, ""},
      {"chain", "localhost", "ca.pem", TlsStep::None, ""},
      {"selfsigned", "localhost", "selfsigned.pem", TlsStep::None, ""},
      {"tls12", "localhost", "ca.pem", TlsStep::None, ""},
      {"good", "other.example", "ca.pem", TlsStep::Certificate, "does not name the host"},
      {"good", "a.mail.wild.test", "ca.pem", TlsStep::Certificate, "does not name the host"},
      {"good", "wild.test", "ca.pem", TlsStep::Certificate, "does not name the host"},
      {"good", "127.0.0.2", "ca.pem", TlsStep::Certificate, "does not name the host"},
      {"good", "localhost", "", TlsStep::Certificate, "issuer not trusted"},
      {"good", "localhost", "other-ca.pem", TlsStep::Certificate, "issuer not trusted"},
      {"untrusted", "localhost", "ca.pem", TlsStep::Certificate, "issuer not trusted"},
      {"selfsigned", "localhost", "ca.pem", TlsStep::Certificate, "issuer not trusted"},
      {"expired", "localhost", "ca.pem", TlsStep::Certificate, "expired"},
      {"good", "localhost", "missing.pem", TlsStep::TrustStore, "not found"},
      {"tls11", "localhost", "ca.pem", TlsStep::Handshake, ""},
      {"garbage", "localhost", "ca.pem", TlsStep::Handshake, "no TLS peer"},
      {"closes", "localhost", "ca.pem", TlsStep::Handshake, "closed"},
  };
  for (const HandshakeCase& test : cases) {
    SCOPED_TRACE(std::string(test.peer) + " as " + test.host + " with " + test.caFile);
    TcpConnection* connection = connect(test.peer);
    ASSERT_NE(connection, nullptr);
    TlsFailure failure;
    TlsChannel* channel = startTls(connection, test.host, caFile(test.caFile), 10, failure);
    EXPECT_EQ(channel != nullptr, test.step == TlsStep::None);
    EXPECT_EQ(failure.step, test.step);
    EXPECT_NE(failure.detail.find(test.detail), std::string::npos) << failure.detail;
    for (char c : failure.detail) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << failure.detail;
    endTls(channel);
    closeTcpConnection(connection);
  }
}

TEST_F(TlsChannelWin32, AStalledHandshakeEndsWithinTheLimit) {
  for (const char* peer : {"silent", "trickle"}) {
    SCOPED_TRACE(peer);
    TcpConnection* connection = connect(peer);
    ASSERT_NE(connection, nullptr);
    TlsFailure failure;
    const int64_t start = monotonicMilliseconds();
    EXPECT_EQ(startTls(connection, "localhost", peers_->file("ca.pem"), 2, failure), nullptr);
    const int64_t took = monotonicMilliseconds() - start;
    EXPECT_EQ(failure.step, TlsStep::Handshake);
    EXPECT_NE(failure.detail.find("time limit"), std::string::npos) << failure.detail;
    EXPECT_GE(took, 1900);
    EXPECT_LT(took, 3500);
    closeTcpConnection(connection);
  }
}

// Reads exactly `length` bytes, waiting at most five seconds for each part.
std::string receiveExactly(TlsChannel* channel, size_t length) {
  std::string got;
  char chunk[8192];
  while (got.size() < length && tlsWaitUntilReadable(channel, 5000)) {
    const int count = tlsReceive(channel, chunk, sizeof chunk);
    if (count <= 0) break;
    got.append(chunk, static_cast<size_t>(count));
  }
  return got;
}

TEST_F(TlsChannelWin32, DataBothWaysThenTheServerEndsTheStream) {
  TcpConnection* connection = connect("good");
  ASSERT_NE(connection, nullptr);
  TlsFailure failure;
  TlsChannel* channel = startTls(connection, "localhost", peers_->file("ca.pem"), 10, failure);
  ASSERT_NE(channel, nullptr) << failure.detail;

  // Only records without data (session tickets) may come before we send.
  EXPECT_FALSE(tlsWaitUntilReadable(channel, 300));
  std::string block;
  for (int i = 0; block.size() < 100000; ++i) block += "line " + std::to_string(i) + "\r\n";
  ASSERT_EQ(tlsSend(channel, block.data(), static_cast<int>(block.size())),
            static_cast<int>(block.size()));
  EXPECT_EQ(receiveExactly(channel, block.size()), block);

  // The peer answers "bye" with its closing alert: the end, and it stays so.
  ASSERT_EQ(tlsSend(channel, "bye\n", 4), 4);
  EXPECT_EQ(receiveExactly(channel, 4), "bye\n");
  EXPECT_TRUE(tlsWaitUntilReadable(channel, 5000));
  char rest[16];
  EXPECT_EQ(tlsReceive(channel, rest, sizeof rest), 0);
  EXPECT_EQ(tlsReceive(channel, rest, sizeof rest), 0);
  endTls(channel);
  closeTcpConnection(connection);
}

TEST_F(TlsChannelWin32, ANameGoesOutAsServerNameAnAddressDoesNot) {
  const struct {
    const char* host;
    const char* serverName;
  } cases[] = {{"localhost", "localhost"}, {"127.0.0.1", "-"}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.host);
    DeleteFileA(peers_->file("server-name.txt").c_str());
    TcpConnection* connection = connect("server-name");
    ASSERT_NE(connection, nullptr);
    TlsFailure failure;
    TlsChannel* channel = startTls(connection, test.host, peers_->file("ca.pem"), 10, failure);
    EXPECT_NE(channel, nullptr) << failure.detail;
    endTls(channel);
    closeTcpConnection(connection);
    EXPECT_EQ(TestFolder::read(peers_->file("server-name.txt")), test.serverName);
  }
}

TEST_F(TlsChannelWin32, APeerThatClosesWithoutTheAlert) {
  // Between records that is the end of the stream; within one an error.
  const struct {
    const char* peer;
    const char* data;
    int last;
  } cases[] = {{"no-alert", "hello\n", 0}, {"cut-record", "", -1}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.peer);
    TcpConnection* connection = connect(test.peer);
    ASSERT_NE(connection, nullptr);
    TlsFailure failure;
    TlsChannel* channel = startTls(connection, "localhost", peers_->file("ca.pem"), 10, failure);
    ASSERT_NE(channel, nullptr) << failure.detail;
    const std::string data = test.data;
    EXPECT_EQ(receiveExactly(channel, data.size()), data);
    EXPECT_TRUE(tlsWaitUntilReadable(channel, 5000));
    char rest[16];
    EXPECT_EQ(tlsReceive(channel, rest, sizeof rest), test.last);
    EXPECT_EQ(tlsReceive(channel, rest, sizeof rest), test.last);
    endTls(channel);
    closeTcpConnection(connection);
  }
}

TEST_F(TlsChannelWin32, TheClientEndsWithTheClosingAlert) {
  TcpConnection* connection = connect("ending");
  ASSERT_NE(connection, nullptr);
  TlsFailure failure;
  TlsChannel* channel = startTls(connection, "localhost", peers_->file("ca.pem"), 10, failure);
  ASSERT_NE(channel, nullptr) << failure.detail;
  ASSERT_EQ(tlsSend(channel, "QUIT\r\n", 6), 6);
  EXPECT_EQ(receiveExactly(channel, 6), "QUIT\r\n");
  endTls(channel);
  closeTcpConnection(connection);
  std::string ending;
  for (int tries = 0; tries < 50 && ending.empty(); ++tries) {
    delayMilliseconds(100);
    ending = TestFolder::read(peers_->file("ending.txt"));
  }
  EXPECT_EQ(ending, "close_notify");
}

TEST_F(TlsChannelWin32, TrustFileMustHoldAPemCertificate) {
  TestFolder folder;
  const std::string certificate = TestFolder::read(peers_->file("ca.pem"));
  ASSERT_NE(certificate, "");
  const std::string body = certificate.substr(certificate.find('\n') + 1, 40);
  const struct {
    std::string file;
    bool usable;
  } cases[] = {
      {"", true},
      {peers_->file("ca.pem"), true},
      {peers_->file("two-cas.pem"), true},
      {folder / "missing.pem", false},
      {folder.makeFolder("a-folder.pem"), false},
      {folder.write("empty.pem", ""), false},
      {folder.write("text.pem", "not a certificate\r\n"), false},
      {folder.write("cut.pem", certificate.substr(0, certificate.size() / 2)), false},
      {folder.write("damaged.pem",
                    "-----BEGIN CERTIFICATE-----\n" + body + "!!\n-----END CERTIFICATE-----\n"),
       false},
      {folder.write(
           "crlf.pem", "\r\n" +
                           [&] {
                             std::string crlf;
                             for (char c : certificate)
                               crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
                             return crlf;
                           }()),
       true},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(trustFileUsable(test.file), test.usable) << test.file;
  }
}

}  // namespace
}  // namespace veltrum
