#include "platform/net/certificate_trust_win32.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

TEST(CertificateTrustWin32, DnsNamesMatchAsRfc6125Has) {
  const struct {
    const char* pattern;
    const char* host;
    bool matches;
  } cases[] = {
      {"mail.example.com", "mail.example.com", true},
      {"Mail.Example.COM", "mail.example.com", true},
      {"mail.example.com.", "mail.example.com", true},
      {"mail.example.com", "mail.example.com.", true},
      {"mail.example.com", "example.com", false},
      {"mail.example.com", "smtp.example.com", false},
      {"*.example.com", "mail.example.com", true},
      {"*.example.com", "MAIL.example.com", true},
      {"*.example.com", "example.com", false},
      {"*.example.com", "a.mail.example.com", false},
      {"*.example.com", ".example.com", false},
      {"*.com", "example.com", false},
      {"*", "localhost", false},
      {"m*.example.com", "mail.example.com", false},
      {"mail.*.com", "mail.example.com", false},
      {"*.*.com", "a.example.com", false},
      {"*.example.com", "*.example.com", false},
      {"", "mail.example.com", false},
      {"mail.example.com", "", false},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(dnsNameMatches(test.pattern, test.host), test.matches)
        << test.pattern << " for " << test.host;
  }
}

TEST(CertificateTrustWin32, AddressesAreToldFromNames) {
  for (const char* address : {"127.0.0.1", "10.1.2.3", "::1", "[::1]", "fe80::1"}) {
    EXPECT_TRUE(isAddress(address)) << address;
  }
  for (const char* name : {"localhost", "mail.example.com", "127.0.0.1.example.com", "", "1.2.3"}) {
    EXPECT_FALSE(isAddress(name)) << name;
  }
}

TEST(CertificateTrustWin32, DnsNamesAreReadWithTheirLengthAndANulNeverMatches) {
  using Bytes = std::string;
  const struct {
    Bytes encoded;
    std::vector<std::string> names;
  } cases[] = {
      {Bytes("\x30\x05\x82\x03\x61.b", 7), {"a.b"}},
      {Bytes("\x30\x0b\x82\x03\x61.b\x87\x04\x7f\x00\x00\x01", 13), {"a.b"}},
      {Bytes("\x30\x0a\x82\x03\x61.b\x82\x03\x63.d", 12), {"a.b", "c.d"}},
      // A NUL after the host's name, and a letter beyond ASCII.
      {Bytes("\x30\x07\x82\x05\x61.b\0x", 9), {""}},
      {Bytes("\x30\x05\x82\x03\x61\xe9\x62", 7), {""}},
      // Lengths in long form; lengths that run past the end.
      {Bytes("\x30\x81\x06\x82\x81\x03\x61.b", 9), {"a.b"}},
      {Bytes("\x30\x05\x82\x09\x61.b", 7), {}},
      {Bytes("\x30\x09\x82\x03\x61.b", 7), {}},
      {Bytes("\x31\x05\x82\x03\x61.b", 7), {}},
      {Bytes(), {}},
  };
  for (const auto& test : cases) {
    std::string bytes = test.encoded;
    CRYPT_DATA_BLOB blob = {static_cast<DWORD>(bytes.size()),
                            reinterpret_cast<BYTE*>(bytes.data())};
    EXPECT_EQ(dnsNamesOf(blob), test.names) << testing::PrintToString(test.encoded);
  }
}

}  // namespace
}  // namespace veltrum
