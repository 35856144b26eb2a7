#include "mail/message/base64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace veltrum {
namespace {

TEST(Base64, Rfc4648Vectors) {
  EXPECT_EQ(base64EncodeText(""), "");
  EXPECT_EQ(base64EncodeText("f"), "Zg==");
  EXPECT_EQ(base64EncodeText("fo"), "Zm8=");
  EXPECT_EQ(base64EncodeText("foo"), "Zm9v");
  EXPECT_EQ(base64EncodeText("foob"), "Zm9vYg==");
  EXPECT_EQ(base64EncodeText("fooba"), "Zm9vYmE=");
  EXPECT_EQ(base64EncodeText("foobar"), "Zm9vYmFy");
}

TEST(Base64, EightBitBytesAndBothHighIndices) {
  EXPECT_EQ(base64EncodeText("\xFC"), "/A==");  // a Latin-1 umlaut as its one byte
  EXPECT_EQ(base64EncodeText("\xFB\xFF\xBF"), "+/+/");
  EXPECT_EQ(base64EncodeText(std::string("\0\0", 2)), "AAA=");  // zero bytes are data too
}

TEST(Base64, LongInputStaysOnOneLine) {
  std::string encoded = base64EncodeText(std::string(57, 'x'));
  EXPECT_EQ(encoded.size(), 76u);
  EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(base64EncodeText(std::string(1000, 'x')).size(), 1336u);
}

TEST(Base64, RawEncoderTerminatesAndCounts) {
  char output[8];
  std::memset(output, '#', sizeof output);
  EXPECT_EQ(base64Encode(reinterpret_cast<const unsigned char*>("ab"), 2, output), 4);
  EXPECT_STREQ(output, "YWI=");
  EXPECT_EQ(base64Encode(reinterpret_cast<const unsigned char*>("ab"), 0, output), 0);
  EXPECT_EQ(output[0], '\0');
  EXPECT_EQ(base64Encode(reinterpret_cast<const unsigned char*>("ab"), -5, output), 0);
}

TEST(Base64, DecodesWhatItEncodesAndRefusesTheRest) {
  for (const std::string text : {"", "f", "fo", "foo", "foob", "\xFB\xFF\xBF\x00\x01"}) {
    std::string decoded;
    EXPECT_TRUE(base64DecodeText(base64EncodeText(text), decoded));
    EXPECT_EQ(decoded, text);
  }
  std::string decoded;
  EXPECT_TRUE(base64DecodeText("Zm9vYg", decoded));  // fill left out
  EXPECT_EQ(decoded, "foob");
  for (const char* bad : {"Zm9vY", "Zm9v====", "Zm 9v", "Zm9v\r\n", "Zm-_", "===="}) {
    EXPECT_FALSE(base64DecodeText(bad, decoded)) << bad;
  }
}

}  // namespace
}  // namespace veltrum
