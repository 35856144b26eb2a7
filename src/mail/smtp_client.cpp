#include "mail/smtp_client.h"

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "mail/addresses.h"
#include "mail/base64.h"
#include "mail/mime_writer.h"
#include "mail/oauth_token.h"
#include "mail/smtp_dialog.h"
#include "mail/wire_filter.h"
#include "mail/xoauth2.h"
#include "platform/clock.h"
#include "platform/network.h"

namespace veltrum {

namespace {

constexpr int kReceiveBufferSize = 5000;
constexpr int kPauseMilliseconds = 10;
// A dialog needs one command per recipient and a handful more; a server that
// keeps it going in circles beyond that is given up on.
constexpr int kSpareCommands = 16;
const std::string kCrLf = "\r\n";

struct SmtpClientState {
  TcpConnection* connection = nullptr;
  bool networkStarted = false;
  std::unique_ptr<char[]> receiveBuffer;
  std::string lastMessage;
  int replyTimeoutSeconds = 15;
  std::string mailerName;
  std::string bodyContentType;
  std::string boundaryPrefix;
  bool sendFailed = false;  // a send on this connection failed; later ones are skipped
};

SmtpClientState state;

struct Reply {
  std::string code;
  bool streamEnded = false;  // end of stream or a receive error: nothing more will come
};

void dropConnection() {
  // Taken out of the state first: the clean-up after a stop signal may come
  // in between and must not close it a second time.
  closeTcpConnection(std::exchange(state.connection, nullptr));
}

// The bytes go out as they are; whether they arrived is seen in the replies.
void sendText(const std::string& text) {
  if (state.sendFailed || text.empty()) return;
  if (sendBytes(state.connection, text.data(), static_cast<int>(text.size())) < 0) {
    state.sendFailed = true;  // a peer that takes nothing must not cost every later piece
  }
}

class ConnectionSink : public MessageSink {
 public:
  void write(const std::string& text) override { sendText(text); }
  void pause(int milliseconds) override { delayMilliseconds(milliseconds); }
};

// One receive is one reply; of a multi-line reply only its last line counts.
Reply readReply() {
  char* buffer = state.receiveBuffer.get();
  int count = receiveBytes(state.connection, buffer, kReceiveBufferSize - 1);
  std::string text;
  if (count > 0) text.assign(buffer, strnlen(buffer, static_cast<size_t>(count)));
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, kCrLf) == 0)
    text.resize(text.size() - 2);
  size_t lastBreak = text.rfind(kCrLf);
  if (lastBreak != std::string::npos) text.erase(0, lastBreak + 2);
  state.lastMessage = text;
  return {text.substr(0, 3), count <= 0};
}

// Waits for the reply to a greeting or QUIT; false when none came in time.
bool replyArrives() {
  return waitUntilReadable(state.connection, state.replyTimeoutSeconds * 1000);
}

// Closes the connection and gives `status`.
int releaseWith(int status) {
  dropConnection();
  return status;
}

// A value from the settings inside a command line: a CR or LF in it must not
// start a command of its own.
std::string singleLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

std::string greetingName() {
  std::string name = trimBlanks(state.mailerName);
  return name.substr(0, name.find(' '));
}

void giveDefaults() {
  if (state.mailerName.empty()) state.mailerName = "Mailwerk";
  if (state.bodyContentType.empty()) state.bodyContentType = "text/plain; charset=\"iso-8859-1\"";
  if (state.boundaryPrefix.empty()) state.boundaryPrefix = "Mailwerk_";
}

struct MailArguments {
  const std::string& to;
  const std::string& from;
  const std::string& subject;
  const std::string& body;
  const std::string& user;
  const std::string& password;  // the access token when `withToken`
  bool withToken = false;
};

struct Dialog {
  const MailArguments& mail;
  std::vector<std::string> recipients;
  size_t recipient = 0;  // the next one to announce
  DialogState state = DialogState::ReadyForMail;
  int status = 0;
  int commandsLeft = 0;
  bool ended = false;
};

// The "status" of the JSON error a server sent to the last XOAUTH2 login.
std::string loginErrorStatus;

void sendMessage(const Dialog& dialog) {
  const MailArguments& mail = dialog.mail;
  MailMessage message{mail.from,           mail.to,          mail.subject,
                      mail.body,           state.mailerName, state.bodyContentType,
                      state.boundaryPrefix};
  ConnectionSink connection;
  WireFilter wire(connection);
  writeMessage(message, messageStampNow(), wire);
  delayMilliseconds(kPauseMilliseconds);
  sendText(kCrLf);
  sendText(".\r\n");
}

// Carries out one step of the table; the state itself changes only in
// advanceDialog.
void performStep(DialogStep step, Dialog& dialog) {
  switch (step) {
    case DialogStep::Nothing:
      return;
    case DialogStep::SendAuth:
      if (dialog.mail.withToken) {
        return sendText("AUTH XOAUTH2 " + xoauth2LoginText(dialog.mail.user, dialog.mail.password) +
                        kCrLf);
      }
      return sendText("AUTH LOGIN\r\n");
    case DialogStep::SendUser:
      return sendText(base64EncodeText(dialog.mail.user) + kCrLf);
    case DialogStep::SendPassword:
      return sendText(base64EncodeText(dialog.mail.password) + kCrLf);
    case DialogStep::SendEmptyLine:
      // The refusal came as "334" with an error; only the answer to the empty
      // line ends the login.
      loginErrorStatus = xoauth2ErrorStatus(state.lastMessage);
      return sendText(kCrLf);
    case DialogStep::SendMailFrom:
      return sendText("MAIL FROM: " + singleLine(envelopeAddress(dialog.mail.from)) + kCrLf);
    case DialogStep::SendRecipient: {
      std::string field = trimBlanks(dialog.recipients[dialog.recipient]);
      return sendText("RCPT TO: " + singleLine(envelopeAddress(field)) + kCrLf);
    }
    case DialogStep::SendData:
      return sendText("DATA\r\n");
    case DialogStep::SendMessage:
      return sendMessage(dialog);
    case DialogStep::Confirmed:
      dialog.status = 1;
      break;
    case DialogStep::End:
      break;
    case DialogStep::EndAuthRejected:
      dialog.status = -5;
      break;
    case DialogStep::EndUnexpected:
      dialog.status = -3;
      break;
  }
  dialog.ended = true;
}

bool sendsCommand(DialogStep step) {
  switch (step) {
    case DialogStep::SendAuth:
    case DialogStep::SendEmptyLine:
    case DialogStep::SendUser:
    case DialogStep::SendPassword:
    case DialogStep::SendMailFrom:
    case DialogStep::SendRecipient:
    case DialogStep::SendData:
    case DialogStep::SendMessage:
      return true;
    default:
      return false;
  }
}

DialogState nextState(const Transition& transition, Dialog& dialog) {
  switch (transition.next) {
    case NextState::Fixed:
      return transition.state;
    case NextState::Unchanged:
      return dialog.state;
    case NextState::AfterRecipient:
      if (dialog.recipient + 1 >= dialog.recipients.size()) return DialogState::LastRcptSent;
      ++dialog.recipient;
      return DialogState::MailSent;
    case NextState::AfterAuth:
      return dialog.mail.withToken ? DialogState::XOAuth2Sent : DialogState::AuthLoginSent;
  }
  return dialog.state;
}

// Acts on one reply code; true when the reply moved the dialog on.
bool advanceDialog(const std::string& code, Dialog& dialog) {
  Transition transition = transitionFor(code, dialog.state);
  if (sendsCommand(transition.step) && --dialog.commandsLeft < 0) {
    transition.step = DialogStep::EndUnexpected;  // the server keeps it going in circles
  }
  performStep(transition.step, dialog);
  dialog.state = nextState(transition, dialog);
  return transition.step != DialogStep::Nothing;
}

// Waits on the socket with the time left to the deadline; every reply that
// moves the dialog on gives the server its full time again.
int runDialog(Dialog& dialog) {
  int64_t timeout = static_cast<int64_t>(state.replyTimeoutSeconds) * 1000;
  int64_t deadline = clock().deadlineMilliseconds() + timeout;
  for (;;) {
    int64_t left = deadline - clock().deadlineMilliseconds();
    if (left <= 0) return -6;
    if (!waitUntilReadable(state.connection, static_cast<int>(left))) continue;
    Reply reply = readReply();
    if (reply.streamEnded) return -6;  // no reply can come any more
    if (reply.code.empty()) continue;
    bool movedOn = advanceDialog(reply.code, dialog);
    if (dialog.ended) return dialog.status;
    if (movedOn) deadline = clock().deadlineMilliseconds() + timeout;
  }
}

}  // namespace

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

int openSmtpConnection(const std::string& server, int port) {
  if (state.connection != nullptr) return -2;
  if (!state.networkStarted) state.networkStarted = startNetwork();
  if (!state.networkStarted) return -2;
  state.connection = openTcpConnection(server, port, state.replyTimeoutSeconds);
  if (state.connection == nullptr) return -2;
  state.sendFailed = false;
  if (!state.receiveBuffer) return releaseWith(-4);
  if (!replyArrives()) return releaseWith(-6);
  Reply greeting = readReply();
  if (greeting.code == "220") return 1;
  // A server that refused with a reply keeps the connection until QUIT.
  return greeting.streamEnded ? releaseWith(-3) : -3;
}

namespace {

int runMailDialog(const MailArguments& mail) {
  if (state.connection == nullptr) return -2;
  giveDefaults();
  loginErrorStatus.clear();
  const std::string& to = mail.to;
  const std::string& user = mail.user;
  Dialog dialog{mail, recipientFields(to)};
  dialog.commandsLeft = static_cast<int>(dialog.recipients.size()) + kSpareCommands;
  if (!user.empty()) {
    sendText("Ehlo " + greetingName() + kCrLf);
    dialog.state = DialogState::EhloSent;
  } else {
    sendText("HELO " + greetingName() + kCrLf);
    dialog.state = DialogState::ReadyForMail;
  }
  return runDialog(dialog);
}

}  // namespace

int sendMail(const std::string& to, const std::string& from, const std::string& subject,
             const std::string& body, const std::string& user, const std::string& password) {
  return runMailDialog({to, from, subject, body, user, password});
}

int sendMailWithToken(const std::string& to, const std::string& from, const std::string& subject,
                      const std::string& body, const std::string& user, const std::string& token) {
  return runMailDialog({to, from, subject, body, user, token, true});
}

std::string lastLoginErrorStatus() {
  return loginErrorStatus;
}

std::string lastServerMessage() {
  const std::string& text = state.lastMessage;
  if (text.size() >= 3 && text.compare(text.size() - 2, 2, kCrLf) == 0) {
    state.lastMessage.resize(text.size() - 2);
  }
  return state.lastMessage;
}

int closeSmtpConnection() {
  if (state.connection == nullptr) return -2;
  sendText("QUIT\r\n");
  // A peer that took nothing for the whole time limit never got QUIT: no
  // answer can come, and waiting for one would only cost the limit again.
  if (state.sendFailed) return releaseWith(-6);
  if (!replyArrives()) return releaseWith(-6);
  Reply reply = readReply();
  if (reply.code == "221") return releaseWith(1);
  return reply.streamEnded ? releaseWith(-3) : -3;
}

}  // namespace veltrum
