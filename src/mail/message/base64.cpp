#include "mail/message/base64.h"

namespace veltrum {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int alphabetIndex(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

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

bool base64DecodeText(const std::string& text, std::string& decoded) {
  std::string digits = text.substr(0, text.find_last_not_of('=') + 1);
  if (text.size() - digits.size() > 2 || digits.size() % 4 == 1) return false;
  decoded.clear();
  unsigned value = 0;
  int bits = 0;
  for (char c : digits) {
    int index = alphabetIndex(c);
    if (index < 0) return false;
    value = (value << 6) | static_cast<unsigned>(index);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      decoded += static_cast<char>((value >> bits) & 0xFF);
    }
  }
  return true;
}

}  // namespace veltrum
