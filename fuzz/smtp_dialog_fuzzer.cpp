// A mail server that answers with arbitrary bytes: the greeting, the whole
// dialog of sendMail and the QUIT, played by a scripted peer that also owns
// the deadline clock, so silence costs no real time.
//
// Input: one options byte, then the server's steps separated by 0x1E. A
// step "\x1f" + digit is a silence of digit * 2 seconds; "\x1f!" is a
// receive error; any other step is bytes handed out by the next receives.
// Options: bit 0 log in (AUTH LOGIN), bit 1 close after the last step
// (else stay silent), bits 2-3 one to four recipients, bits 4-5 the
// security (1 STARTTLS, 2 implicit TLS, else none), bit 6 the login with a
// token (AUTH XOAUTH2) instead of the password. The scripted server
// cannot finish a TLS handshake (it would need the trusted key), so with TLS
// asked for every dialog must end before the login.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "mail/smtp/smtp_client.h"
#include "mail/smtp/smtp_reply.h"
#include "support/scripted_peer_for_tests.h"

namespace veltrum {
namespace {

constexpr int64_t kReplyTimeoutMilliseconds = 15000;
const std::string kPassword = "Geheim-Passwort-42";
const std::string kToken = "eyJ0eXAiOiJKV1QifQ.eyJzdWIiOiJ2ZWx0cnVtIn0.c2ln";
const char* const kRecipients[] = {"a@example.org", "Bea <b@example.org>", "CC:c@example.org",
                                   "BCC:d@example.org"};

void loadScript(ScriptedPeer& peer, const std::string& text) {
  for (const std::string& step : allFuzzFields(text)) {
    if (step.size() == 2 && step[0] == '\x1f' && step[1] == '!') {
      peer.receiveError();
    } else if (step.size() == 2 && step[0] == '\x1f' && step[1] >= '0' && step[1] <= '9') {
      peer.silence((step[1] - '0') * 2000);
    } else {
      peer.reply(step);
    }
  }
}

std::string recipientsFor(uint8_t options) {
  std::string to;
  for (int i = 0; i <= (options >> 2 & 3); ++i)
    to += (i > 0 ? ";" : "") + std::string(kRecipients[i]);
  return to;
}

// However the server behaves, the dialog ends with a known status, and it
// never waits longer than its deadlines allow: each reply that moves it on
// may restart the 15 s, and every step of the script moves it at most once.
SmtpSecurity securityFor(uint8_t options) {
  switch (options >> 4 & 3) {
    case 1:
      return SmtpSecurity::StartTls;
    case 2:
      return SmtpSecurity::Tls;
    default:
      return SmtpSecurity::None;
  }
}

// With TLS asked for: in plain text at most EHLO, STARTTLS and QUIT, then
// only the records of a handshake that the script cannot complete.
void checkNoFallback(const std::string& sent, SmtpSecurity security) {
  size_t plainEnd = sent.find('\x16');  // the first handshake record
  std::string plain = sent.substr(0, plainEnd);
  if (security == SmtpSecurity::Tls) FUZZ_CHECK(plain.empty());
  for (const char* word : {"AUTH", "MAIL FROM", "RCPT", "DATA", "HELO"}) {
    FUZZ_CHECK(sent.find(word) == std::string::npos);
  }
  if (plainEnd != std::string::npos) FUZZ_CHECK(sent.find("QUIT", plainEnd) == std::string::npos);
}

void playDialog(ScriptedPeer& peer, uint8_t options, size_t steps, size_t bytes) {
  initMailTransport();
  SmtpSecurity security = securityFor(options);
  int opened = openSmtpConnection("mail.example.org", 25, security);
  FUZZ_CHECK(opened == 1 || opened == -3 || opened == -6 ||
             (opened == kTlsFailedStatus && security == SmtpSecurity::Tls));
  if (opened == 1) {
    bool login = (options & 1) != 0;
    const std::string to = recipientsFor(options);
    const std::string from = "Veltrum <veltrum@example.org>";
    const std::string body = "Die Datei ist zu alt.\r\n.\r\nQUIT";
    int status =
        login && (options & 0x40) != 0
            ? sendMailWithToken(to, from, "Alt: job.lck", body, "user", kToken)
            : sendMail(to, from, "Alt: job.lck", body, login ? "user" : "", login ? kPassword : "");
    if (security != SmtpSecurity::None) {
      FUZZ_CHECK(status == kTlsFailedStatus || status == -3 || status == -6);
    } else {
      FUZZ_CHECK(status == 1 || status == 0 || status == -3 || status == -5 || status == -6);
    }
    // Whole, for masking before the report cuts it; the reply limit bounds it.
    FUZZ_CHECK(lastServerMessage().size() <= kMaxReplyBytes);
    // Sent is reported only for a message that went out whole and that the
    // server then confirmed with "250". (A "354" is obeyed whenever it comes,
    // also before DATA: the reply table says so.)
    if (status == 1) {
      FUZZ_CHECK(lastServerMessage().compare(0, 3, "250") == 0);
      FUZZ_CHECK(peer.sent().size() - peer.sent().find("\r\n.\r\n") == 5);
    }
  }
  // A refused greeting or QUIT keeps the connection until a QUIT is answered
  // or the peer is gone; asking again always gets there, as each attempt
  // uses up at least one byte of the script.
  for (size_t attempt = 0; closeSmtpConnection() != -2; ++attempt) FUZZ_CHECK(attempt <= bytes);
  releaseMailTransport();
  // The message goes out at most once, and after its end only QUIT follows.
  const std::string& sent = peer.sent();
  size_t end = sent.find("\r\n.\r\n");
  if (end != std::string::npos) {
    for (size_t at = end + 5; at < sent.size(); at += 6)
      FUZZ_CHECK(sent.compare(at, 6, "QUIT\r\n") == 0);
  }
  FUZZ_CHECK(peer.openConnections() == 0);
  // A handshake is one more wait of at most the limit.
  FUZZ_CHECK(peer.now() <=
             static_cast<int64_t>(steps + 4) * (kReplyTimeoutMilliseconds + 100) + 1000);
  FUZZ_CHECK(peer.sent().find(kPassword) == std::string::npos);
  FUZZ_CHECK(peer.sent().find(kToken) == std::string::npos);  // only inside its base64 login text
  if (security != SmtpSecurity::None) checkNoFallback(peer.sent(), security);
}

}  // namespace
}  // namespace veltrum

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace veltrum;
  if (size == 0) return 0;
  ScriptedPeer peer;
  peer.closeAtEnd = (data[0] & 2) != 0;
  std::string script(reinterpret_cast<const char*>(data + 1), size - 1);
  loadScript(peer, script);
  setNetwork(&peer);
  setClock(&peer);
  playDialog(peer, data[0], allFuzzFields(script).size(), script.size());
  setClock(nullptr);
  setNetwork(nullptr);
  return 0;
}
