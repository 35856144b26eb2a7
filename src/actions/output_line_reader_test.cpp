#include "actions/output_line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace veltrum {
namespace {

// Delivers the chunks one per read, as a pipe might.
struct Chunks {
  std::vector<std::string> chunks;
  size_t next = 0;
  bool read(std::string* bytes) {
    if (next == chunks.size()) return false;
    bytes->append(chunks[next++]);
    return true;
  }
};

std::vector<std::string> linesOf(std::vector<std::string> chunks) {
  Chunks source{std::move(chunks)};
  OutputLineReader reader([&source](std::string* bytes) { return source.read(bytes); });
  std::vector<std::string> lines;
  std::string line;
  while (reader.nextLine(&line)) lines.push_back(line);
  EXPECT_FALSE(reader.nextLine(&line)) << "the end of data stays the end";
  return lines;
}

std::vector<std::string> byteByByte(const std::string& text) {
  std::vector<std::string> chunks;
  for (char c : text) chunks.emplace_back(1, c);
  return chunks;
}

using Lines = std::vector<std::string>;

TEST(OutputLineReader, CrLfLfAndCrEachEndOneLine) {
  EXPECT_EQ(linesOf({"one\r\ntwo\r\n"}), (Lines{"one", "two"}));
  EXPECT_EQ(linesOf({"one\ntwo\n"}), (Lines{"one", "two"}));
  EXPECT_EQ(linesOf({"one\rtwo\r"}), (Lines{"one", "two"}));
  EXPECT_EQ(linesOf({"a\r\n\r\nb\n\rc\r\rd"}), (Lines{"a", "", "b", "", "c", "", "d"}));
}

TEST(OutputLineReader, CrAtTheEndOfWhatWasReadWaitsForTheNextByte) {
  EXPECT_EQ(linesOf({"a\r", "\nb\r\n"}), (Lines{"a", "b"}));
  EXPECT_EQ(linesOf({"a\r", "b"}), (Lines{"a", "b"}));
  EXPECT_EQ(linesOf({"a\r", "\r", "\n"}), (Lines{"a", ""}));
  EXPECT_EQ(linesOf({"a\r"}), (Lines{"a"}));
  EXPECT_EQ(linesOf(byteByByte("one\r\ntwo\rthree\nfour\r\n")),
            (Lines{"one", "two", "three", "four"}));
}

TEST(OutputLineReader, TheLastLineNeedsNoLineEnd) {
  EXPECT_EQ(linesOf({"one\ntw", "o"}), (Lines{"one", "two"}));
  EXPECT_EQ(linesOf({"only"}), (Lines{"only"}));
}

TEST(OutputLineReader, NoOutputGivesNoLine) {
  EXPECT_EQ(linesOf({}), Lines{});
  EXPECT_EQ(linesOf({"\n"}), (Lines{""}));
}

TEST(OutputLineReader, KeepsEveryOtherByte) {
  const std::string binary("a\0b\xff\x7f\tz", 7);
  EXPECT_EQ(linesOf({binary + "\n", binary}), (Lines{binary, binary}));
}

TEST(OutputLineReader, ReadsNoFurtherThanTheLineItReturns) {
  Chunks source{{"a\nb\n", "c\n"}};
  OutputLineReader reader([&source](std::string* bytes) { return source.read(bytes); });
  std::string line;
  ASSERT_TRUE(reader.nextLine(&line));
  ASSERT_TRUE(reader.nextLine(&line));
  EXPECT_EQ(line, "b");
  EXPECT_EQ(source.next, 1u) << "a line already read must not wait for more output";
}

TEST(OutputLineReader, LongLinesInSmallChunks) {
  const std::string longLine(10 * 1024 * 1024, 'x');
  std::vector<std::string> chunks;
  for (size_t at = 0; at < longLine.size(); at += 4096) chunks.push_back(longLine.substr(at, 4096));
  chunks.push_back("\r");
  chunks.push_back("\nend");
  Lines lines = linesOf(chunks);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), longLine.size());
  EXPECT_EQ(lines[0], longLine);
  EXPECT_EQ(lines[1], "end");
}

}  // namespace
}  // namespace veltrum
