#include "mail/smtp/xoauth2.h"

#include <gtest/gtest.h>

#include <string>

#include "mail/message/base64.h"

namespace veltrum {
namespace {

TEST(Xoauth2, LoginTextFramesUserAndTokenWithControlA) {
  std::string decoded;
  ASSERT_TRUE(base64DecodeText(xoauth2LoginText("box@example.org", "tok"), decoded));
  EXPECT_EQ(decoded,
            "user=box@example.org\x01"
            "auth=Bearer tok\x01\x01");
}

TEST(Xoauth2, StatusOfTheServersError) {
  const auto line = [](const std::string& json) { return "334 " + base64EncodeText(json); };
  struct Case {
    std::string line;
    std::string status;
  };
  const Case cases[] = {
      {line(R"({"status":"400","schemes":"Bearer","scope":"https://mail.example/"})"), "400"},
      {line(R"({"status":401})"), "401"},
      {line(R"({"status":"4\r\n00"})"), "400"},  // nothing that could break the report
      {line(R"({"status":"400"})") + " ", "400"},
      {line(R"({"schemes":"Bearer"})"), ""},
      {line(R"({"status":true})"), ""},
      {line(R"(["status"])"), ""},
      {line("not json"), ""},
      {"334 not base64!", ""},
      {"334 ", ""},
      {"535 5.7.8 Username and Password not accepted", ""},
      {"", ""},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.line);
    EXPECT_EQ(xoauth2ErrorStatus(test.line), test.status);
  }
}

}  // namespace
}  // namespace veltrum
