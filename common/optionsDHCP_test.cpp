#include "common/optionsDHCP.h"

#include "platform/diagnostics.h"
#include "platform/textConv.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

using test::hexBytes;

dhcpOption record(int32_t code, int32_t type, std::string_view hex, bool isAuto = false) {
  dhcpOption option;
  option.code = code;
  option.type = type;
  option.isAuto = isAuto;
  std::string bytes = hexBytes(hex);
  std::copy(bytes.begin(), bytes.end(), option.value.begin());
  option.length = uint32_t(bytes.size());
  return option;
}

// The value text of every type, with the separator where the type uses one.
TEST(DhcpValueText, EveryType) {
  struct row {
    dhcpOption option;
    std::u16string separator;
    std::u16string expected;
  };
  const row rows[] = {
      {record(3, dhcpTypeIp, "C0 A8 00 01"), u" ", u"192.168.0.1"},
      {record(6, dhcpTypeIpList, "0A 00 00 01 0A 00 00 02"), u", ", u"10.0.0.1, 10.0.0.2"},
      {record(6, dhcpTypeIpList, "0A 00 00 01 0A 00 00 02 FF"), u";", u"10.0.0.1;10.0.0.2"},
      {record(6, dhcpTypeIpList, ""), u" ", u""},
      {record(12, dhcpTypeStr, "68 6F 73 74 00"), u" ", u"host"},
      {record(12, dhcpTypeStr, "61 00 62 00"), u" ", u"a"},  // up to the first zero
      {record(12, dhcpTypeStr, "61 62"), u" ", u"ab"},       // no zero: the length ends it
      {record(12, dhcpTypeStr, "E9 00"), u" ", u"\u00E9"},   // bytes widened one to one
      {record(53, dhcpTypeU8, "FF"), u" ", u"255"},
      {record(26, dhcpTypeU16, "05 DC"), u" ", u"1500"},
      {record(26, dhcpTypeU16, "FF FF"), u" ", u"65535"},
      {record(51, dhcpTypeU32, "00 01 51 80"), u" ", u"86400"},
      {record(51, dhcpTypeU32, "FF FF FF F0"), u" ", u"-16"},
      {record(55, dhcpTypeBin, "01 03 0F"), u":", u"01:03:0f"},
      // Type 0: the standard type of the code, else hexadecimal and the number.
      {record(51, dhcpTypeNone, "00 00 0E 10"), u" ", u"3600"},
      {record(1, dhcpTypeNone, "FF FF FF 00"), u" ", u"255.255.255.0"},
      {record(200, dhcpTypeNone, "01 02"), u"-", u"01 02, 513 (0x00000201), "},
      {record(200, dhcpTypeNone, "FF FF FF FF 05"), u" ", u"ff ff ff ff 05, -1 (0xffffffff), "},
      {record(200, dhcpTypeNone, ""), u" ", u", 0 (0x00000000), "},
      {record(200, 8, "01"), u" ", u"<error>"},
      {record(200, -1, "01"), u" ", u"<error>"},
  };
  for (const row& r : rows)
    EXPECT_EQ(toUtf8(optionValueText(r.option, r.separator)), toUtf8(r.expected))
        << r.option.code << " type " << r.option.type;
}

TEST(DhcpValueText, DisplayNamesAndSources) {
  dhcpOption named = record(200, dhcpTypeStr, "");
  named.name = u"Сервер";
  EXPECT_EQ(optionDisplayName(named), u"200 Сервер");
  EXPECT_EQ(optionDisplayName(record(7, dhcpTypeIp, "")), u"007 ");
  dhcpOption router = record(3, dhcpTypeIp, "");
  router.name = u"ignored";
  EXPECT_EQ(optionDisplayName(router), u"003 Маршрутизатор");

  EXPECT_EQ(optionSourceText(optionSource::defaults), u"Значение параметра по умолчанию");
  EXPECT_EQ(optionSourceText(optionSource::terminal), u"Параметр терминала");
  EXPECT_EQ(optionSourceText(optionSource::predefined), u"Предопределенный параметр");
  EXPECT_EQ(optionSourceText(optionSource::none), u"");
  EXPECT_EQ(optionSourceText(optionSource(7)), u"");
}

// The editor's store, step by step on one list: new codes append in order, an existing
// code keeps its place and type, "changed" reports real changes only.
TEST(DhcpPutOption, StoresAndReportsChanges) {
  struct step {
    int32_t code;
    std::string bytes;
    int32_t type;
    bool isAuto;
    std::u16string name;
    bool result;
    bool changed;
    std::vector<int32_t> order;  // codes of the list afterwards
    std::string stored;          // value bytes of the code afterwards
  };
  const std::string server("srv\0", 4);
  const std::string tooLong(64, 'x');
  const step steps[] = {
      {66, server, dhcpTypeStr, false, u"", true, true, {66}, server},
      {3, hexBytes("0A000001"), dhcpTypeIp, false, u"", true, true, {66, 3}, hexBytes("0A000001")},
      {66, server, dhcpTypeStr, false, u"", true, false, {66, 3}, server},
      {66, server, dhcpTypeStr, false, u"boot", true, true, {66, 3}, server},
      {66, server, dhcpTypeStr, true, u"boot", true, true, {66, 3}, server},
      {66, server, dhcpTypeBin, true, u"boot", false, false, {66, 3}, server},  // type fixed
      // Names the name file cannot hold (it would cut them when read) are refused.
      {66, "", dhcpTypeStr, false, u"boot # old", false, false, {66, 3}, server},
      {66, "", dhcpTypeStr, false, u" boot", false, false, {66, 3}, server},
      {66, "", dhcpTypeStr, false, u"bo\r\not", false, false, {66, 3}, server},
      {66, "", dhcpTypeStr, false, u"boot", true, true, {66, 3}, ""},
      {66, tooLong, dhcpTypeStr, false, u"boot", true, false, {66, 3}, ""},  // stays empty
      {66, tooLong.substr(1), dhcpTypeStr, false, u"boot", true, true, {66, 3}, tooLong.substr(1)},
      {200, tooLong, dhcpTypeBin, false, u"", true, true, {66, 3, 200}, ""},
  };
  dhcpOptionList list;
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    const step& s = steps[i];
    bool changed = !s.changed;
    EXPECT_EQ(putOption(list, s.code, s.bytes, s.type, s.isAuto, s.name, changed), s.result) << i;
    EXPECT_EQ(changed, s.changed) << i;
    std::vector<int32_t> order;
    for (const dhcpOption& option : list) order.push_back(option.code);
    EXPECT_EQ(order, s.order) << i;
    const dhcpOption* stored = findOption(list, s.code);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->bytes(), s.stored) << i;
  }
  const dhcpOption* server66 = findOption(list, 66);
  EXPECT_EQ(server66->type, dhcpTypeStr);
  EXPECT_EQ(server66->name, u"boot");
}

TEST(DhcpPutOption, NameIsCutAt63Units) {
  dhcpOptionList list;
  bool changed = false;
  std::u16string name(70, u'я');
  ASSERT_TRUE(putOption(list, 200, "x", dhcpTypeStr, false, name, changed));
  EXPECT_EQ(list[0].name, name.substr(0, 63));
  ASSERT_TRUE(putOption(list, 200, "x", dhcpTypeStr, false, name.substr(0, 63), changed));
  EXPECT_FALSE(changed);
}

TEST(DhcpList, FindAndRemoveTakeTheFirstRecord) {
  dhcpOptionList list = {record(3, dhcpTypeIp, "01 01 01 01"), record(6, dhcpTypeIpList, ""),
                         record(3, dhcpTypeBin, "02")};
  EXPECT_EQ(findOption(list, 3)->type, dhcpTypeIp);
  EXPECT_EQ(findOption(list, 4), nullptr);
  EXPECT_TRUE(removeOption(list, 3));
  EXPECT_EQ(findOption(list, 3)->type, dhcpTypeBin);
  EXPECT_FALSE(removeOption(list, 4));
  EXPECT_EQ(list.size(), 2u);
}

// What the console shows for an option: "[auto]" wins over the value, address lists
// are joined by a comma and a blank, an unset option shows nothing.
TEST(DhcpReport, ValueTexts) {
  struct row {
    dhcpOption option;
    std::u16string text;
    bool isSet;
  };
  const row rows[] = {
      {record(3, dhcpTypeIp, "", true), u"[auto]", true},
      {record(6, dhcpTypeIpList, "0A000001 0A000002"), u"10.0.0.1, 10.0.0.2", true},
      {record(6, dhcpTypeNone, "0A000001 0A000002"), u"10.0.0.1, 10.0.0.2", true},
      {record(55, dhcpTypeBin, "01 03"), u"01 03", true},
      {record(66, dhcpTypeStr, ""), u"", false},
  };
  for (const row& r : rows) {
    dhcpOptionReport report = reportOption(r.option, optionSource::terminal);
    EXPECT_EQ(toUtf8(report.valueText), toUtf8(r.text));
    EXPECT_EQ(report.isSet, r.isSet);
    EXPECT_EQ(report.code, r.option.code);
    EXPECT_EQ(report.source, optionSource::terminal);
    EXPECT_EQ(report.displayName, optionDisplayName(r.option));
  }
  EXPECT_EQ(reportOption(record(6, dhcpTypeNone, ""), optionSource::none).effectiveType,
            dhcpTypeIpList);
}

}  // namespace
}  // namespace zv
