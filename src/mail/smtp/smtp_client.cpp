#include "mail/smtp/smtp_client.h"

#include <memory>
#include <vector>

#include "mail/message/addresses.h"
#include "mail/message/base64.h"
#include "mail/message/mime_writer.h"
#include "mail/smtp/login_mechanism.h"
#include "mail/smtp/oauth_token.h"
#include "mail/smtp/smtp_client_state.h"
#include "mail/smtp/smtp_dialog.h"
#include "mail/smtp/smtp_recipients.h"
#include "mail/smtp/smtp_reply.h"
#include "mail/smtp/wire_filter.h"
#include "mail/smtp/xoauth2.h"
#include "platform/core/clock.h"
#include "platform/net/network.h"

namespace veltrum {

namespace {

constexpr int kPauseMilliseconds = 10;
// A dialog needs one command per recipient and a handful more; a server that
// keeps it going in circles beyond that is given up on.
constexpr int kSpareCommands = 16;
const std::string kCrLf = "\r\n";

SmtpClientState& state = clientState();

class ConnectionSink : public MessageSink {
 public:
  void write(const std::string& text) override { sendText(text); }
  void pause(int milliseconds) override { delayMilliseconds(milliseconds); }
};

std::string greetingName() {
  if (!state.greetingName.empty()) return singleLine(state.greetingName);
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
  const MailBody& body;
  const std::string& user;
  const std::string& password;  // the access token when `withToken`
  bool withToken = false;
};

struct Dialog {
  const MailArguments& mail;
  RecipientRound recipients;
  RecipientRound::Next afterRecipient = RecipientRound::Next::Recipient;
  LoginMechanism login = LoginMechanism::Login;
  DialogState state = DialogState::ReadyForMail;
  int status = 0;
  int commandsLeft = 0;
  bool ended = false;
  const ReplyCollector* reply = nullptr;  // the reply being acted on
};

// The "status" of the JSON error a server sent to the last XOAUTH2 login.
std::string loginErrorStatus;

// EHLO around STARTTLS: written "Ehlo" with a login, as the plain dialog
// does; without one, where the plain dialog says HELO, "EHLO".
std::string extendedHello(const Dialog& dialog) {
  return (dialog.mail.user.empty() ? "EHLO " : "Ehlo ") + greetingName() + kCrLf;
}

// Ends the dialog because TLS cannot be had; nothing else goes out.
void failTls(Dialog& dialog, TlsSetupFailure failure) {
  state.tlsFailure = failure;
  dialog.status = kTlsFailedStatus;
  dialog.ended = true;
}

// The handshake after "220" to STARTTLS, then EHLO inside TLS. A failed
// handshake leaves the connection in no state for a plain QUIT: it is closed.
void startTlsInDialog(Dialog& dialog) {
  discardUnaskedBytes();
  if (!startEncryption()) {
    dropConnection();
    dialog.status = kTlsFailedStatus;
    dialog.ended = true;
    return;
  }
  sendText(extendedHello(dialog));
}

void sendMessage(const Dialog& dialog) {
  const MailArguments& mail = dialog.mail;
  MailMessage message{mail.from,           mail.to,          mail.subject,
                      mail.body,           state.mailerName, state.bodyContentType,
                      state.boundaryPrefix};
  ConnectionSink connection;
  WireFilter wire(connection);
  writeMessage(message, messageStampNow(state.greetingName), wire);
  delayMilliseconds(kPauseMilliseconds);
  sendText(kCrLf);
  sendText(".\r\n");
}

// The login with a password: LOGIN, or PLAIN where the server offers only
// that (the EHLO reply being acted on tells).
void sendPasswordLogin(Dialog& dialog) {
  dialog.login = loginMechanismFor(dialog.reply->lines());
  if (dialog.login == LoginMechanism::Login) return sendText("AUTH LOGIN\r\n");
  sendText("AUTH PLAIN " + plainLoginText(dialog.mail.user, dialog.mail.password) + kCrLf);
}

// After the reply to an RCPT: the next recipient, DATA once all had their
// turn and one was taken, or the end with status 0 when none was.
void continueAfterRecipient(Dialog& dialog, RecipientRound::Next next) {
  dialog.afterRecipient = next;
  switch (next) {
    case RecipientRound::Next::Recipient:
      return sendText("RCPT TO: " + dialog.recipients.address() + kCrLf);
    case RecipientRound::Next::Data:
      return sendText("DATA\r\n");
    case RecipientRound::Next::NoneAccepted:
      dialog.ended = true;
      return;
  }
}

// Carries out one step of the table; the state itself changes only in
// advanceDialog.
void performStep(DialogStep step, Dialog& dialog) {
  switch (step) {
    case DialogStep::Nothing:
      return;
    case DialogStep::SendStartTls:
      if (!dialog.reply->offers("STARTTLS")) return failTls(dialog, TlsSetupFailure::NotOffered);
      return sendText("STARTTLS\r\n");
    case DialogStep::StartHandshake:
      return startTlsInDialog(dialog);
    case DialogStep::EndTlsNotOffered:
      return failTls(dialog, TlsSetupFailure::NotOffered);
    case DialogStep::EndTlsRefused:
      return failTls(dialog, TlsSetupFailure::Refused);
    case DialogStep::SendAuth:
      if (dialog.mail.withToken) {
        return sendText("AUTH XOAUTH2 " + xoauth2LoginText(dialog.mail.user, dialog.mail.password) +
                        kCrLf);
      }
      return sendPasswordLogin(dialog);
    case DialogStep::SendPlainAgain:
      return sendText(plainLoginText(dialog.mail.user, dialog.mail.password) + kCrLf);
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
    case DialogStep::SendRecipient:
      return sendText("RCPT TO: " + dialog.recipients.address() + kCrLf);
    case DialogStep::AcceptRecipient:
      return continueAfterRecipient(dialog, dialog.recipients.accepted());
    case DialogStep::RefuseRecipient:
      return continueAfterRecipient(
          dialog, dialog.recipients.refused(dialog.reply->code(), dialog.reply->lastLine()));
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
    case DialogStep::SendStartTls:
    case DialogStep::StartHandshake:
    case DialogStep::SendAuth:
    case DialogStep::SendPlainAgain:
    case DialogStep::AcceptRecipient:
    case DialogStep::RefuseRecipient:
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
      return dialog.afterRecipient == RecipientRound::Next::Data ? DialogState::DataSent
                                                                 : DialogState::RcptSent;
    case NextState::AfterHandshake:
      return dialog.mail.user.empty() ? DialogState::ReadyForMail : DialogState::EhloSent;
    case NextState::AfterAuth:
      if (dialog.mail.withToken) return DialogState::XOAuth2Sent;
      return dialog.login == LoginMechanism::Plain ? DialogState::PlainSent
                                                   : DialogState::AuthLoginSent;
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

// Every reply that moves the dialog on gives the server its full time again.
int runDialog(Dialog& dialog) {
  int64_t deadline = replyDeadline();
  ReplyCollector reply;
  dialog.reply = &reply;
  for (;;) {
    ReplyEnd end = readReply(reply, deadline);
    // A server that goes away once STARTTLS is out ends the set-up of TLS.
    if (end == ReplyEnd::StreamEnded && dialog.state == DialogState::StartTlsSent) {
      state.tlsFailure = TlsSetupFailure::Handshake;
      return releaseWith(kTlsFailedStatus);
    }
    if (end == ReplyEnd::TimedOut || end == ReplyEnd::StreamEnded) return -6;
    if (end == ReplyEnd::TooLong) return -3;  // no server needs that much; a flood
    if (reply.code().empty()) continue;
    bool movedOn = advanceDialog(reply.code(), dialog);
    if (dialog.ended) return dialog.status;
    if (movedOn) deadline = replyDeadline();
  }
}

// The first command: EHLO when STARTTLS is to follow, else "Ehlo" with a
// login and HELO without, as always.
void sendOpening(Dialog& dialog) {
  if (state.security == SmtpSecurity::StartTls && !state.link.usesTls()) {
    sendText(extendedHello(dialog));
    dialog.state = DialogState::TlsEhloSent;
  } else if (!dialog.mail.user.empty()) {
    sendText("Ehlo " + greetingName() + kCrLf);
    dialog.state = DialogState::EhloSent;
  } else {
    sendText("HELO " + greetingName() + kCrLf);
    dialog.state = DialogState::ReadyForMail;
  }
}

}  // namespace

namespace {

int runMailDialog(const MailArguments& mail) {
  if (!state.link.isOpen()) return -2;
  giveDefaults();
  loginErrorStatus.clear();
  Dialog dialog{mail, RecipientRound(mail.to)};
  dialog.commandsLeft = static_cast<int>(dialog.recipients.count()) + kSpareCommands;
  sendOpening(dialog);
  int status = runDialog(dialog);
  state.refusals = dialog.recipients.refusals();
  return status;
}

}  // namespace

int sendMail(const std::string& to, const std::string& from, const std::string& subject,
             const MailBody& body, const std::string& user, const std::string& password) {
  return runMailDialog({to, from, subject, body, user, password});
}

int sendMailWithToken(const std::string& to, const std::string& from, const std::string& subject,
                      const MailBody& body, const std::string& user, const std::string& token) {
  return runMailDialog({to, from, subject, body, user, token, true});
}

std::string lastLoginErrorStatus() {
  return loginErrorStatus;
}

}  // namespace veltrum
