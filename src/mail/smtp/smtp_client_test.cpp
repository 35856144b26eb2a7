#include "mail/smtp/smtp_client.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scripted_peer_for_tests.h"

namespace veltrum {
namespace {

// The client against a scripted server whose silence is counted on its own
// clock: the 15 s reply deadlines are checked without waiting for them.
class SmtpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setNetwork(&peer_);
    setClock(&peer_);
    initMailTransport();
  }
  void TearDown() override {
    while (closeSmtpConnection() != -2) {
    }
    releaseMailTransport();
    setClock(nullptr);
    setNetwork(nullptr);
  }

  int open() { return openSmtpConnection("mail.example.org", 25); }
  int send(const std::string& to = "a@example.org", const std::string& user = "") {
    return sendMail(to, "v@example.org", "Alt", "Text", user, user.empty() ? "" : "Geheim");
  }

  ScriptedPeer peer_;
};

TEST_F(SmtpClientTest, DeliversToEveryRecipientInOrder) {
  for (const char* line : {"220 hi\r\n", "250 hello\r\n", "250 from\r\n", "250 rcpt\r\n",
                           "250 rcpt\r\n", "354 go\r\n", "250 queued\r\n", "221 bye\r\n"}) {
    peer_.reply(line);
  }
  ASSERT_EQ(open(), 1);
  EXPECT_EQ(send("a@example.org;CC:b@example.org"), 1);
  EXPECT_EQ(lastServerMessage(), "250 queued");
  EXPECT_EQ(closeSmtpConnection(), 1);
  const std::string& sent = peer_.sent();
  size_t mailFrom = sent.find("MAIL FROM: <v@example.org>\r\n");
  size_t first = sent.find("RCPT TO: <a@example.org>\r\n");
  size_t second = sent.find("RCPT TO: <b@example.org>\r\n");
  size_t data = sent.find("DATA\r\n");
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(mailFrom, first);
  EXPECT_LT(first, second);
  EXPECT_LT(second, data);
  EXPECT_EQ(sent.find("\r\n.\r\n"), sent.rfind("\r\n.\r\nQUIT\r\n"));
  EXPECT_EQ(peer_.openConnections(), 0);
}

TEST_F(SmtpClientTest, SilentServerEndsEachWaitAfterFifteenSeconds) {
  ASSERT_EQ(open(), -6);  // no greeting
  EXPECT_EQ(peer_.now(), 15000);
  EXPECT_EQ(peer_.openConnections(), 0);

  peer_.reply("220 hi\r\n");
  ASSERT_EQ(open(), 1);
  EXPECT_EQ(send(), -6);  // no answer to HELO
  EXPECT_EQ(peer_.now(), 30000);
  EXPECT_EQ(closeSmtpConnection(), -6);  // nor to QUIT
  EXPECT_EQ(peer_.now(), 45000);
  EXPECT_EQ(peer_.openConnections(), 0);
}

// Each reply that moves the dialog on gives the server its full time again.
TEST_F(SmtpClientTest, EveryReplyThatMovesTheDialogRestartsTheDeadline) {
  peer_.reply("220 hi\r\n");
  for (const char* line :
       {"250 hello\r\n", "250 from\r\n", "250 rcpt\r\n", "354 go\r\n", "250 queued\r\n"}) {
    peer_.silence(14000);
    peer_.reply(line);
  }
  ASSERT_EQ(open(), 1);
  EXPECT_EQ(send(), 1);
  EXPECT_EQ(peer_.now(), 5 * 14000 + 30);  // and the three pauses around the message
}

// A reply that changes nothing does not buy the server more time.
TEST_F(SmtpClientTest, ReplyThatChangesNothingKeepsTheDeadline) {
  for (const char* line : {"220 hi\r\n", "250 hello\r\n"}) peer_.reply(line);
  peer_.silence(10000);
  peer_.reply("334 changes nothing\r\n");
  peer_.silence(10000);
  peer_.reply("250 from, too late\r\n");
  ASSERT_EQ(open(), 1);
  EXPECT_EQ(send(), -6);
  EXPECT_EQ(peer_.now(), 15000);
}

TEST_F(SmtpClientTest, PeerThatGoesAwayEndsTheDialogAtOnce) {
  peer_.reply("220 hi\r\n");
  peer_.reply("250 hello\r\n");
  peer_.closeAtEnd = true;
  ASSERT_EQ(open(), 1);
  EXPECT_EQ(send(), -6);
  EXPECT_EQ(peer_.now(), 0);
  EXPECT_EQ(closeSmtpConnection(), -3);
  EXPECT_EQ(peer_.openConnections(), 0);
}

TEST_F(SmtpClientTest, LoginSendsThePasswordOnlyEncoded) {
  for (const char* line : {"220 hi\r\n", "250 hello\r\n", "334 VXNlcm5hbWU6\r\n",
                           "334 UGFzc3dvcmQ6\r\n", "535 rejected\r\n", "221 bye\r\n"}) {
    peer_.reply(line);
  }
  ASSERT_EQ(open(), 1);
  EXPECT_EQ(send("a@example.org", "user"), -5);
  EXPECT_EQ(peer_.sent().find("Geheim"), std::string::npos);
  EXPECT_NE(peer_.sent().find("R2VoZWlt\r\n"), std::string::npos);
}

// The token login: one command with the login text, then the dialog as usual.
// A refusal comes as "334" with a base64 JSON error; the empty answer to it
// brings the final "535".
TEST_F(SmtpClientTest, TokenLoginAcceptedOrRefused) {
  const std::string loginLine =
      "AUTH XOAUTH2 dXNlcj1ib3hAZXhhbXBsZS5vcmcBYXV0aD1CZWFyZXIgdG9rLjEyMwEB\r\n";
  struct Case {
    std::vector<std::string> replies;
    int status;
    std::string afterLogin;  // what the client sends right after the login line
    std::string errorStatus;
  };
  const Case cases[] = {
      {{"220 hi\r\n", "250-hello\r\n250 AUTH XOAUTH2\r\n", "235 2.7.0 ok\r\n", "250 from\r\n",
        "250 rcpt\r\n", "354 go\r\n", "250 queued\r\n", "221 bye\r\n"},
       1,
       "MAIL FROM: <v@example.org>\r\n",
       ""},
      // {"status":"400","schemes":"Bearer","scope":"https://mail.example/"}
      {{"220 hi\r\n", "250 hello\r\n",
        "334 "
        "eyJzdGF0dXMiOiI0MDAiLCJzY2hlbWVzIjoiQmVhcmVyIiwic2NvcGUiOiJodHRwczovL21haWwuZXhhbXBsZS8ifQ"
        "==\r\n",
        "535 5.7.8 Username and Password not accepted\r\n", "221 bye\r\n"},
       -5,
       "\r\n",
       "400"},
      {{"220 hi\r\n", "250 hello\r\n", "535 5.7.3 Authentication unsuccessful\r\n", "221 bye\r\n"},
       -5,
       "",
       ""},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.status);
    ScriptedPeer peer;
    setNetwork(&peer);
    setClock(&peer);
    for (const std::string& line : test.replies) peer.reply(line);
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(sendMailWithToken("a@example.org", "v@example.org", "Alt", "Text", "box@example.org",
                                "tok.123"),
              test.status);
    EXPECT_EQ(lastLoginErrorStatus(), test.errorStatus);
    EXPECT_EQ(closeSmtpConnection(), 1);
    const std::string& sent = peer.sent();
    ASSERT_EQ(sent.substr(0, 15), "Ehlo Mailwerk\r\n");
    ASSERT_EQ(sent.substr(15, loginLine.size()), loginLine);
    EXPECT_EQ(sent.substr(15 + loginLine.size(), test.afterLogin.size()), test.afterLogin);
    EXPECT_EQ(sent.find("AUTH LOGIN"), std::string::npos);
  }
  setNetwork(&peer_);
  setClock(&peer_);
}

// A reply is read to its final line, however the server cuts it, within the
// same limit as any reply.
TEST_F(SmtpClientTest, GreetingIsWholeOnlyWithItsFinalLine) {
  struct Case {
    std::vector<std::string> steps;  // "" is 10 s of silence
    int status;
    int64_t at;
  };
  const Case cases[] = {
      {{"220-a\r\n", "", "220 b\r\n"}, 1, 10000},  {{"220-a\r\n", "", "", "220 b\r\n"}, -6, 15000},
      {{"22", "", "0 slow\r\n"}, 1, 10000},        {{"220-a\r\n", "421 b\r\n"}, -3, 0},
      {{"220 " + std::string(20000, 'g')}, -3, 0},
  };
  for (const Case& test : cases) {
    ScriptedPeer peer;
    for (const std::string& step : test.steps) {
      if (step.empty()) {
        peer.silence(10000);
      } else {
        peer.reply(step);
      }
    }
    peer.reply("221 bye\r\n");
    setNetwork(&peer);
    setClock(&peer);
    EXPECT_EQ(open(), test.status) << test.steps[0];
    EXPECT_EQ(peer.now(), test.at);
    while (closeSmtpConnection() != -2) {
    }
    setClock(&peer_);
    setNetwork(&peer_);
  }
}

TEST_F(SmtpClientTest, ReplyWithoutEndIsGivenUp) {
  peer_.reply("220 hi\r\n");
  for (int i = 0; i < 200; ++i) peer_.reply("250-more\r\n");
  peer_.reply("221 bye\r\n");
  ASSERT_EQ(open(), 1);
  EXPECT_EQ(send(), -3);
  EXPECT_EQ(lastServerMessage(), "250-more");
  EXPECT_EQ(peer_.sent(), "HELO Mailwerk\r\n");  // nothing answered the endless reply
}

}  // namespace
}  // namespace veltrum
