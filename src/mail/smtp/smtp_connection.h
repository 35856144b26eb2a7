// The bytes of the one SMTP connection: plain TCP, or TLS over it once a
// handshake is done. It reads whole replies and sends text; the dialog that
// decides what to send lives in smtp_client.cpp.
#pragma once

#include <cstdint>
#include <string>

#include "mail/smtp/smtp_reply.h"
#include "platform/net/network.h"
#include "platform/net/tls_channel.h"

namespace veltrum {

// How a wait for a reply ended.
enum class ReplyEnd { Complete, TimedOut, StreamEnded, TooLong };

class SmtpConnection {
 public:
  bool isOpen() const { return connection_ != nullptr; }
  bool usesTls() const { return tls_ != nullptr; }
  // A send on this connection failed; later ones are skipped.
  bool sendFailed() const { return sendFailed_; }

  // False with `failure` set when no connection came about.
  bool open(const std::string& host, int port, int timeoutSeconds, OpenFailure* failure);
  // Ends TLS (if any) and closes; safe to call when nothing is open.
  void close();

  // The bytes go out as they are; whether they arrived is seen in the replies.
  void send(const std::string& text);

  // Reads one whole reply, however many receives of at most `size` bytes
  // into `buffer` it takes, until `deadline` (the deadline clock).
  ReplyEnd readReply(ReplyCollector& reply, int64_t deadline, char* buffer, int size);

  // Throws away what has arrived and was not asked for, without waiting.
  void discardWaitingBytes(char* buffer, int size);

  // The handshake on the open connection; false with `failure` filled.
  bool startTls(const std::string& hostName, const std::string& caFile, int timeoutSeconds,
                TlsFailure& failure);

 private:
  bool waitForBytes(int timeoutMilliseconds);
  int receiveSome(char* buffer, int maxLength);

  TcpConnection* connection_ = nullptr;
  TlsChannel* tls_ = nullptr;  // set while the connection is encrypted
  bool sendFailed_ = false;
};

}  // namespace veltrum
