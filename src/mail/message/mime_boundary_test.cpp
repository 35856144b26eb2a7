#include "mail/message/mime_boundary.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace veltrum {
namespace {

TEST(MimeBoundary, HasThePrefixAndADifferent128BitValueEachTime) {
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    std::string boundary = boundaryNotIn("Mailwerk_Alt_", {"text"});
    EXPECT_TRUE(std::regex_match(boundary, std::regex("Mailwerk_Alt_[0-9a-f]{32}"))) << boundary;
    seen.insert(boundary);
  }
  EXPECT_EQ(seen.size(), 50u);
}

TEST(MimeBoundary, IsDrawnAgainWhileTheContentHoldsIt) {
  struct Case {
    std::vector<std::string> draws;
    std::vector<std::string> contents;
    std::string expected;
  } cases[] = {
      {{"aa", "bb"}, {"x", "y"}, "P_aa"},
      {{"aa", "bb"}, {"--P_aa\r\n", ""}, "P_bb"},
      {{"aa", "bb", "cc"}, {"P_aa", "<html>P_bb"}, "P_cc"},
      // A source that repeats itself: the boundary grows past the content.
      {{"aa"}, {"P_aa P_aa_aa P_aa_aa_aa"}, "P_aa_aa_aa_aa"},
  };
  for (const Case& c : cases) {
    size_t next = 0;
    auto draw = [&]() { return c.draws[std::min(next++, c.draws.size() - 1)]; };
    EXPECT_EQ(boundaryNotIn("P_", c.contents, draw), c.expected);
  }
}

}  // namespace
}  // namespace veltrum
