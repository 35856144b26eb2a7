// Header values that are not plain short ASCII: 8-bit text as encoded words
// (RFC 2047), and long fields folded onto several lines (RFC 5322).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace veltrum {

// The text with every CR and LF made a blank: a header value is one line.
std::string asOneLine(std::string text);

// The longest encoded word written: "Subject: " and one word fit into the
// 76 characters that RFC 2047 allows a line holding encoded words.
constexpr size_t kLongestEncodedWord = 67;

// The longest header line that folding aims at, CR LF not counted.
constexpr size_t kLongestHeaderLine = 76;

// The text as encoded words separated by single blanks, in the charset of
// its bytes (see charsetOf), "Q" or "B" encoded, whichever is shorter, each
// word at most kLongestEncodedWord characters. A reader joins the words
// again without the blanks. The Q form writes only letters, digits and
// "!*+-/", so the words may stand in a display name as well.
std::string encodedWords(const std::string& text);

// The longest line a message may hold, CR LF not counted (RFC 5322).
constexpr size_t kLongestLine = 998;

// The text with every blank-separated word longer than `longest` written as
// encoded words (see encodedWords), so that folding at blanks can bring every
// line under kLongestLine; the other words and the blanks stay as they are.
std::string longWordsEncoded(const std::string& text, size_t longest);

// The header line (without CR LF) cut before blanks so that no line is
// longer than kLongestHeaderLine where the blanks allow it; every line after
// the first begins with the blank it was cut at. The first line keeps the
// first word after the field name; a word is never cut.
std::vector<std::string> foldedLines(const std::string& line);

}  // namespace veltrum
