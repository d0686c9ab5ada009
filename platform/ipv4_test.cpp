#include "platform/ipv4.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <string>

namespace zv {
namespace {

// One table for the one rule every reader of addresses uses.
TEST(Ipv4Text, TableOfCases) {
  using namespace std::string_literals;
  struct row {
    std::string text;
    const char* address;  // nullptr: refused
  };
  const row rows[] = {
      {"10.0.0.1", "10.0.0.1"},
      {"0.0.0.0", "0.0.0.0"},
      {"255.255.255.255", "255.255.255.255"},
      {"192.168.100.7", "192.168.100.7"},
      {"010.0.0.1", "10.0.0.1"},  // decimal, never octal
      {"10.0.0.0001", "10.0.0.1"},
      {"0x0a.0.0.1", nullptr},
      {"1.2.3.0256", nullptr},
      {"256.0.0.1", nullptr},
      {"1.2.3", nullptr},
      {"1.2.3.4.5", nullptr},
      {"1.2.3.", nullptr},
      {".1.2.3", nullptr},
      {"1..2.3", nullptr},
      {" 1.2.3.4", nullptr},
      {"1.2.3.4 ", nullptr},
      {"1.2.3.4\n", nullptr},
      {"1.2.3.4\0junk"s, nullptr},
      {"1.2.3.4\0"s, nullptr},
      {"1.2.3.1000", nullptr},
      {"0x1.2.3.4", nullptr},
      {"+1.2.3.4", nullptr},
      {"", nullptr},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    std::optional<uint32_t> got = parseIpv4Text(r.text);
    if (!r.address) {
      EXPECT_FALSE(got);
      continue;
    }
    ASSERT_TRUE(got);
    in_addr expected{};
    ASSERT_EQ(::inet_pton(AF_INET, r.address, &expected), 1);
    EXPECT_EQ(*got, expected.s_addr);
  }
}

}  // namespace
}  // namespace zv
