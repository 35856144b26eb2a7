#include "mail/message/header_encoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "mail/message/base64.h"
#include "platform/core/text_encoding.h"

namespace veltrum {
namespace {

TEST(EncodedWords, ShortTexts) {
  // Windows-1252 texts, as the Windows build holds them.
  const ScopedTextEncoding windows(TextEncoding::windows1252);
  struct Case {
    std::string text, words;
  } cases[] = {
      {"W\xE4"
       "chter",
       "=?iso-8859-1?Q?W=E4chter?="},
      {"Alte Dateien \xFC"
       "berall",
       "=?iso-8859-1?Q?Alte_Dateien_=FCberall?="},
      {"Datei_eins=zweiundzwanzig? gr\xFCn",
       "=?iso-8859-1?Q?Datei=5Feins=3Dzweiundzwanzig=3F_gr=FCn?="},
      // B where it is shorter; the charset follows the bytes 0x80-0x9F.
      {"\x80", "=?windows-1252?Q?=80?="},
      {"\x80\x80\x80", "=?windows-1252?B?gICA?="},
      {"\xE4\xF6\xFC", "=?iso-8859-1?B?5Pb8?="},
      {"Kosten: 5 \x80", "=?windows-1252?Q?Kosten=3A_5_=80?="},
  };
  for (const Case& c : cases) EXPECT_EQ(encodedWords(c.text), c.words) << c.text;
}

TEST(EncodedWords, LongTextsAreSplitIntoWordsOfAtMost67Characters) {
  // Windows-1252 texts, as the Windows build holds them.
  const ScopedTextEncoding windows(TextEncoding::windows1252);
  auto repeated = [](const std::string& text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) result += text;
    return result;
  };
  const std::string q = "=?iso-8859-1?Q?", b = "=?iso-8859-1?B?";
  const std::string a50(50, 'a'), a49(49, 'a');
  struct Case {
    std::string text, words;
  } cases[] = {
      // Q: 50 characters between "=?iso-8859-1?Q?" and "?=".
      {std::string(200, 'a') + "\xE4",
       q + a50 + "?= " + q + a50 + "?= " + q + a50 + "?= " + q + a50 + "?= " + q + "=E4?="},
      // An "=XX" is never cut.
      {a49 + "\xE4" + "b", q + a49 + "?= " + q + "=E4b?="},
      // B: whole groups of three bytes, 36 bytes to a word.
      {std::string(100, '\xE4'), b + repeated("5OTk", 12) + "?= " + b + repeated("5OTk", 12) +
                                     "?= " + b + repeated("5OTk", 9) + "5A==?="},
  };
  for (const Case& c : cases) EXPECT_EQ(encodedWords(c.text), c.words) << c.text;

  std::string words = encodedWords(std::string(1000, '\x80'));
  for (size_t start = 0, end; start < words.size(); start = end + 1) {
    end = std::min(words.find(' ', start), words.size());
    EXPECT_LE(end - start, kLongestEncodedWord);
    EXPECT_EQ(words.compare(start, 17, "=?windows-1252?B?"), 0);
  }
}

// The text a reader gets back from the words, each word decoded on its own,
// as a mail program does; "" when a word is not well-formed UTF-8.
std::string decodedWords(const std::string& words) {
  std::string text;
  for (size_t start = 0; start < words.size();) {
    size_t end = words.find(' ', start);
    if (end == std::string::npos) end = words.size();
    const std::string word = words.substr(start, end - start);
    const std::string payload = word.substr(10, word.size() - 12);  // "=?utf-8?X?" ... "?="
    std::string bytes;
    if (word[8] == 'B') {
      if (!base64DecodeText(payload, bytes)) return "";
    } else {
      for (size_t at = 0; at < payload.size(); ++at) {
        if (payload[at] == '=') {
          bytes += static_cast<char>(std::stoi(payload.substr(at + 1, 2), nullptr, 16));
          at += 2;
        } else {
          bytes += payload[at] == '_' ? ' ' : payload[at];
        }
      }
    }
    if (!isValidUtf8(bytes) || word.size() > kLongestEncodedWord) return "";
    text += bytes;
    start = end + 1;
  }
  return text;
}

TEST(EncodedWords, Utf8WordsHoldWholeCharacters) {
  const ScopedTextEncoding utf8(TextEncoding::utf8);
  const std::string texts[] = {
      "Jürgen Müller",
      std::string(48, 'a') + "€uro",        // Q: the euro sign at the end of the room
      std::string(47, 'a') + "€uro",        // and one byte earlier
      "äöüäöüäöüäöüäöüäöüäöüäöüäöüäöüäöü",  // B: groups of three bytes cut two-byte characters
      "😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀",                    // four bytes each
  };
  for (const std::string& text : texts) {
    const std::string words = encodedWords(text);
    EXPECT_EQ(words.compare(0, 10, "=?utf-8?Q?") == 0 || words.compare(0, 10, "=?utf-8?B?") == 0,
              true)
        << words;
    EXPECT_EQ(decodedWords(words), text) << words;
  }
}

TEST(FoldedLines, CutBeforeBlanksOnly) {
  const std::string w20(20, 'w'), long100(100, 'L');
  struct Case {
    std::string line;
    std::vector<std::string> lines;
  } cases[] = {
      {"From: Wache <w@b.de>", {"From: Wache <w@b.de>"}},
      {"To: " + w20 + ", " + w20 + ", " + w20 + ", " + w20,
       {"To: " + w20 + ", " + w20 + ", " + w20 + ",", " " + w20}},
      // A word longer than a line stays whole; the first stays after the name.
      {"To: " + long100 + " x", {"To: " + long100, " x"}},
      {"To: x " + long100, {"To: x", " " + long100}},
      // Runs of blanks stay; no line is blanks only.
      {"Subject: a  " + long100 + std::string(80, ' '),
       {"Subject: a", "  " + long100 + std::string(80, ' ')}},
      {"Cc:" + std::string(90, ' ') + "<a@b.de>", {"Cc:" + std::string(90, ' ') + "<a@b.de>"}},
  };
  for (const Case& c : cases) EXPECT_EQ(foldedLines(c.line), c.lines) << c.line;

  std::string subject = "Subject: " + encodedWords(std::string(300, '\xE4'));
  std::string joined;
  for (const std::string& line : foldedLines(subject)) {
    EXPECT_LE(line.size(), kLongestHeaderLine) << line;
    joined += line;
  }
  EXPECT_EQ(joined, subject);
}

}  // namespace
}  // namespace veltrum
