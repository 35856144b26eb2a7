#include "platform/wildcard.h"

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
