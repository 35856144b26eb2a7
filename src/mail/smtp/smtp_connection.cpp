#include "mail/smtp/smtp_connection.h"

#include <utility>

#include "platform/core/clock.h"
#include "platform/net/network.h"

namespace veltrum {

namespace {

// A server that keeps sending unasked is not waited out.
constexpr int kMaxDiscardedReceives = 16;

}  // namespace

bool SmtpConnection::open(const std::string& host, int port, int timeoutSeconds,
                          OpenFailure* failure) {
  connection_ = openTcpConnection(host, port, timeoutSeconds, failure);
  sendFailed_ = false;
  return connection_ != nullptr;
}

void SmtpConnection::close() {
  // Taken out of the record first: the clean-up after a stop signal may come
  // in between and must not close it a second time.
  TlsChannel* tls = std::exchange(tls_, nullptr);
  TcpConnection* connection = std::exchange(connection_, nullptr);
  if (tls != nullptr) endTls(tls);
  closeTcpConnection(connection);
}

void SmtpConnection::send(const std::string& text) {
  if (sendFailed_ || text.empty() || connection_ == nullptr) return;
  int length = static_cast<int>(text.size());
  int sent = tls_ != nullptr ? tlsSend(tls_, text.data(), length)
                             : sendBytes(connection_, text.data(), length);
  // A peer that takes nothing must not cost every later piece its own wait.
  if (sent < 0) sendFailed_ = true;
}

bool SmtpConnection::waitForBytes(int timeoutMilliseconds) {
  return tls_ != nullptr ? tlsWaitUntilReadable(tls_, timeoutMilliseconds)
                         : waitUntilReadable(connection_, timeoutMilliseconds);
}

int SmtpConnection::receiveSome(char* buffer, int maxLength) {
  return tls_ != nullptr ? tlsReceive(tls_, buffer, maxLength)
                         : receiveBytes(connection_, buffer, maxLength);
}

ReplyEnd SmtpConnection::readReply(ReplyCollector& reply, int64_t deadline, char* buffer,
                                   int size) {
  reply.clear();
  for (;;) {
    int64_t left = deadline - clock().deadlineMilliseconds();
    if (left <= 0) return ReplyEnd::TimedOut;
    if (!waitForBytes(static_cast<int>(left))) continue;
    int count = receiveSome(buffer, size);
    if (count <= 0) return ReplyEnd::StreamEnded;
    switch (reply.add(buffer, static_cast<size_t>(count))) {
      case ReplyCollector::Outcome::NeedMore:
        continue;
      case ReplyCollector::Outcome::Complete:
        return ReplyEnd::Complete;
      case ReplyCollector::Outcome::TooLong:
        return ReplyEnd::TooLong;
    }
  }
}

void SmtpConnection::discardWaitingBytes(char* buffer, int size) {
  for (int i = 0; i < kMaxDiscardedReceives; ++i) {
    if (connectionEvent(connection_) != ConnectionEvent::Data) return;
    if (receiveBytes(connection_, buffer, size) <= 0) return;
  }
}

bool SmtpConnection::startTls(const std::string& hostName, const std::string& caFile,
                              int timeoutSeconds, TlsFailure& failure) {
  tls_ = veltrum::startTls(connection_, hostName, caFile, timeoutSeconds, failure);
  return tls_ != nullptr;
}

}  // namespace veltrum
