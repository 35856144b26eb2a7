#include "mail/smtp/smtp_reply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace veltrum {
namespace {

using Outcome = ReplyCollector::Outcome;

struct ReplyCase {
  const char* name;
  std::vector<std::string> pieces;  // as the receives deliver them
  Outcome outcome;                  // after the last piece
  const char* code;
  const char* lastLine;
  size_t lines;
};

const ReplyCase kCases[] = {
    {"one line", {"250 ok\r\n"}, Outcome::Complete, "250", "250 ok", 1},
    {"code alone", {"354\r\n"}, Outcome::Complete, "354", "354", 1},
    {"bare LF", {"250 ok\n"}, Outcome::Complete, "250", "250 ok", 1},
    {"multi-line at once",
     {"250-mx\r\n250-SIZE 1\r\n250 8BITMIME\r\n"},
     Outcome::Complete,
     "250",
     "250 8BITMIME",
     3},
    {"greeting in two packets",
     {"220-first\r\n", "220 second\r\n"},
     Outcome::Complete,
     "220",
     "220 second",
     2},
    {"cut inside a line and inside CR LF",
     {"22", "0-a\r", "\n220 b", "\r", "\n"},
     Outcome::Complete,
     "220",
     "220 b",
     2},
    {"not yet whole", {"250-mx\r\n250 8BIT"}, Outcome::NeedMore, "250", "250-mx", 1},
    {"partial first line", {"220 slo"}, Outcome::NeedMore, "220", "220 slo", 0},
    {"bytes after the final line dropped",
     {"250 sender\r\n354 unasked\r\n"},
     Outcome::Complete,
     "250",
     "250 sender",
     1},
    {"NUL ends a line's text",
     {std::string("250 ok\0tail\r\n", 13)},
     Outcome::Complete,
     "250",
     "250 ok",
     1},
    {"NUL in front",
     {std::string("\0"
                  "250 x\r\n",
                  8)},
     Outcome::Complete,
     "",
     "",
     1},
    {"garbage ends the reply", {"abc def\r\n"}, Outcome::Complete, "abc", "abc def", 1},
    {"short code", {"25\r\n"}, Outcome::Complete, "25", "25", 1},
    {"line over the byte cap",
     {"250-" + std::string(kMaxReplyBytes, 'x')},
     Outcome::TooLong,
     "250",
     "",
     0},
    {"endless continuation",
     {std::string(), std::string()},
     Outcome::TooLong,
     "334",
     "334-more",
     kMaxReplyLines},
};

TEST(ReplyCollector, GathersWholeReplies) {
  for (const ReplyCase& test : kCases) {
    SCOPED_TRACE(test.name);
    ReplyCollector reply;
    std::vector<std::string> pieces = test.pieces;
    if (std::string(test.name) == "endless continuation") {
      std::string many;
      for (size_t i = 0; i < kMaxReplyLines + 5; ++i) many += "334-more\r\n";
      pieces = {many};
    }
    Outcome outcome = Outcome::NeedMore;
    for (const std::string& piece : pieces) {
      ASSERT_EQ(outcome, Outcome::NeedMore);
      outcome = reply.add(piece.data(), piece.size());
    }
    EXPECT_EQ(outcome, test.outcome);
    if (test.outcome != Outcome::TooLong || test.lines > 0) {
      EXPECT_EQ(reply.code(), test.code);
      EXPECT_EQ(reply.lastLine(), test.lastLine);
    }
    EXPECT_EQ(reply.lines().size(), test.lines);
  }
}

// Cut only in the report, after masking.
TEST(ReplyCollector, LongLineIsKeptWhole) {
  ReplyCollector reply;
  std::string line = "220 " + std::string(6000, 'x') + "\r\n";
  ASSERT_EQ(reply.add(line.data(), line.size()), Outcome::Complete);
  EXPECT_EQ(reply.lastLine().size(), 6004u);
}

TEST(ReplyCollector, ExtensionsOfAnEhloReply) {
  const std::string text =
      "250-STARTTLS mx\r\n250-auth LOGIN PLAIN\r\n250-starttls\r\n250 SIZE\r\n";
  ReplyCollector reply;
  ASSERT_EQ(reply.add(text.data(), text.size()), Outcome::Complete);
  EXPECT_TRUE(reply.offers("STARTTLS"));  // the third line; the first names the host
  EXPECT_TRUE(reply.offers("AUTH"));
  EXPECT_TRUE(reply.offers("size"));
  EXPECT_FALSE(reply.offers("8BITMIME"));
  EXPECT_FALSE(reply.offers("START"));

  ReplyCollector single;
  const std::string one = "250 STARTTLS\r\n";
  single.add(one.data(), one.size());
  EXPECT_FALSE(single.offers("STARTTLS"));
}

}  // namespace
}  // namespace veltrum
