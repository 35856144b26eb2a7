#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/smtp/smtp_client.h"
#include "support/scripted_peer_for_tests.h"

namespace veltrum {
namespace {

// TLS that cannot be had, against a scripted server that speaks no TLS: the
// handshake meets garbage, an end or silence. Whatever happens, no login and
// no message leave, and the mail fails with the TLS status.
struct TlsCase {
  const char* name;
  SmtpSecurity security;
  const char* user;
  std::vector<std::string> replies;  // "" stands for 16 s of silence
  bool closeAtEnd;
  TlsSetupFailure failure;
  const char* plainCommands;  // what went out in plain text before any TLS record
  int64_t millisecondsTaken;
};

const TlsCase kCases[] = {
    {"not offered",
     SmtpSecurity::StartTls,
     "user",
     {"220 hi\r\n", "250-mx\r\n250 AUTH LOGIN\r\n"},
     false,
     TlsSetupFailure::NotOffered,
     "Ehlo Mailwerk\r\n",
     0},
    {"EHLO refused",
     SmtpSecurity::StartTls,
     "",
     {"220 hi\r\n", "502 no EHLO\r\n"},
     false,
     TlsSetupFailure::NotOffered,
     "EHLO Mailwerk\r\n",
     0},
    {"offered only in the first line",
     SmtpSecurity::StartTls,
     "",
     {"220 hi\r\n", "250 STARTTLS\r\n"},
     false,
     TlsSetupFailure::NotOffered,
     "EHLO Mailwerk\r\n",
     0},
    {"refused",
     SmtpSecurity::StartTls,
     "user",
     {"220 hi\r\n", "250-mx\r\n250-starttls\r\n250 AUTH LOGIN\r\n", "454 not now\r\n"},
     false,
     TlsSetupFailure::Refused,
     "Ehlo Mailwerk\r\nSTARTTLS\r\n",
     0},
    {"answered with 250",
     SmtpSecurity::StartTls,
     "user",
     {"220 hi\r\n", "250-mx\r\n250 STARTTLS\r\n", "250 sure\r\n"},
     false,
     TlsSetupFailure::Refused,
     "Ehlo Mailwerk\r\nSTARTTLS\r\n",
     0},
    // What comes with the 220 and before the handshake is thrown away: the
    // handshake then waits for the server's records in vain.
    {"injected replies, then no TLS",
     SmtpSecurity::StartTls,
     "user",
     {"220 hi\r\n", "250-mx\r\n250 STARTTLS\r\n", "220 go\r\n235 injected\r\n",
      "250 next packet\r\n"},
     false,
     TlsSetupFailure::Handshake,
     "Ehlo Mailwerk\r\nSTARTTLS\r\n",
     15000},
    {"closed in the handshake",
     SmtpSecurity::StartTls,
     "user",
     {"220 hi\r\n", "250-mx\r\n250 STARTTLS\r\n", "220 go\r\n"},
     true,
     TlsSetupFailure::Handshake,
     "Ehlo Mailwerk\r\nSTARTTLS\r\n",
     0},
    // Gone before the 220: TLS could not be set up, whatever the cause.
    {"closed right after STARTTLS",
     SmtpSecurity::StartTls,
     "user",
     {"220 hi\r\n", "250-mx\r\n250 STARTTLS\r\n"},
     true,
     TlsSetupFailure::Handshake,
     "Ehlo Mailwerk\r\nSTARTTLS\r\n",
     0},
    {"silent in the handshake",
     SmtpSecurity::StartTls,
     "user",
     {"220 hi\r\n", "250-mx\r\n250 STARTTLS\r\n", "220 go\r\n", ""},
     false,
     TlsSetupFailure::Handshake,
     "Ehlo Mailwerk\r\nSTARTTLS\r\n",
     15000},
    {"implicit, plain greeting",
     SmtpSecurity::Tls,
     "user",
     {"220 plain ESMTP\r\n"},
     false,
     TlsSetupFailure::Handshake,
     "",
     0},
    {"implicit, closed", SmtpSecurity::Tls, "user", {}, true, TlsSetupFailure::Handshake, "", 0},
    {"implicit, silent", SmtpSecurity::Tls, "", {""}, false, TlsSetupFailure::Handshake, "", 15000},
};

TEST(SmtpClientTls, NoFallbackWhenTlsCannotBeHad) {
  for (const TlsCase& test : kCases) {
    SCOPED_TRACE(test.name);
    ScriptedPeer peer;
    for (const std::string& reply : test.replies) {
      if (reply.empty()) {
        peer.silence(16000);
      } else {
        peer.reply(reply);
      }
    }
    peer.closeAtEnd = test.closeAtEnd;
    setNetwork(&peer);
    setClock(&peer);
    initMailTransport();
    int status = openSmtpConnection("mail.example.org", 587, test.security, "");
    if (status == 1) {
      status = sendMail("a@example.org", "v@example.org", "Alt", "Text", test.user,
                        test.user[0] != '\0' ? "Geheim" : "");
    }
    EXPECT_EQ(status, kTlsFailedStatus);
    EXPECT_EQ(lastTlsFailure(), test.failure);
    EXPECT_FALSE(connectionUsesTls());
    EXPECT_EQ(peer.now(), test.millisecondsTaken);
    closeSmtpConnection();
    releaseMailTransport();
    setClock(nullptr);
    setNetwork(nullptr);

    // Plain commands, then at most TLS records or QUIT; never a login.
    const std::string& sent = peer.sent();
    std::string plain = test.plainCommands;
    EXPECT_EQ(sent.compare(0, plain.size(), plain), 0) << sent;
    std::string rest = sent.substr(plain.size());
    bool refusedInPlain =
        test.failure == TlsSetupFailure::NotOffered || test.failure == TlsSetupFailure::Refused;
    if (refusedInPlain) {
      EXPECT_EQ(rest, "QUIT\r\n");
    } else if (rest.empty()) {
      EXPECT_TRUE(test.closeAtEnd);  // the server went away before the handshake
    } else {
      EXPECT_EQ(rest[0], '\x16');  // a handshake record, and nothing after it in plain text
      EXPECT_EQ(rest.find("QUIT"), std::string::npos);
    }
    for (const char* secret : {"AUTH", "R2VoZWlt", "Geheim", "MAIL FROM", "235"}) {
      EXPECT_EQ(sent.find(secret), std::string::npos) << secret;
    }
    EXPECT_EQ(peer.openConnections(), 0);
  }
}

}  // namespace
}  // namespace veltrum
