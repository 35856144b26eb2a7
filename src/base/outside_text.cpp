#include "base/outside_text.h"

#include "base/text.h"
#include "platform/system/console.h"

namespace veltrum {

namespace {

const char kHexDigits[] = "0123456789abcdef";

void appendHexEscape(unsigned char byte, std::string* out) {
  *out += "\\x";
  *out += kHexDigits[byte >> 4];
  *out += kHexDigits[byte & 0x0F];
}

// A byte Windows-1252 gives no character: it has nothing readable to show.
bool undefinedInWindows1252(unsigned char byte) {
  return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

void appendControlEscape(unsigned char byte, std::string* out) {
  if (byte == '\r') {
    *out += "\\r";
  } else if (byte == '\n') {
    *out += "\\n";
  } else if (byte == '\t') {
    *out += "\\t";
  } else {
    appendHexEscape(byte, out);
  }
}

}  // namespace

std::string decodedText(const std::string& bytes, TextEncoding encoding) {
  if (encoding == TextEncoding::windows1252) return bytes;
  std::string result;
  result.reserve(bytes.size());
  for (size_t at = 0; at < bytes.size();) {
    size_t length = validUtf8Length(bytes, at);
    if (length > 0) {
      result.append(bytes, at, length);
      at += length;
      continue;
    }
    // Only this one byte is taken as Windows-1252: the next may start a
    // well-formed sequence of its own.
    unsigned char byte = static_cast<unsigned char>(bytes[at++]);
    if (undefinedInWindows1252(byte)) {
      appendHexEscape(byte, &result);
    } else {
      result += windows1252ToUtf8(std::string(1, static_cast<char>(byte)));
    }
  }
  return result;
}

std::string escapedText(const std::string& text, TextEncoding encoding) {
  std::string result;
  result.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    unsigned char byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x20 || byte == 0x7F) {
      appendControlEscape(byte, &result);
      continue;
    }
    // U+0080..U+009F are C2 80..C2 9F in UTF-8. In Windows-1252 those bytes
    // are printable characters (the euro sign, quotes, dashes).
    unsigned char next = at + 1 < text.size() ? static_cast<unsigned char>(text[at + 1]) : 0;
    if (encoding == TextEncoding::utf8 && byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      result += "\\u00";
      result += kHexDigits[next >> 4];
      result += kHexDigits[next & 0x0F];
      ++at;
      continue;
    }
    result += static_cast<char>(byte);
  }
  return result;
}

std::string shownText(const std::string& bytes, TextEncoding encoding) {
  return escapedText(decodedText(bytes, encoding), encoding);
}

}  // namespace veltrum
