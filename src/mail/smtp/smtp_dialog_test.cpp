#include "mail/smtp/smtp_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace veltrum {
namespace {

using S = DialogState;
using D = DialogStep;

// Every state before the message is out, but the RCPT round.
constexpr S kBeforeMessage[] = {S::EhloSent,     S::AuthLoginSent, S::UserSent, S::PlainSent,
                                S::ReadyForMail, S::MailSent,      S::DataSent};

// The step and the state that follow `code` in `state`.
std::pair<D, S> after(const std::string& code, S state) {
  Transition transition = transitionFor(code, state);
  switch (transition.next) {
    case NextState::Fixed:
      return {transition.step, transition.state};
    case NextState::Unchanged:
      return {transition.step, state};
    case NextState::AfterRecipient:
      return {transition.step, S::RcptSent};  // the dialog decides on the last recipient
    case NextState::AfterHandshake:
      return {transition.step, S::EhloSent};  // or ReadyForMail without a login
    case NextState::AfterAuth:
      return {transition.step, S::AuthLoginSent};  // the dialog knows the kind of login
  }
  return {transition.step, state};
}

TEST(SmtpDialog, CodesThatActInEveryStateBeforeTheMessage) {
  for (S state : kBeforeMessage) {
    SCOPED_TRACE(static_cast<int>(state));
    EXPECT_EQ(after("503", state), std::make_pair(D::SendMailFrom, S::MailSent));
    EXPECT_EQ(after("221", state), std::make_pair(D::End, S::Closed));  // status stays 0
    EXPECT_EQ(after("235", state), std::make_pair(D::SendMailFrom, S::MailSent));
    EXPECT_EQ(after("535", state), std::make_pair(D::EndAuthRejected, state));
    EXPECT_EQ(after("251", state), std::make_pair(D::SendData, S::DataSent));
    EXPECT_EQ(after("354", state), std::make_pair(D::SendMessage, S::MessageSent));
    EXPECT_EQ(after("550", state), std::make_pair(D::End, state));
    EXPECT_EQ(after("452", state), std::make_pair(D::EndUnexpected, state));
    EXPECT_EQ(after("25", state).first, D::EndUnexpected);  // a short code is no "250"
  }
}

TEST(SmtpDialog, Code334OnlyMovesTheLogin) {
  EXPECT_EQ(after("334", S::AuthLoginSent), std::make_pair(D::SendUser, S::UserSent));
  EXPECT_EQ(after("334", S::UserSent), std::make_pair(D::SendPassword, S::ReadyForMail));
  EXPECT_EQ(after("334", S::PlainSent), std::make_pair(D::SendPlainAgain, S::ReadyForMail));
  for (S state : {S::EhloSent, S::ReadyForMail, S::MailSent, S::RcptSent, S::DataSent}) {
    EXPECT_EQ(after("334", state), std::make_pair(D::Nothing, state));
  }
}

TEST(SmtpDialog, Code250DependsOnTheState) {
  EXPECT_EQ(after("250", S::EhloSent), std::make_pair(D::SendAuth, S::AuthLoginSent));
  EXPECT_EQ(after("250", S::ReadyForMail), std::make_pair(D::SendMailFrom, S::MailSent));
  EXPECT_EQ(after("250", S::MailSent), std::make_pair(D::SendRecipient, S::RcptSent));
  EXPECT_EQ(after("250", S::DataSent), std::make_pair(D::End, S::DataSent));  // status stays 0
  EXPECT_EQ(after("250", S::AuthLoginSent), std::make_pair(D::Nothing, S::AuthLoginSent));
  EXPECT_EQ(after("250", S::UserSent), std::make_pair(D::Nothing, S::UserSent));
}

// A reply to an RCPT takes or refuses that one recipient; only the codes
// that end every dialog still end this one.
TEST(SmtpDialog, RcptRepliesTakeOrRefuseOneRecipient) {
  const std::pair<const char*, D> cases[] = {
      {"250", D::AcceptRecipient}, {"251", D::AcceptRecipient},
      {"450", D::RefuseRecipient}, {"452", D::RefuseRecipient},
      {"550", D::RefuseRecipient}, {"553", D::RefuseRecipient},
      {"421", D::EndUnexpected},   {"503", D::SendMailFrom},
      {"535", D::EndAuthRejected}, {"221", D::End},
      {"5x0", D::EndUnexpected},   {"45", D::EndUnexpected},
      {"354", D::SendMessage},     {"334", D::Nothing},
  };
  for (const auto& [code, step] : cases) {
    EXPECT_EQ(after(code, S::RcptSent).first, step) << code;
  }
}

TEST(SmtpDialog, AfterTheMessageOnly250Confirms) {
  EXPECT_EQ(after("250", S::MessageSent).first, D::Confirmed);
  EXPECT_EQ(after("550", S::MessageSent).first, D::End);
  EXPECT_EQ(after("221", S::MessageSent), std::make_pair(D::End, S::Closed));
  for (const char* code : {"503", "235", "354", "251", "334", "535", "451"}) {
    EXPECT_EQ(after(code, S::MessageSent).first, D::EndUnexpected) << code;
  }
}

// Before TLS is up no reply leads to MAIL FROM, AUTH or anything but the
// next TLS step: every code that would elsewhere move the dialog ends it.
TEST(SmtpDialog, BeforeTlsOnlyTheTlsStepsOrTheEnd) {
  EXPECT_EQ(after("250", S::TlsEhloSent), std::make_pair(D::SendStartTls, S::StartTlsSent));
  EXPECT_EQ(after("220", S::StartTlsSent), std::make_pair(D::StartHandshake, S::EhloSent));
  for (const char* code :
       {"503", "235", "354", "251", "334", "535", "550", "221", "220", "454", "500", "25"}) {
    EXPECT_EQ(after(code, S::TlsEhloSent).first, D::EndTlsNotOffered) << code;
  }
  for (const char* code : {"250", "503", "235", "354", "251", "334", "550", "221", "454", "22"}) {
    EXPECT_EQ(after(code, S::StartTlsSent).first, D::EndTlsRefused) << code;
  }
}

}  // namespace
}  // namespace veltrum
