#include "mail/smtp/secret_mask.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

struct MaskCase {
  const char* line;
  const char* user;
  const char* password;
  const char* logged;
};

TEST(WithoutLoginSecrets, MasksWhatWasSentAndLeavesTheRestExact) {
  const MaskCase cases[] = {
      // A long password: plain and base64, with and without its fill.
      {"535 bad R2VoZWltLeQtNDI= (Geheim-\xE4-42)", "u", "Geheim-\xE4-42", "535 bad *** (***)"},
      {"500 R2VoZWltLeQtNDI R2VoZWltLeQtNDI", "u", "Geheim-\xE4-42", "500 *** ***"},
      {"250 ok", "u", "Geheim-\xE4-42", "250 ok"},
      // A short password is left in the text; what was sent for it is not.
      {"452 4.5.3 Too many recipients", "waechter", "p", "452 4.5.3 Too many recipients"},
      {"535 cA== refused, cA is short", "waechter", "p", "535 *** refused, cA is short"},
      {"554 mail rejected", "waechter", "mail", "554 mail rejected"},
      {"535 bWFpbA== unknown", "waechter", "mail", "535 *** unknown"},
      // The user's base64 was sent for the login too; its plain name is not secret.
      {"535 d2FlY2h0ZXI= waechter", "waechter", "mail", "535 *** waechter"},
      // Eight characters and more: the password itself wherever it stands.
      {"535 Kennwort1 wrong: Kennwort1!", "u", "Kennwort1", "535 *** wrong: ***!"},
      // The PLAIN text, with and without its fill, whatever the password's length.
      {"535 AHUAR2VoZWltLeQtNDI= no", "u", "Geheim-\xE4-42", "535 *** no"},
      {"535 AHUAR2VoZWltLeQtNDI no", "u", "Geheim-\xE4-42", "535 *** no"},
      {"535 AHdhZWNodGVyAHA= no", "waechter", "p", "535 *** no"},
      {"535 AHdhZWNodGVyAHA no", "waechter", "p", "535 *** no"},
      // Empty login values change nothing.
      {"535 no", "", "", "535 no"},
      // A password made of the mask's own characters still ends.
      {"a********b", "", "********", "a***b"},
      // Occurrences one after the other are each masked whole.
      {"aaaaaaaaaaaaaaaa", "", "aaaaaaaa", "******"},
  };
  for (const MaskCase& c : cases) {
    EXPECT_EQ(withoutLoginSecrets(c.line, c.user, c.password), c.logged) << c.line;
  }
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
