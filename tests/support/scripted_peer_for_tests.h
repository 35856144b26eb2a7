// A mail server played from a script, for unit tests and fuzz targets: it
// stands in for the network and for the deadline clock at once, so that a
// silent server costs no real waiting. Install it with setNetwork and
// setClock; restore both with nullptr.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>

#include "platform/core/clock.h"
#include "platform/net/network.h"

namespace veltrum {

class ScriptedPeer : public Network, public Clock {
 public:
  struct Step {
    enum class Kind { Bytes, Silence, ReceiveError };
    Kind kind = Kind::Bytes;
    std::string bytes;         // Bytes: handed out by the next receives
    int64_t milliseconds = 0;  // Silence: how long nothing comes
  };

  // What the peer does after its last step: close, or stay silent for ever.
  bool closeAtEnd = false;
  bool refuseConnection = false;
  OpenFailure refusedAs = OpenFailure::Refused;  // what a refused open reports

  // An empty reply would read as a closed peer; it is left out.
  void reply(const std::string& bytes) {
    if (!bytes.empty()) steps_.push_back({Step::Kind::Bytes, bytes, 0});
  }
  void silence(int64_t milliseconds) { steps_.push_back({Step::Kind::Silence, "", milliseconds}); }
  void receiveError() { steps_.push_back({Step::Kind::ReceiveError, "", 0}); }

  const std::string& sent() const { return sent_; }
  int64_t now() const { return now_; }
  int openConnections() const { return open_; }

  bool startNetwork() override { return true; }
  void endNetwork() override {}

  TcpConnection* openTcpConnection(const std::string&, int, int, OpenFailure* failure) override {
    if (refuseConnection) {
      *failure = refusedAs;
      return nullptr;
    }
    ++open_;
    return handle();
  }

  ConnectionEvent connectionEvent(TcpConnection*) override {
    if (!steps_.empty() && steps_.front().kind != Step::Kind::Silence) {
      return ConnectionEvent::Data;
    }
    return steps_.empty() && closeAtEnd ? ConnectionEvent::Disconnected : ConnectionEvent::Nothing;
  }

  // Silence is used up against the wait; time passes only here and in delays.
  bool waitUntilReadable(TcpConnection*, int timeoutMilliseconds) override {
    int64_t left = std::max(timeoutMilliseconds, 0);
    while (!steps_.empty() && steps_.front().kind == Step::Kind::Silence) {
      Step& quiet = steps_.front();
      if (quiet.milliseconds > left) {
        quiet.milliseconds -= left;
        now_ += left;
        return false;
      }
      now_ += quiet.milliseconds;
      left -= quiet.milliseconds;
      steps_.pop_front();
    }
    if (!steps_.empty() || closeAtEnd) return true;
    now_ += left;
    return false;
  }

  // A step larger than the buffer is handed out over several receives, as a
  // stream would.
  int receiveBytes(TcpConnection* connection, char* buffer, int maxLength) override {
    if (!waitUntilReadable(connection, kForever)) return -1;
    if (steps_.empty()) return 0;
    Step& step = steps_.front();
    if (step.kind == Step::Kind::ReceiveError) {
      steps_.pop_front();
      return -1;
    }
    size_t count = std::min(step.bytes.size(), static_cast<size_t>(std::max(maxLength, 0)));
    std::memcpy(buffer, step.bytes.data(), count);
    step.bytes.erase(0, count);
    if (step.bytes.empty()) steps_.pop_front();
    return static_cast<int>(count);
  }

  int sendBytes(TcpConnection*, const char* buffer, int length) override {
    sent_.append(buffer, static_cast<size_t>(length));
    return length;
  }

  void closeTcpConnection(TcpConnection* connection) override {
    if (connection != nullptr) --open_;
  }

  void delayMilliseconds(int milliseconds) override { now_ += std::max(milliseconds, 0); }

  LocalTime localNow() override { return {2026, 12, 7, 4, 15, 30}; }
  int64_t deadlineMilliseconds() override { return now_; }

 private:
  static constexpr int kForever = 1 << 30;

  // Never dereferenced: only compared and handed back by the client.
  TcpConnection* handle() { return reinterpret_cast<TcpConnection*>(this); }

  std::deque<Step> steps_;
  std::string sent_;
  int64_t now_ = 0;
  int open_ = 0;
};

}  // namespace veltrum
