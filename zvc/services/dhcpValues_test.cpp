#include "zvc/services/dhcpValues.h"

#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

// What each type accepts and the bytes it stores; nullopt is a refusal.
TEST(DhcpValues, TypedTextsGiveTheStoredBytes) {
  struct testCase {
    int32_t type;
    std::string text;
    std::optional<std::string> hex;  // the bytes; "" with off for a value that is off
    bool off = false;
  } cases[] = {
      {dhcpTypeIp, "192.168.1.10", "C0 A8 01 0A"},
      {dhcpTypeIp, "", "", true},
      {dhcpTypeIp, "1.2.3.4.5", std::nullopt},
      {dhcpTypeIp, "1.2.3.4.", std::nullopt},
      {dhcpTypeIp, "1.2.3", std::nullopt},
      {dhcpTypeIp, "256.1.1.1", std::nullopt},
      {dhcpTypeIp, "1..2.3", std::nullopt},
      {dhcpTypeIpList, "10.0.0.1, 10.0.0.2", "0A 00 00 01 0A 00 00 02"},
      {dhcpTypeIpList, "10.0.0.1,bad", std::nullopt},
      {dhcpTypeStr, "boot.example", "62 6F 6F 74 2E 65 78 61 6D 70 6C 65 00"},
      {dhcpTypeStr, std::string(63, 'a'), std::nullopt},
      {dhcpTypeU8, "255", "FF"},
      {dhcpTypeU8, "300", std::nullopt},
      {dhcpTypeU8, "0", "", true},
      {dhcpTypeU16, "1500", "05 DC"},
      {dhcpTypeU16, "65536", std::nullopt},
      {dhcpTypeU32, "4294967295", "FF FF FF FF"},
      {dhcpTypeU32, "4294967296", std::nullopt},
      {dhcpTypeU32, "-1", std::nullopt},
      {dhcpTypeBin, "01 ab FF", "01 AB FF"},
      {dhcpTypeBin, "1ab", std::nullopt},
      {dhcpTypeBin, "zz", std::nullopt},
  };
  for (testCase& c : cases) {
    SCOPED_TRACE(std::string(optionTypeName(c.type)) + " \"" + c.text + "\"");
    std::optional<dhcpTypedValue> v = parseDhcpValue(c.type, c.text);
    ASSERT_EQ(v.has_value(), c.hex.has_value());
    if (!v) continue;
    EXPECT_EQ(v->off, c.off);
    EXPECT_EQ(v->bytes, test::hexBytes(*c.hex));
  }
  // A string fills the 63 stored bytes with its zero byte.
  std::optional<dhcpTypedValue> longest = parseDhcpValue(dhcpTypeStr, std::string(62, 'a'));
  ASSERT_TRUE(longest);
  EXPECT_EQ(longest->bytes, std::string(62, 'a') + '\0');
  // Sixteen addresses are one too many; 64 binary bytes too.
  EXPECT_FALSE(parseAddressList(std::vector<std::string>(16, "1.1.1.1")));
  std::string bytes;
  for (int i = 0; i < 64; ++i) bytes += "01 ";
  EXPECT_FALSE(parseDhcpValue(dhcpTypeBin, bytes));
}

// Option 18's digest, known answers of MD5 (RFC 1321 test suite).
TEST(DhcpValues, PasswordDigestIsMd5OfTheFirstSixteenBytes) {
  EXPECT_EQ(passwordDigest18(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(passwordDigest18("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(passwordDigest18("abcdefghijklmnopqrstuvwxyz"), passwordDigest18("abcdefghijklmnop"));
  EXPECT_EQ(binaryText(std::string("\x01\xab", 2)), "01 ab");
}

}  // namespace
}  // namespace zv
