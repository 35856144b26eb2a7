#include "mail/message/quoted_printable.h"

namespace veltrum {

namespace {

constexpr size_t kLongestEncodedLine = 76;  // soft break "=" included
const char kHexDigits[] = "0123456789ABCDEF";

bool isLineEnd(char c) {
  return c == '\r' || c == '\n';
}

// Where the line end at `at` ends: CR LF counts as one line end.
size_t afterLineEnd(const std::string& text, size_t at) {
  if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') return at + 2;
  return at + 1;
}

// One byte as it stands in the encoded text; `lineEndFollows` when the next
// byte ends the line (or the text).
std::string encodedByte(char c, bool lineEndFollows) {
  unsigned char byte = static_cast<unsigned char>(c);
  bool literal = (byte >= 33 && byte <= 126 && byte != '=') ||
                 ((byte == ' ' || byte == '\t') && !lineEndFollows);
  if (literal) return std::string(1, c);
  return {'=', kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]};
}

}  // namespace

bool needsQuotedPrintable(const std::string& text) {
  size_t lineLength = 0;
  for (char c : text) {
    if (static_cast<unsigned char>(c) > 127) return true;
    lineLength = isLineEnd(c) ? 0 : lineLength + 1;
    if (lineLength > kLongestSevenBitLine) return true;
  }
  return false;
}

std::string quotedPrintable(const std::string& text) {
  std::string encoded;
  encoded.reserve(text.size() + text.size() / 4 + 8);
  size_t column = 0;
  size_t at = 0;
  while (at < text.size()) {
    if (isLineEnd(text[at])) {
      encoded += "\r\n";
      column = 0;
      at = afterLineEnd(text, at);
      continue;
    }
    bool lineEndFollows = at + 1 == text.size() || isLineEnd(text[at + 1]);
    std::string unit = encodedByte(text[at], lineEndFollows);
    // The soft break "=" needs a place of its own on the line, unless this
    // unit is the last one before the line end.
    size_t room = lineEndFollows ? kLongestEncodedLine : kLongestEncodedLine - 1;
    if (column + unit.size() > room) {
      encoded += "=\r\n";
      column = 0;
    }
    encoded += unit;
    column += unit.size();
    ++at;
  }
  return encoded;
}

}  // namespace veltrum
