#include "mail/smtp/greeting_name.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

TEST(GreetingName, HostNamesAndAddressLiterals) {
  const std::string label63(63, 'a');
  const std::string name253 = label63 + "." + label63 + "." + label63 + "." + std::string(61, 'b');
  const std::pair<std::string, bool> cases[] = {
      {"watchdog.example.com", true},
      {"Mailwerk", true},
      {"mx-1.Example.ORG", true},
      {label63 + ".de", true},
      {std::string(64, 'a') + ".de", false},
      {name253, true},
      {name253 + "b", false},
      {"[192.0.2.1]", true},
      {"[IPv6:2001:db8::1]", true},
      {"[ipv6:::ffff:192.0.2.1]", true},
      {"", false},
      {"watch dog.example.com", false},
      {"watchdog.example.com\r\nRCPT TO:<x@y>", false},
      {"watch\tdog", false},
      {"a..b", false},
      {".example.com", false},
      {"example.com.", false},
      {"w\xC3\xA4"
       "chter.de",
       false},
      {"under_score.de", false},
      {"[192.0.2.256]", false},
      {"[192.0.2]", false},
      {"[192.0.2.1.5]", false},
      {"[1.2.3.-4]", false},
      {"[IPv6:]", false},
      {"[IPv6:2001:db8::g]", false},
      {"[example.com]", false},
      {"[]", false},
  };
  for (const auto& [name, valid] : cases) EXPECT_EQ(validGreetingName(name), valid) << name;
}

}  // namespace
}  // namespace veltrum
