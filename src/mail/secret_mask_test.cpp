#include "mail/secret_mask.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

TEST(WithoutPassword, PlainAndBase64FormsEverywhere) {
  const std::string password = "Geheim-\xE4-42";  // base64 R2VoZWltLeQtNDI=
  EXPECT_EQ(withoutPassword("535 bad R2VoZWltLeQtNDI= (Geheim-\xE4-42)", password),
            "535 bad ***= (***)");
  EXPECT_EQ(withoutPassword("500 R2VoZWltLeQtNDI R2VoZWltLeQtNDI", password), "500 *** ***");
  EXPECT_EQ(withoutPassword("250 ok", password), "250 ok");
}

TEST(WithoutPassword, EmptyOrOddPasswords) {
  EXPECT_EQ(withoutPassword("535 no", ""), "535 no");
  // A password made of the mask's own characters still ends.
  EXPECT_EQ(withoutPassword("a**b", "*"), "a******b");
  // Overlapping occurrences leave no part of the password readable.
  EXPECT_EQ(withoutPassword("aaaa", "aa"), "******");
}

TEST(WithoutSecrets, EachSecretLongestFirst) {
  EXPECT_EQ(withoutSecrets("535 token abc.def in dXNlcj1hYmMuZGVm and abc",
                           {"abc", "dXNlcj1hYmMuZGVm", "abc.def"}),
            "535 token *** in *** and ***");
  EXPECT_EQ(withoutSecrets("250 ok", {"", "x1"}), "250 ok");
  EXPECT_EQ(withoutSecrets("", {"abc"}), "");
}

}  // namespace
}  // namespace veltrum
