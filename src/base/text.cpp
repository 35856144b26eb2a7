#include "base/text.h"

#include "platform/core/text_encoding.h"
#include "platform/system/console.h"

namespace veltrum {

namespace {

// One decoded UTF-8 sequence: its code point (or -1 when malformed) and how
// many bytes it took.
struct Decoded {
  long code;
  size_t length;
  size_t declaredLength;
};

Decoded decodeUtf8(const std::string& text, size_t at) {
  unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return {lead, 1, 1};
  size_t declared = lead >= 0xF0 && lead <= 0xF7 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (declared == 0 || lead >= 0xF8) return {-1, 1, 1};  // stray continuation or invalid lead
  long code = lead & (0x7F >> declared);
  size_t length = 1;
  while (length < declared && at + length < text.size() &&
         (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80) {
    code = (code << 6) | (static_cast<unsigned char>(text[at + length]) & 0x3F);
    ++length;
  }
  if (length < declared) return {-1, length, declared};  // cut short
  static const long kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[declared] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    return {-1, length, declared};  // overlong, beyond Unicode or a surrogate
  }
  return {code, length, declared};
}

void appendUtf8(long code, std::string* out) {
  if (code < 0x80) {
    *out += static_cast<char>(code);
  } else {
    *out += static_cast<char>(0xC0 | (code >> 6));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

char toWindows1252(long code) {
  if (code < 0) return '?';
  if (code < 0x100 && (code < 0x80 || code > 0x9F)) return static_cast<char>(code);
  for (int byte = 0x80; byte <= 0x9F; ++byte) {
    if (cp1252CodePoint(static_cast<unsigned char>(byte)) == static_cast<char32_t>(code)) {
      return static_cast<char>(byte);
    }
  }
  return '?';
}

}  // namespace

std::string nativeText(const char* utf8) {
  return platformTextEncoding() == TextEncoding::utf8 ? std::string(utf8) : cp1252(utf8);
}

std::string cp1252(const char* utf8) {
  return windows1252Of(utf8, TextEncoding::utf8);
}

std::string windows1252Of(const std::string& text, TextEncoding encoding) {
  if (encoding == TextEncoding::windows1252) return text;
  std::string result;
  for (size_t at = 0; at < text.size();) {
    Decoded decoded = decodeUtf8(text, at);
    result += toWindows1252(decoded.code);
    at += decoded.length;
  }
  return result;
}

std::string utf8Of(const std::string& text, TextEncoding encoding) {
  return encoding == TextEncoding::utf8 ? text : windows1252ToUtf8(text);
}

std::string cutText(const std::string& text, size_t limit, TextEncoding encoding) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  if (encoding == TextEncoding::utf8) {
    // Back to the lead byte of the character the limit falls into.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  }
  return text.substr(0, end);
}

std::string cp1252ToUtf8(const std::string& text) {
  return windows1252ToUtf8(text);
}

std::string utf8ToLatin1(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    Decoded decoded = decodeUtf8(text, at);
    bool fits = decoded.code >= 0 && decoded.code <= 0xFF && decoded.declaredLength <= 2;
    result += fits ? static_cast<char>(decoded.code) : '?';
    at += decoded.length;
  }
  return result;
}

size_t validUtf8Length(const std::string& text, size_t at) {
  Decoded decoded = decodeUtf8(text, at);
  return decoded.code < 0 ? 0 : decoded.length;
}

std::string wellFormedUtf8(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    Decoded decoded = decodeUtf8(text, at);
    if (decoded.code < 0) {
      result += '?';
    } else {
      result.append(text, at, decoded.length);
    }
    at += decoded.length;
  }
  return result;
}

bool isValidUtf8(const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    size_t length = validUtf8Length(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string latin1ToUtf8(const std::string& text) {
  std::string result;
  result.reserve(text.size() * 2);
  for (unsigned char byte : text) appendUtf8(byte, &result);
  return result;
}

}  // namespace veltrum
