// Base64 of RFC 4648 (standard alphabet, "=" fill, no line breaks), used for
// the account lines of AUTH LOGIN.
#pragma once

#include <string>

namespace veltrum {

// Writes 4 characters per 3 input bytes and a terminating zero byte; the
// caller provides 4 * ceil(length / 3) + 1 bytes. A length of 0 or less
// writes only the terminator. Returns the number of characters written.
int base64Encode(const unsigned char* input, int length, char* output);

// The base64 form of the text's bytes (8-bit, no character-set conversion).
std::string base64EncodeText(const std::string& text);

// The bytes of a base64 text (standard alphabet, "=" fill optional); false
// for any other character or a length no encoder gives.
bool base64DecodeText(const std::string& text, std::string& decoded);

}  // namespace veltrum
