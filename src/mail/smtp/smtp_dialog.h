// The SMTP dialog as one table: the reply code and the dialog state decide
// the next step and the next state.
#pragma once

#include <string>

namespace veltrum {

enum class DialogState {
  TlsEhloSent,   // the EHLO before STARTTLS; its reply must offer STARTTLS
  StartTlsSent,  // only "220" lets the handshake begin
  EhloSent,
  AuthLoginSent,
  UserSent,
  PlainSent,  // "AUTH PLAIN" with its initial response went out
  ReadyForMail,
  MailSent,  // "MAIL FROM" went out
  RcptSent,  // an "RCPT TO" went out; its reply takes or refuses the recipient
  DataSent,
  MessageSent,     // the message and its "." are out; only "250" confirms it
  XOAuth2Sent,     // "AUTH XOAUTH2" with the token went out
  XOAuth2Refused,  // the server sent its error; the empty answer went out
  Closed,
};

enum class DialogStep {
  Nothing,           // the reply changes nothing
  SendStartTls,      // "STARTTLS", when the EHLO reply offers it
  StartHandshake,    // the TLS handshake, then EHLO again inside TLS
  EndTlsNotOffered,  // status -7, end: the server offers no STARTTLS
  EndTlsRefused,     // status -7, end: STARTTLS was not answered with 220
  SendAuth,          // "AUTH LOGIN" or "AUTH PLAIN", or "AUTH XOAUTH2" with the token's text
  SendPlainAgain,    // the PLAIN initial response once more, to a server that asks with 334
  SendUser,          // the base64 user name
  SendPassword,      // the base64 password
  SendEmptyLine,     // the empty answer that asks a server for its final XOAUTH2 refusal
  SendMailFrom,      // "MAIL FROM: "
  SendRecipient,     // "RCPT TO: " for the first recipient
  AcceptRecipient,   // the recipient was taken; then the next RCPT, or DATA
  RefuseRecipient,   // the recipient was refused; then the next RCPT, DATA, or the end
  SendData,          // "DATA"
  SendMessage,       // the message, then CR LF and "."
  Confirmed,         // the message was accepted: status 1, end
  End,               // end, status as it is
  EndAuthRejected,   // status -5, end
  EndUnexpected,     // status -3, end
};

// Where the state goes after a step: a fixed state, the same one, the one
// that depends on whether recipients are left (and whether any was taken),
// the one after the EHLO inside TLS (with or without a login), or the one
// that depends on the kind of login that was started.
enum class NextState { Fixed, Unchanged, AfterRecipient, AfterHandshake, AfterAuth };

struct Transition {
  DialogStep step;
  NextState next;
  DialogState state;  // meaningful for NextState::Fixed only
};

// The first row of the table that matches `code` (three characters, exact
// case; a row for "4**" or "5**" takes every such code of three digits) in
// `state`; codes outside the table give EndUnexpected.
Transition transitionFor(const std::string& code, DialogState state);

}  // namespace veltrum
