// The connection of the SMTP client: open with its greeting, close with
// QUIT, and what the last connection left behind for the report.
#include <new>

#include "mail/smtp/oauth_token.h"
#include "mail/smtp/smtp_client_state.h"
#include "platform/core/clock.h"
#include "platform/net/network.h"

namespace veltrum {

namespace {

SmtpClientState state;
const std::string kCrLf = "\r\n";

OpenProblem openProblemOf(OpenFailure failure) {
  switch (failure) {
    case OpenFailure::NameNotResolved:
      return OpenProblem::NameNotResolved;
    case OpenFailure::Refused:
      return OpenProblem::Refused;
    case OpenFailure::Unreachable:
      return OpenProblem::Unreachable;
    case OpenFailure::TimedOut:
      return OpenProblem::TimedOut;
    default:
      return OpenProblem::Failed;
  }
}

}  // namespace

SmtpClientState& clientState() {
  return state;
}

void dropConnection() {
  state.link.close();
}

void sendText(const std::string& text) {
  state.link.send(text);
}

int64_t replyDeadline() {
  return clock().deadlineMilliseconds() + static_cast<int64_t>(state.replyTimeoutSeconds) * 1000;
}

ReplyEnd readReply(ReplyCollector& reply, int64_t deadline) {
  ReplyEnd end =
      state.link.readReply(reply, deadline, state.receiveBuffer.get(), kReceiveBufferSize - 1);
  if (end != ReplyEnd::TimedOut || !reply.lastLine().empty()) state.lastMessage = reply.lastLine();
  return end;
}

int releaseWith(int status) {
  dropConnection();
  return status;
}

bool startEncryption() {
  TlsFailure failure;
  if (state.link.startTls(state.serverName, state.caFile, state.replyTimeoutSeconds, failure)) {
    return true;
  }
  switch (failure.step) {
    case TlsStep::TrustStore:
      state.tlsFailure = TlsSetupFailure::TrustStore;
      break;
    case TlsStep::Certificate:
      state.tlsFailure = TlsSetupFailure::Certificate;
      break;
    default:
      state.tlsFailure = TlsSetupFailure::Handshake;
      break;
  }
  state.tlsDetail = failure.detail;
  return false;
}

void discardUnaskedBytes() {
  state.link.discardWaitingBytes(state.receiveBuffer.get(), kReceiveBufferSize - 1);
}

void initMailTransport() {
  state.networkStarted = false;
  state.receiveBuffer.reset(new (std::nothrow) char[kReceiveBufferSize]());
  state.replyTimeoutSeconds = 15;
}

void releaseMailTransport() {
  // A connection kept after a refused greeting or QUIT is closed here, before
  // the network is shut down.
  dropConnection();
  state.receiveBuffer.reset();
  forgetRunToken();
  if (state.networkStarted) endNetwork();
  state.networkStarted = false;
}

int openSmtpConnection(const std::string& server, int port, SmtpSecurity security,
                       const std::string& caFile) {
  if (state.link.isOpen()) return -2;
  state.tlsFailure = TlsSetupFailure::None;
  state.tlsDetail.clear();
  state.lastMessage.clear();
  state.openProblem = OpenProblem::Failed;
  if (!state.networkStarted) state.networkStarted = startNetwork();
  if (!state.networkStarted) return -2;
  OpenFailure failure = OpenFailure::None;
  if (!state.link.open(server, port, state.replyTimeoutSeconds, &failure)) {
    state.openProblem = openProblemOf(failure);
    return -2;
  }
  state.openProblem = OpenProblem::None;
  state.security = security;
  state.serverName = server;
  state.caFile = caFile;
  if (!state.receiveBuffer) return releaseWith(-4);
  if (security == SmtpSecurity::Tls && !startEncryption()) return releaseWith(kTlsFailedStatus);
  ReplyCollector greeting;
  ReplyEnd end = readReply(greeting, replyDeadline());
  if (state.lastMessage.empty() && end == ReplyEnd::TimedOut) {
    state.openProblem = OpenProblem::TimedOut;
  } else if (state.lastMessage.empty() && end == ReplyEnd::StreamEnded) {
    state.openProblem = OpenProblem::ClosedEarly;
  }
  if (end == ReplyEnd::TimedOut) return releaseWith(-6);
  if (end == ReplyEnd::Complete && greeting.code() == "220") return 1;
  // A server that refused with a reply keeps the connection until QUIT.
  return end == ReplyEnd::StreamEnded ? releaseWith(-3) : -3;
}

const std::vector<RecipientRefusal>& lastRecipientRefusals() {
  return state.refusals;
}

void setGreetingName(const std::string& name) {
  state.greetingName = name;
}

OpenProblem lastOpenProblem() {
  return state.openProblem;
}

std::string lastServerMessage() {
  const std::string& text = state.lastMessage;
  if (text.size() >= 3 && text.compare(text.size() - 2, 2, kCrLf) == 0) {
    state.lastMessage.resize(text.size() - 2);
  }
  return state.lastMessage;
}

int closeSmtpConnection() {
  if (!state.link.isOpen()) return -2;
  sendText("QUIT\r\n");
  // A peer that took nothing for the whole time limit never got QUIT: no
  // answer can come, and waiting for one would only cost the limit again.
  if (state.link.sendFailed()) return releaseWith(-6);
  ReplyCollector reply;
  ReplyEnd end = readReply(reply, replyDeadline());
  if (end == ReplyEnd::TimedOut) return releaseWith(-6);
  if (end == ReplyEnd::Complete && reply.code() == "221") return releaseWith(1);
  return end == ReplyEnd::StreamEnded ? releaseWith(-3) : -3;
}

TlsSetupFailure lastTlsFailure() {
  return state.tlsFailure;
}

std::string lastTlsDetail() {
  return state.tlsDetail;
}

bool connectionUsesTls() {
  return state.link.usesTls();
}

}  // namespace veltrum
