#include "mail/smtp/oauth_token.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/core/text_encoding.h"

namespace veltrum {
namespace {

TEST(TokenRequestForm, EveryByteOutsideTheUnreservedSetIsEscaped) {
  // Windows-1252 texts, as the Windows build holds them.
  const ScopedTextEncoding windows(TextEncoding::windows1252);
  EXPECT_EQ(
      tokenRequestForm("3f2a-b.c_d~e", "p+q/r=s&t u", "https://outlook.office365.com/.default"),
      "grant_type=client_credentials&client_id=3f2a-b.c_d~e"
      "&client_secret=p%2Bq%2Fr%3Ds%26t%20u"
      "&scope=https%3A%2F%2Foutlook.office365.com%2F.default");
  // Windows-1252 text goes out as UTF-8: "ä" and the euro sign.
  EXPECT_EQ(formEncoded("\xE4\x80"), "%C3%A4%E2%82%AC");
  // No scope: the endpoint's default.
  EXPECT_EQ(tokenRequestForm("id", "s", ""),
            "grant_type=client_credentials&client_id=id&client_secret=s");
}

TEST(TokenAnswer, ReadsTheTokenOrSaysWhyNot) {
  // Windows-1252 texts, as the Windows build holds them.
  const ScopedTextEncoding windows(TextEncoding::windows1252);
  struct Case {
    int status;
    std::string body;
    bool obtained;
    std::string reason;
    std::string error;
    std::string description;
  };
  const std::string longText(2000, 'x');
  const Case cases[] = {
      {200, R"({"token_type":"Bearer","expires_in":3599,"access_token":"eyJ0.eyJ1.c2ln"})", true,
       "", "", ""},
      {400,
       R"({"error":"invalid_client","error_description":"AADSTS7000215: Invalid client secret provided.\r\nTrace ID: 1\r\nTimestamp: 2026"})",
       false, "HTTP-Status 400", "invalid_client",
       "AADSTS7000215: Invalid client secret provided."},
      {401, "<html>no</html>", false, "HTTP-Status 401", "", ""},
      {500, R"(["error"])", false, "HTTP-Status 500", "", ""},
      {400, R"({"error":7,"error_description":"caf\u00e9\u0007\u20ac"})", false, "HTTP-Status 400",
       "", "caf\xE9 ?"},
      {400, R"({"error":")" + longText + R"("})", false, "HTTP-Status 400", longText, ""},
      {200, R"({"token_type":"Bearer"})", false, "Antwort ohne access_token", "", ""},
      {200, "not json", false, "Antwort ist kein JSON", "", ""},
      {200, "", false, "Antwort ist kein JSON", "", ""},
      {200, R"(["access_token"])", false, "JSON-Antwort ist kein Objekt", "", ""},
      {200, R"("access_token")", false, "JSON-Antwort ist kein Objekt", "", ""},
      {200, R"({"access_token":12345})", false, "access_token ist kein Text", "", ""},
      {200, R"({"access_token":null})", false, "access_token ist kein Text", "", ""},
      {200, R"({"access_token":"abc\r\nQUIT"})", false,
       "access_token enth\xE4lt unzul\xE4ssige Zeichen", "", ""},
      {200, R"({"access_token":"abc\u0001def"})", false,
       "access_token enth\xE4lt unzul\xE4ssige Zeichen", "", ""},
      {200, R"({"access_token":"a b"})", false, "access_token enth\xE4lt unzul\xE4ssige Zeichen",
       "", ""},
      {200, R"({"access_token":""})", false, "access_token enth\xE4lt unzul\xE4ssige Zeichen", "",
       ""},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.body.substr(0, 80));
    TokenAnswer answer = readTokenAnswer(test.status, test.body);
    EXPECT_EQ(answer.obtained, test.obtained);
    EXPECT_EQ(answer.reason, test.reason);
    EXPECT_EQ(answer.error, test.error);
    EXPECT_EQ(answer.description, test.description);
    if (!answer.obtained) {
      EXPECT_TRUE(answer.token.empty());
    }
  }
  EXPECT_EQ(readTokenAnswer(200, R"({"access_token":"eyJ0.eyJ1.c2ln"})").token, "eyJ0.eyJ1.c2ln");
}

// Deep nesting must neither crash the reader nor pass as an object.
TEST(TokenAnswer, DeeplyNestedJsonIsRefusedCleanly) {
  const size_t depth = 100000;
  std::string nested = std::string(depth, '[') + std::string(depth, ']');
  EXPECT_EQ(readTokenAnswer(200, nested).reason, "JSON-Antwort ist kein Objekt");
  EXPECT_EQ(readTokenAnswer(200, std::string(depth, '[')).reason, "Antwort ist kein JSON");
}

TEST(TokenFailureText, EndpointErrorAndDescriptionFollowTheReason) {
  TokenAnswer answer;
  answer.reason = "HTTP-Status 400";
  EXPECT_EQ(tokenFailureText(answer), "HTTP-Status 400");
  answer.error = "invalid_client";
  answer.description = "AADSTS7000215: Invalid client secret provided.";
  EXPECT_EQ(tokenFailureText(answer),
            "HTTP-Status 400, error: invalid_client, error_description: AADSTS7000215: Invalid "
            "client secret provided.");
}

// A secret quoted across the cut at 500 is masked whole, never cut first.
TEST(TokenFailureText, MasksBeforeTheCut) {
  const std::string secret = "Client-Secret-0123456789";
  struct Case {
    size_t before;
    std::string expected;
  } cases[] = {
      {495, "HTTP-Status 401, error_description: " + std::string(495, 'x') + "***" +
                std::string(2, 'y') + "..."},
      {10, "HTTP-Status 401, error_description: " + std::string(10, 'x') + "***" +
               std::string(600, 'y').substr(0, 487) + "..."},
  };
  for (const Case& c : cases) {
    TokenAnswer answer;
    answer.reason = "HTTP-Status 401";
    answer.description = std::string(c.before, 'x') + secret + std::string(600, 'y');
    std::string text = tokenFailureText(answer, [&](const std::string& piece) {
      std::string masked = piece;
      masked.replace(masked.find(secret), secret.size(), "***");
      return masked;
    });
    EXPECT_EQ(text, c.expected);
    EXPECT_EQ(text.find("Client"), std::string::npos);
  }
}

TEST(RunToken, AskedOnceAndForgottenAtTheEnd) {
  forgetRunToken();
  EXPECT_FALSE(runTokenAsked());
  TokenRequest request{"http://plain.example/token", "id", "secret", "", ""};
  const TokenAnswer& first = tokenForRun(request);
  EXPECT_FALSE(first.obtained);  // refused before any connection: not https
  EXPECT_TRUE(runTokenAsked());
  EXPECT_EQ(&tokenForRun(request), &first);
  forgetRunToken();
  EXPECT_FALSE(runTokenAsked());
}

}  // namespace
}  // namespace veltrum
