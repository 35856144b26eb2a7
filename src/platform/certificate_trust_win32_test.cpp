#include "platform/certificate_trust_win32.h"

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

}  // namespace
}  // namespace veltrum
