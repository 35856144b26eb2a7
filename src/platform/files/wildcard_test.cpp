#include "platform/files/wildcard.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

TEST(Wildcard, StarAndQuestionMark) {
  EXPECT_TRUE(wildcardMatches("*.lck", "job.lck"));
  EXPECT_TRUE(wildcardMatches("*.lck", ".lck"));
  EXPECT_FALSE(wildcardMatches("*.lck", "job.lckx"));
  EXPECT_FALSE(wildcardMatches("*.lck", "job.lc"));
  EXPECT_TRUE(wildcardMatches("j?b.l?k", "jab.lok"));
  EXPECT_FALSE(wildcardMatches("j?b.lck", "jb.lck"));
  EXPECT_TRUE(wildcardMatches("a*b*c", "aXbYbZc"));
  EXPECT_FALSE(wildcardMatches("a*b*c", "aXbYbZ"));
  EXPECT_TRUE(wildcardMatches("exact", "exact"));
  EXPECT_FALSE(wildcardMatches("exact", "exact2"));
}

TEST(Wildcard, LettersMatchWithoutRegardToCase) {
  EXPECT_TRUE(wildcardMatches("*.LCK", "job.lck"));
  EXPECT_TRUE(wildcardMatches("\xC4rger*", "\xE4rger.txt"));  // Ä / ä in Windows-1252
  EXPECT_TRUE(wildcardMatches("\x8A*", "\x9A"));              // Š / š
  EXPECT_FALSE(wildcardMatches("\xD7", "\xF7"));              // × and ÷ are no letters
}

struct NameCase {
  const char* pattern;
  const char* name;
  bool matches;
};

TEST(Wildcard, NamesInUtf8AreComparedByCharacters) {
  const NameCase cases[] = {
      {"\xC3\x84*", "\xC3\xA4rger.lck", true},   // Ä* finds ärger
      {"\xC3\x84*", "\xC3\x84rger.lck", true},   // and Ärger
      {"\xC3\x84*", "\xE3\x84\x85.lck", false},  // never ㄅ (its bytes fold like Ä's)
      {"\xC3\xA4*", "\xC3\x84RGER.LCK", true},   // ä* finds ÄRGER
      {"?.lck", "\xC3\xA4.lck", true},           // "?" is one character
      {"??.lck", "\xC3\xA4.lck", false},
      {"?.lck", "\xE3\x84\x85.lck", true},
      {"*\xC3\x9F*",
       "stra\xC3\x9F"
       "e",
       true},                                 // ß has no capital here
      {"\xC5\xA0*", "\xC5\xA1ibenik", true},  // Š / š
      {"\xC3\xBF", "\xC5\xB8", true},         // ÿ / Ÿ
      {"\xC3\x97", "\xC3\xB7", false},        // × and ÷ are no letters
      {"\xCE\xA9*", "\xCF\x89mega", false},   // Greek is not folded
      {"\xCE\xA9*.lck", "\xCE\xA9mega.lck", true},
      {"*.lck", "\xE3\x84\x85.lck", true},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(wildcardMatches(c.pattern, c.name), c.matches) << c.pattern << " / " << c.name;
  }
}

TEST(Wildcard, OtherNamesKeepTheWindows1252Letters) {
  const NameCase cases[] = {
      {"\xC4*", "\xE4rger.lck", true},       // a Windows-1252 pattern and name
      {"\xC3\x84*", "\xE4rger.lck", false},  // a UTF-8 pattern, a Windows-1252 name
      {"\xC4*", "\xC3\xA4rger.lck", false},  // a Windows-1252 pattern, a UTF-8 name
      {"?rger.lck", "\xE4rger.lck", true},   // one byte, one character
      {"*.lck", "bad\xFF\xC3.lck", true},
      {"\xC3\x84*", "\xC3\xA4rger\xFF.lck", false},  // not UTF-8: bytes, C3 84 against C3 A4
      {"\xC3\x84*", "\xC3\x84rger\xFF.lck", true},
      {"\xED\xA0\x80*", "\xED\xA0\x80", true},  // a surrogate is no UTF-8: bytes
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(wildcardMatches(c.pattern, c.name), c.matches) << c.pattern << " / " << c.name;
  }
}

TEST(Wildcard, DotStarRules) {
  EXPECT_TRUE(wildcardMatches("*.*", "noextension"));
  EXPECT_TRUE(wildcardMatches("*.*", "."));
  EXPECT_TRUE(wildcardMatches("*.*", ".."));
  EXPECT_TRUE(wildcardMatches("", "anything"));
  EXPECT_TRUE(wildcardMatches("job.*", "job"));
  EXPECT_TRUE(wildcardMatches("job.*", "job.lck"));
  EXPECT_FALSE(wildcardMatches("job.*", "jobs"));
  EXPECT_TRUE(wildcardMatches("*", "."));
  EXPECT_FALSE(wildcardMatches("?", ".."));
}

TEST(Wildcard, ManyStarsStayFast) {
  const std::string name(5000, 'a');
  EXPECT_FALSE(wildcardMatches(std::string(200, '*') + "b", name));
  EXPECT_TRUE(wildcardMatches("*a*a*a*a*a*a*a*a*a*a", name));
}

TEST(Wildcard, OrderIgnoresCaseThenBytes) {
  EXPECT_LT(compareEntryNames("alpha", "Beta"), 0);
  EXPECT_GT(compareEntryNames("beta", "Alpha"), 0);
  EXPECT_LT(compareEntryNames("B", "b"), 0);  // equal without case: bytes decide
  EXPECT_LT(compareEntryNames("ab", "abc"), 0);
  EXPECT_EQ(compareEntryNames("same", "same"), 0);
}

}  // namespace
}  // namespace veltrum
