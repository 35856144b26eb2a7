#include "mail/base64.h"

namespace veltrum {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

int base64Encode(const unsigned char* input, int length, char* output) {
  int written = 0;
  for (int at = 0; at < length; at += 3) {
    int left = length - at;
    unsigned value = static_cast<unsigned>(input[at]) << 16;
    if (left > 1) value |= static_cast<unsigned>(input[at + 1]) << 8;
    if (left > 2) value |= input[at + 2];
    output[written++] = kAlphabet[(value >> 18) & 63];
    output[written++] = kAlphabet[(value >> 12) & 63];
    output[written++] = left > 1 ? kAlphabet[(value >> 6) & 63] : '=';
    output[written++] = left > 2 ? kAlphabet[value & 63] : '=';
  }
  output[written] = '\0';
  return written;
}

std::string base64EncodeText(const std::string& text) {
  if (text.empty()) return "";
  int length = static_cast<int>(text.size());
  std::string encoded(static_cast<size_t>((length + 2) / 3) * 4 + 1, '\0');
  int written =
      base64Encode(reinterpret_cast<const unsigned char*>(text.data()), length, encoded.data());
  encoded.resize(static_cast<size_t>(written));
  return encoded;
}

}  // namespace veltrum
