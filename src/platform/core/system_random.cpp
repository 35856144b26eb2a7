#include <vector>

#include "platform/core/system_random.h"

namespace veltrum {

std::string systemRandomHex(size_t size) {
  static const char kHex[] = "0123456789abcdef";
  std::vector<unsigned char> bytes(size);
  if (!systemRandomBytes(bytes.data(), size)) return "";
  std::string text;
  for (unsigned char byte : bytes) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0xf];
  }
  return text;
}

}  // namespace veltrum
