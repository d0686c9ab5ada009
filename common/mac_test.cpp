#include "common/mac.h"

#include "platform/textConv.h"

#include <gtest/gtest.h>
#include <unordered_set>

namespace zv {
namespace {

constexpr macAddress sample{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};

// Exactly 17 characters, hex pairs of either case, the given separator between pairs.
TEST(MacParse, AcceptsOnlyTheExactForm) {
  struct row {
    const char* text;
    char separator;
    bool accepted;
  };
  const row rows[] = {
      {"00:1A:2B:3C:4D:5E", ':', true},
      {"00:1a:2b:3c:4d:5e", ':', true},
      {"00.1A.2B.3C.4D.5E", '.', true},
      {"00.1A.2B.3C.4D.5E", ':', false},
      {"00:1A:2B:3C:4D:5E", '.', false},
      {"00:1A:2B:3C:4D:5", ':', false},
      {"00:1A:2B:3C:4D:5E0", ':', false},
      {"00:1A:2B:3C:4D:5E ", ':', false},
      {"00:1A.2B:3C:4D:5E", ':', false},
      {"0G:1A:2B:3C:4D:5E", ':', false},
      {"001:A2:B3C:4D:5E:", ':', false},
      {" 0:1A:2B:3C:4D:5E", ':', false},
      {"", ':', false},
  };
  for (const row& r : rows) {
    std::optional<macAddress> narrow = parseMac(std::string_view(r.text), r.separator);
    std::optional<macAddress> wide = parseMac(widenAscii(r.text), char16_t(r.separator));
    EXPECT_EQ(narrow.has_value(), r.accepted) << r.text;
    EXPECT_EQ(wide.has_value(), r.accepted) << r.text;
    if (r.accepted && narrow && wide) {
      EXPECT_EQ(*narrow, sample) << r.text;
      EXPECT_EQ(*wide, sample) << r.text;
    }
  }
}

// A UTF-16 unit whose low byte is an ASCII digit or separator is not that character.
TEST(MacParse, WideUnitsAreNotTruncatedToBytes) {
  EXPECT_FALSE(parseMac(u"\u01300:1A:2B:3C:4D:5E", u':'));
  EXPECT_FALSE(parseMac(u"00\u013A1A:2B:3C:4D:5E", u':'));
  EXPECT_FALSE(parseMac(u"\uFF100:1A:2B:3C:4D:5E", u':'));
}

TEST(MacText, FormsAreUpperCaseAndRoundTrip) {
  macAddress mac = *parseMac("00:1a:2b:3c:4d:5e", ':');
  EXPECT_EQ(mac.displayText(), u"00:1A:2B:3C:4D:5E");
  EXPECT_EQ(mac.logText(), "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(mac.directoryName(), "00.1A.2B.3C.4D.5E");
  EXPECT_EQ(mac.wideDirectoryName(), u"00.1A.2B.3C.4D.5E");
  macAddress high{{0xFF, 0xA0, 0x09, 0x90, 0xEE, 0x01}};
  EXPECT_EQ(parseMac(high.directoryName(), '.'), high);
  EXPECT_EQ(parseMac(high.displayText(), u':'), high);
}

TEST(MacKinds, ValidityPseudoTerminalsAndGroups) {
  struct row {
    const char* text;
    bool valid;
    bool pseudo;
    int group;
  };
  const row rows[] = {
      {"00:00:00:00:00:00", false, false, 0}, {"44:44:44:44:44:44", false, false, 0},
      {"FF:FF:FF:FF:FF:FF", false, false, 0}, {"44:44:44:44:44:45", true, false, 0},
      {"00:00:00:00:00:01", true, false, 0},  {"FF:FF:FF:FF:FF:03", true, true, 3},
      {"FF:FF:FF:FF:FF:FE", true, true, 254}, {"FF:FF:FF:FF:FF:00", true, false, 0},
      {"FF:FF:FF:FF:FE:03", true, false, 0},  {"CD:CD:CD:CD:CD:CD", true, true, 0},
      {"BB:BB:BB:BB:BB:BB", true, true, 0},   {"5D:5D:5D:5D:5D:5D", true, true, 0},
      {"CD:CD:CD:CD:CD:CC", true, false, 0},
  };
  for (const row& r : rows) {
    macAddress mac = *parseMac(r.text, ':');
    EXPECT_EQ(mac.isValid(), r.valid) << r.text;
    EXPECT_EQ(mac.isPseudo(), r.pseudo) << r.text;
    EXPECT_EQ(mac.groupNumber(), r.group) << r.text;
  }
  EXPECT_TRUE(bootCdMac.isBootCd() && bootUsbMac.isBootUsb() && bootSdMac.isBootSd());
  EXPECT_EQ(groupMac(7).groupNumber(), 7);
}

TEST(MacOrder, BytesCompareUnsignedFirstByteFirst) {
  auto mac = [](const char* text) { return *parseMac(text, ':'); };
  EXPECT_LT(mac("7F:FF:FF:FF:FF:FF"), mac("80:00:00:00:00:00"));
  EXPECT_LT(mac("00:FF:FF:FF:FF:FF"), mac("01:00:00:00:00:00"));
  EXPECT_LT(mac("00:1A:2B:3C:4D:5E"), mac("00:1A:2B:3C:4D:5F"));
  EXPECT_EQ(mac("00:1A:2B:3C:4D:5E"), mac("00:1a:2b:3c:4d:5e"));
  EXPECT_NE(mac("00:1A:2B:3C:4D:5E"), mac("5E:4D:3C:2B:1A:00"));
}

TEST(MacHash, DistinguishesAddressesInASet) {
  std::unordered_set<macAddress> set{sample, bootCdMac, groupMac(1), groupMac(2), sample};
  EXPECT_EQ(set.size(), 4u);
  EXPECT_EQ(set.count(groupMac(2)), 1u);
}

TEST(MacPseudoName, BootMediaAndGroups) {
  groupNameLookup lookup = [](int group) -> std::optional<std::u16string> {
    if (group == 3) return u"Склад";
    return std::nullopt;
  };
  EXPECT_EQ(pseudoTerminalName(bootCdMac), u"Загрузочный CD");
  EXPECT_EQ(pseudoTerminalName(bootUsbMac), u"Загрузочный USB");
  EXPECT_EQ(pseudoTerminalName(bootSdMac), u"Загрузочная SD");
  EXPECT_EQ(pseudoTerminalName(groupMac(3), lookup), u"Склад");
  EXPECT_EQ(pseudoTerminalName(groupMac(4), lookup), u"Неопределенная группа");
  EXPECT_EQ(pseudoTerminalName(groupMac(3)), u"Неопределенная группа");
  EXPECT_EQ(pseudoTerminalName(sample, lookup), u"");
}

}  // namespace
}  // namespace zv
