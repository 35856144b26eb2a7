#include "mail/message/header_encoding.h"

#include "mail/message/base64.h"
#include "mail/message/charset.h"

namespace veltrum {

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

// The Q form of one byte (RFC 2047, section 4.2), restricted to the
// characters allowed in a phrase (section 5, rule 3).
std::string qUnit(char c) {
  unsigned char byte = static_cast<unsigned char>(c);
  bool literal = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                 (byte >= '0' && byte <= '9') || c == '!' || c == '*' || c == '+' || c == '-' ||
                 c == '/';
  if (literal) return std::string(1, c);
  if (c == ' ') return "_";
  return {'=', kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]};
}

size_t qLength(const std::string& text) {
  size_t length = 0;
  for (char c : text) length += qUnit(c).size();
  return length;
}

void appendWord(std::string& words, const std::string& word) {
  if (!words.empty()) words += ' ';
  words += word;
}

std::string qWords(const std::string& text, const std::string& charset, const std::string& prefix) {
  const size_t room = kLongestEncodedWord - prefix.size() - 2;  // "?=" closes the word
  std::string words;
  std::string payload;
  for (size_t at = 0; at < text.size();) {
    // A character is never cut, nor an "=XX" inside it.
    std::string unit;
    const size_t length = characterLength(text, at, charset);
    for (size_t i = 0; i < length; ++i) unit += qUnit(text[at + i]);
    at += length;
    if (payload.size() + unit.size() > room) {
      appendWord(words, prefix + payload + "?=");
      payload.clear();
    }
    payload += unit;
  }
  appendWord(words, prefix + payload + "?=");
  return words;
}

std::string bWords(const std::string& text, const std::string& charset, const std::string& prefix) {
  const size_t room = kLongestEncodedWord - prefix.size() - 2;
  const size_t bytesPerWord = room / 4 * 3;  // whole groups of three bytes
  std::string words;
  for (size_t at = 0; at < text.size();) {
    // As many whole characters as fit; the last group may then be short.
    size_t end = at;
    while (end < text.size()) {
      const size_t length = characterLength(text, end, charset);
      if (end + length - at > bytesPerWord) break;
      end += length;
    }
    if (end == at) end = at + characterLength(text, at, charset);  // never without progress
    appendWord(words, prefix + base64EncodeText(text.substr(at, end - at)) + "?=");
    at = end;
  }
  return words;
}

}  // namespace

std::string asOneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

std::string encodedWords(const std::string& text) {
  const std::string charset = charsetOf(text);
  size_t bLength = (text.size() + 2) / 3 * 4;
  if (qLength(text) <= bLength) return qWords(text, charset, "=?" + charset + "?Q?");
  return bWords(text, charset, "=?" + charset + "?B?");
}

std::string longWordsEncoded(const std::string& text, size_t longest) {
  std::string result;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find(' ', at);
    if (end == at) {
      result += ' ';
      ++at;
      continue;
    }
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(at, end - at);
    result += word.size() > longest ? encodedWords(word) : word;
    at = end;
  }
  return result;
}

std::vector<std::string> foldedLines(const std::string& line) {
  // The end of the blanks and the word that start at `from`.
  auto tokenEnd = [&line](size_t from) {
    size_t word = line.find_first_not_of(' ', from);
    if (word == std::string::npos) return line.size();
    size_t end = line.find(' ', word);
    return end == std::string::npos ? line.size() : end;
  };
  size_t colon = line.find(':');
  size_t at = tokenEnd(colon == std::string::npos ? 0 : colon + 1);
  std::vector<std::string> lines{line.substr(0, at)};
  while (at < line.size()) {
    size_t end = tokenEnd(at);
    bool holdsWord = line.find_first_not_of(' ', at) < end;
    if (holdsWord && lines.back().size() + (end - at) > kLongestHeaderLine) {
      lines.push_back(line.substr(at, end - at));
    } else {
      lines.back() += line.substr(at, end - at);
    }
    at = end;
  }
  return lines;
}

}  // namespace veltrum
