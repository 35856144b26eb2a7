#include "mail/header_encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace veltrum {
namespace {

int hexValue(char c) {
  return c <= '9' ? c - '0' : c - 'A' + 10;
}

int base64Value(char c) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  return static_cast<int>(alphabet.find(c));
}

// What a mail program shows for encoded words separated by blanks: the
// decoded words joined without the blanks. Also checks the word's form.
std::string decoded(const std::string& words, const std::string& charset) {
  std::string text;
  size_t start = 0;
  while (start <= words.size()) {
    size_t end = words.find(' ', start);
    if (end == std::string::npos) end = words.size();
    std::string word = words.substr(start, end - start);
    EXPECT_LE(word.size(), kLongestEncodedWord) << word;
    std::string prefix = "=?" + charset + "?";
    EXPECT_EQ(word.substr(0, prefix.size()), prefix) << word;
    EXPECT_EQ(word.substr(word.size() - 2), "?=") << word;
    char encoding = word[prefix.size()];
    std::string payload = word.substr(prefix.size() + 2, word.size() - prefix.size() - 4);
    if (encoding == 'Q') {
      for (size_t at = 0; at < payload.size(); ++at) {
        if (payload[at] == '_') {
          text += ' ';
        } else if (payload[at] == '=') {
          text += static_cast<char>(hexValue(payload[at + 1]) * 16 + hexValue(payload[at + 2]));
          at += 2;
        } else {
          text += payload[at];
        }
      }
    } else {
      EXPECT_EQ(encoding, 'B');
      unsigned bits = 0;
      int count = 0;
      for (char c : payload) {
        if (c == '=') break;
        bits = (bits << 6) | static_cast<unsigned>(base64Value(c));
        count += 6;
        if (count >= 8) {
          count -= 8;
          text += static_cast<char>((bits >> count) & 0xFF);
        }
      }
    }
    start = end + 1;
  }
  return text;
}

TEST(EncodedWords, ShortTexts) {
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

TEST(EncodedWords, LongTextsAreSplitIntoWordsThatDecodeToTheText) {
  struct Case {
    std::string text, charset;
  } cases[] = {
      {std::string(200, 'a') + "\xE4", "iso-8859-1"},
      {std::string(100, '\xE4'), "iso-8859-1"},
      {std::string(101, '\x80'), "windows-1252"},
      {std::string(66, '=') + "x\x80", "windows-1252"},
      {"\xDC"
       "berwachung: Die Datei /srv/dropzone/auftrag-2026-12-07.lck ist \xE4lter "
       "als erlaubt",
       "iso-8859-1"},
  };
  for (const Case& c : cases) {
    std::string words = encodedWords(c.text);
    EXPECT_NE(words.find(' '), std::string::npos);  // more than one word
    EXPECT_EQ(decoded(words, c.charset), c.text) << words;
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
