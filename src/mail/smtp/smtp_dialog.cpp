#include "mail/smtp/smtp_dialog.h"

namespace veltrum {

namespace {

using S = DialogState;
using D = DialogStep;
using N = NextState;

struct Row {
  const char* code;  // nullptr: any code; "4**": any code of three digits starting with 4
  bool anyState;
  DialogState when;
  Transition transition;
};

// After the message only "250" counts as delivered; a refusal or an end of
// the session then is a failure, whatever else the server says.
constexpr Row kRows[] = {
    // Until TLS is up, no reply may lead to any other command: the dialog
    // never falls back to plain text.
    {"250", false, S::TlsEhloSent, {D::SendStartTls, N::Fixed, S::StartTlsSent}},
    {nullptr, false, S::TlsEhloSent, {D::EndTlsNotOffered, N::Unchanged, S::TlsEhloSent}},
    {"220", false, S::StartTlsSent, {D::StartHandshake, N::AfterHandshake, S::StartTlsSent}},
    {nullptr, false, S::StartTlsSent, {D::EndTlsRefused, N::Unchanged, S::StartTlsSent}},

    {"250", false, S::MessageSent, {D::Confirmed, N::Unchanged, S::MessageSent}},
    {"550", false, S::MessageSent, {D::End, N::Unchanged, S::MessageSent}},
    {"221", false, S::MessageSent, {D::End, N::Fixed, S::Closed}},
    {nullptr, false, S::MessageSent, {D::EndUnexpected, N::Unchanged, S::MessageSent}},

    {"503", true, S::Closed, {D::SendMailFrom, N::Fixed, S::MailSent}},
    {"221", true, S::Closed, {D::End, N::Fixed, S::Closed}},
    {"235", true, S::Closed, {D::SendMailFrom, N::Fixed, S::MailSent}},
    {"334", false, S::AuthLoginSent, {D::SendUser, N::Fixed, S::UserSent}},
    {"334", false, S::UserSent, {D::SendPassword, N::Fixed, S::ReadyForMail}},
    {"334", false, S::XOAuth2Sent, {D::SendEmptyLine, N::Fixed, S::XOAuth2Refused}},
    {"334", false, S::PlainSent, {D::SendPlainAgain, N::Fixed, S::ReadyForMail}},
    {"334", true, S::Closed, {D::Nothing, N::Unchanged, S::Closed}},
    {"535", true, S::Closed, {D::EndAuthRejected, N::Unchanged, S::Closed}},
    // Each recipient is taken or refused on its own; "251" (forwarded) takes
    // it, and the recipients after it still get their RCPT. A "421" ends
    // the dialog like any code outside the table.
    {"250", false, S::RcptSent, {D::AcceptRecipient, N::AfterRecipient, S::RcptSent}},
    {"251", false, S::RcptSent, {D::AcceptRecipient, N::AfterRecipient, S::RcptSent}},
    {"421", false, S::RcptSent, {D::EndUnexpected, N::Unchanged, S::RcptSent}},
    {"4**", false, S::RcptSent, {D::RefuseRecipient, N::AfterRecipient, S::RcptSent}},
    {"5**", false, S::RcptSent, {D::RefuseRecipient, N::AfterRecipient, S::RcptSent}},
    {"250", false, S::EhloSent, {D::SendAuth, N::AfterAuth, S::AuthLoginSent}},
    {"250", false, S::ReadyForMail, {D::SendMailFrom, N::Fixed, S::MailSent}},
    {"250", false, S::MailSent, {D::SendRecipient, N::Fixed, S::RcptSent}},
    {"250", false, S::DataSent, {D::End, N::Unchanged, S::DataSent}},
    {"250", true, S::Closed, {D::Nothing, N::Unchanged, S::Closed}},
    {"251", true, S::Closed, {D::SendData, N::Fixed, S::DataSent}},
    {"354", true, S::Closed, {D::SendMessage, N::Fixed, S::MessageSent}},
    {"550", true, S::Closed, {D::End, N::Unchanged, S::Closed}},
};

bool codeMatches(const char* pattern, const std::string& code) {
  if (pattern == nullptr) return true;
  if (pattern[1] != '*') return code == pattern;
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  return code.size() == 3 && code[0] == pattern[0] && digit(code[1]) && digit(code[2]);
}

}  // namespace

Transition transitionFor(const std::string& code, DialogState state) {
  for (const Row& row : kRows) {
    bool matchesCode = codeMatches(row.code, code);
    bool stateMatches = row.anyState || row.when == state;
    if (matchesCode && stateMatches) return row.transition;
  }
  return {DialogStep::EndUnexpected, NextState::Unchanged, DialogState::Closed};
}

}  // namespace veltrum
