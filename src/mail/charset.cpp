#include "mail/charset.h"

namespace veltrum {

bool hasEightBitBytes(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) > 127) return true;
  }
  return false;
}

std::string charsetOf(const std::string& text) {
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte <= 0x9F) return "windows-1252";
  }
  return "iso-8859-1";
}

}  // namespace veltrum
