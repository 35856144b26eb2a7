#include "mail/message/charset.h"

#include "base/text.h"

namespace veltrum {

bool hasEightBitBytes(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) > 127) return true;
  }
  return false;
}

std::string charsetOf(const std::string& text, TextEncoding encoding) {
  if (encoding == TextEncoding::utf8) return "utf-8";
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte <= 0x9F) return "windows-1252";
  }
  return "iso-8859-1";
}

size_t characterLength(const std::string& text, size_t at, const std::string& charset) {
  if (charset != "utf-8") return 1;
  size_t length = validUtf8Length(text, at);
  return length == 0 ? 1 : length;
}

}  // namespace veltrum
