#include "common/optionsDHCP.h"

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "testsupport/testSupport.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <algorithm>
#include <map>

namespace zv {
namespace {

using test::hexBytes;
using test::readFile;
using test::utf16le;
using test::writeFile;

dhcpOption record(int32_t code, int32_t type, std::string_view hex, bool isAuto = false,
                  std::u16string name = {}) {
  dhcpOption option;
  option.code = code;
  option.type = type;
  option.isAuto = isAuto;
  option.name = std::move(name);
  std::string bytes = hexBytes(hex);
  std::copy(bytes.begin(), bytes.end(), option.value.begin());
  option.length = uint32_t(bytes.size());
  return option;
}

std::string hexOf(std::string_view bytes) {
  std::string text;
  for (char c : bytes) text += formatText("%02X", unsigned(uint8_t(c)));
  return text;
}

// "003 ip C0A80001 'name'", "066 str [auto]": a record in one comparable line.
std::string describe(const dhcpOption& option) {
  std::string text =
      formatText("%03d %s ", option.code, std::string(optionTypeName(option.type)).c_str());
  text += option.isAuto ? "[auto]" : hexOf(option.bytes());
  if (!option.name.empty()) text += " '" + toUtf8(option.name) + "'";
  return text;
}

std::vector<std::string> describe(const dhcpOptionList& list, bool sorted = true) {
  std::vector<std::string> lines;
  for (const dhcpOption& option : list) lines.push_back(describe(option));
  if (sorted) std::sort(lines.begin(), lines.end());
  return lines;
}

// The entries of a directory in the order readdir gives them.
std::vector<std::string> listingOrder(const std::string& directory) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(directory.c_str())) {
    while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
    ::closedir(dir);
  }
  return names;
}

std::vector<std::string> listing(const std::string& directory) {
  std::vector<std::string> names;
  for (std::string& name : listingOrder(directory))
    if (name != "." && name != "..") names.push_back(std::move(name));
  std::sort(names.begin(), names.end());
  return names;
}

std::string addressLines(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += formatText("10.0.0.%d\r\n", i);
  return text;
}

// ---- formats --------------------------------------------------------------------------

// File names: three digits and the type's extension; no extension outside 1-7.
TEST(DhcpFormat, FileNames) {
  EXPECT_EQ(optionFileName(3, dhcpTypeIp), "003.ip");
  EXPECT_EQ(optionFileName(6, dhcpTypeIpList), "006.iplist");
  EXPECT_EQ(optionFileName(26, dhcpTypeU16), "026.u16");
  EXPECT_EQ(optionFileName(255, dhcpTypeBin), "255.bin");
  EXPECT_EQ(optionNameFileName(7), "007.opname");
  for (int32_t type : {0, 8, -1}) EXPECT_EQ(optionTypeExtension(type), "") << type;
}

// Every reader on contents that are accepted, refused, auto or empty.
TEST(DhcpFormat, ValueFileReaders) {
  struct row {
    int32_t type;
    std::string content;
    bool ok;
    std::string expected;  // hex of the value, or "[auto]"
  };
  const std::string a64(64, 'a'), a63(63, 'a');
  const row rows[] = {
      {dhcpTypeIp, "192.168.0.1", true, "C0A80001"},
      {dhcpTypeIp, "\xEF\xBB\xBF  192.168.0.1 # router\r\n10.0.0.1", true, "C0A80001"},
      {dhcpTypeIp, "# gateway\r\n\r\n\t10.0.0.1\t\r\n", true, "0A000001"},
      {dhcpTypeIp, "010.0.0.001", true, "0A000001"},
      {dhcpTypeIp, "0.0.0.0", true, "00000000"},
      {dhcpTypeIp, "  [AUTO]  ", true, "[auto]"},
      {dhcpTypeIp, "", false, ""},
      {dhcpTypeIp, "# nothing\r\n", false, ""},
      {dhcpTypeIp, "1.2.3", false, ""},
      {dhcpTypeIp, "1.2.3.4.", false, ""},
      {dhcpTypeIp, "1.2.3.4.5", false, ""},
      {dhcpTypeIp, "256.1.1.1", false, ""},
      {dhcpTypeIp, "1.2.3.4x", false, ""},
      {dhcpTypeIp, "1.2.3.4 5", false, ""},
      {dhcpTypeIp, "1..2.3", false, ""},
      {dhcpTypeIp, "+1.2.3.4", false, ""},
      {dhcpTypeIp, "bad\r\n1.2.3.4", false, ""},  // only the first line counts
      {dhcpTypeIp, std::string(5000, '1'), false, ""},
      {dhcpTypeIpList, "10.0.0.1\r\n10.0.0.2", true, "0A0000010A000002"},
      {dhcpTypeIpList, "10.0.0.1\n\n# second\n 10.0.0.2 ", true, "0A0000010A000002"},
      {dhcpTypeIpList, addressLines(15), true,
       hexOf(hexBytes("0A000001 0A000002 0A000003 0A000004 0A000005 0A000006 0A000007 0A000008 "
                      "0A000009 0A00000A 0A00000B 0A00000C 0A00000D 0A00000E 0A00000F"))},
      {dhcpTypeIpList, addressLines(16), false, ""},
      {dhcpTypeIpList, "[auto]\r\nnot an address", true, "[auto]"},
      {dhcpTypeIpList, "10.0.0.1\r\n[auto]", false, ""},
      {dhcpTypeIpList, "10.0.0.1\r\nx", false, ""},
      {dhcpTypeIpList, "10.0.0.1\r\n" + std::string(5000, '2'), false, ""},
      {dhcpTypeIpList, "", true, ""},
      {dhcpTypeIpList, "# none\r\n", true, ""},
      {dhcpTypeStr, "hello", true, "68656C6C6F00"},
      {dhcpTypeStr, "", true, "00"},
      {dhcpTypeStr, std::string("a\0b", 3), true, "61006200"},
      {dhcpTypeStr, "[Auto]", true, "[auto]"},
      {dhcpTypeStr, std::string("[auto]\0junk", 11), true, "[auto]"},
      {dhcpTypeStr, "[auto]x", true, "5B6175746F5D7800"},
      {dhcpTypeStr, "[auto]\r\n", true, "5B6175746F5D0D0A00"},
      {dhcpTypeStr, a64, true, hexOf(a63) + "00"},  // cut to 63 bytes of text
      {dhcpTypeStr, a64 + "tail", true, hexOf(a63) + "00"},
      {dhcpTypeBin, "\x01\x02", true, "0102"},
      {dhcpTypeBin, "", true, ""},
      {dhcpTypeBin, "[AUTO]", true, "[auto]"},
      {dhcpTypeBin, a64 + "tail", true, hexOf(a64)},
      {dhcpTypeU8, "255", true, "FF"},
      {dhcpTypeU8, " + 7\t", true, "07"},
      {dhcpTypeU8, "- 5", true, "FB"},  // negative numbers keep their low byte
      {dhcpTypeU8, "256", false, ""},
      {dhcpTypeU8, "0", true, ""},
      {dhcpTypeU8, "-0", true, ""},
      {dhcpTypeU8, "-2021120", true, ""},  // low byte 0: no value, as "0"
      {dhcpTypeU8, "7\r\n", false, ""},
      {dhcpTypeU8, "7a", false, ""},
      {dhcpTypeU8, "0x7", false, ""},
      {dhcpTypeU8, "+-7", false, ""},
      {dhcpTypeU8, "", false, ""},
      {dhcpTypeU8, "  ", false, ""},
      {dhcpTypeU8, "+", false, ""},
      {dhcpTypeU8, std::string("7\0", 2), false, ""},
      {dhcpTypeU8, "[auto]", true, "[auto]"},
      {dhcpTypeU16, "1500", true, "05DC"},
      {dhcpTypeU16, "65535", true, "FFFF"},
      {dhcpTypeU16, "1500\r\n", false, ""},
      {dhcpTypeU16, "70000", false, ""},
      {dhcpTypeU16, "0", true, ""},
      {dhcpTypeU16, "-65536", true, ""},
      {dhcpTypeU32, "-16", true, "FFFFFFF0"},
      {dhcpTypeU32, "86400", true, "00015180"},
      {dhcpTypeU32, "2147483647", true, "7FFFFFFF"},
      {dhcpTypeU32, "-2147483648", true, "80000000"},
      {dhcpTypeU32, "2147483648", false, ""},
      {dhcpTypeU32, "-2147483649", false, ""},
      {dhcpTypeU32, "99999999999999999999", false, ""},
      {dhcpTypeU32, std::string(61, ' ') + "1234", true, "0000007B"},  // only 64 bytes count
      {dhcpTypeNone, "1.2.3.4", false, ""},
      {8, "1", false, ""},
  };
  for (const row& r : rows) {
    dhcpOption option = record(5, dhcpTypeNone, "AA BB CC DD EE", true);
    std::string label = std::string(optionTypeName(r.type)) + " '" + r.content.substr(0, 40) + "'";
    EXPECT_EQ(parseOptionValue(r.type, r.content, option), r.ok) << label;
    if (!r.ok) continue;
    EXPECT_EQ(option.type, r.type) << label;
    EXPECT_EQ(option.code, 5) << label;
    EXPECT_EQ(option.isAuto ? "[auto]" : hexOf(option.bytes()), r.expected) << label;
    if (option.isAuto) {
      EXPECT_EQ(option.length, 0u) << label;
    }
  }
}

// What each type writes, byte for byte.
TEST(DhcpFormat, ValueFileWriter) {
  struct row {
    dhcpOption option;
    std::string bytes;
  };
  const row rows[] = {
      {record(3, dhcpTypeIp, "C0 A8 00 01"), "192.168.0.1"},
      {record(6, dhcpTypeIpList, "0A000001 0A000002 0A000003"), "10.0.0.1\r\n10.0.0.2\r\n10.0.0.3"},
      {record(6, dhcpTypeIpList, "0A000001"), "10.0.0.1"},
      {record(12, dhcpTypeStr, "68 6F 73 74 00"), "host"},
      {record(12, dhcpTypeStr, "E9 00"), "\xE9"},
      {record(12, dhcpTypeStr, "61 00 62 00"), "a"},
      {record(53, dhcpTypeU8, "FF"), "255"},
      {record(26, dhcpTypeU16, "05 DC"), "1500"},
      {record(51, dhcpTypeU32, "FF FF FF F0"), "-16"},
      {record(55, dhcpTypeBin, "00 FF 0D 0A"), hexBytes("00 FF 0D 0A")},
      {record(3, dhcpTypeIp, "", true), "[auto]"},
      {record(55, dhcpTypeBin, "01 02", true), "[auto]"},
      {record(12, dhcpTypeStr, ""), ""},
      {record(200, dhcpTypeNone, "01"), ""},
  };
  for (const row& r : rows)
    EXPECT_EQ(hexOf(optionValueFileBytes(r.option)), hexOf(r.bytes)) << describe(r.option);
}

// Every value the readers produce reads back unchanged from what the writer makes.
TEST(DhcpFormat, ValueFilesRoundTrip) {
  const dhcpOption options[] = {
      record(3, dhcpTypeIp, "C0 A8 00 01"),
      record(3, dhcpTypeIp, "00 00 00 00"),
      record(6, dhcpTypeIpList, "0A000001 0A000002 FFFFFFFF"),
      record(12, dhcpTypeStr, "68 6F 73 74 00"),
      record(12, dhcpTypeStr, "00"),
      record(12, dhcpTypeStr, std::string(63 * 2, 'A') + "00"),
      record(53, dhcpTypeU8, "FB"),
      record(26, dhcpTypeU16, "FF FF"),
      record(51, dhcpTypeU32, "80 00 00 00"),
      record(51, dhcpTypeU32, "7F FF FF FF"),
      record(55, dhcpTypeBin, "00 0D 0A 23 20"),
      record(55, dhcpTypeBin, std::string(64 * 2, 'E')),
      record(6, dhcpTypeIpList, "", true),
      record(26, dhcpTypeU16, "", true),
  };
  for (const dhcpOption& option : options) {
    dhcpOption back;
    back.code = option.code;
    ASSERT_TRUE(parseOptionValue(option.type, optionValueFileBytes(option), back))
        << describe(option);
    EXPECT_EQ(back, option) << describe(option) << " came back as " << describe(back);
  }
}

// A name file is FF FE and 64 zero-padded units; reading takes the first logical line
// up to the padding.
TEST(DhcpFormat, NameFiles) {
  std::string bytes = optionNameFileBytes(u"Сервер загрузки");
  ASSERT_EQ(bytes.size(), 130u);
  EXPECT_EQ(bytes, hexBytes("FF FE") + utf16le(u"Сервер загрузки") + std::string(98, '\0'));
  EXPECT_EQ(parseOptionName(bytes), u"Сервер загрузки");
  EXPECT_EQ(optionNameFileBytes(std::u16string(80, u'x')),
            hexBytes("FF FE") + utf16le(std::u16string(63, u'x')) + std::string(2, '\0'));
  EXPECT_EQ(optionNameFileBytes(u""), hexBytes("FF FE") + std::string(128, '\0'));

  struct row {
    std::string bytes;
    std::u16string name;
  };
  const row rows[] = {
      {utf16le(u"plain"), u"plain"},  // no mark
      {hexBytes("FF FE") + utf16le(u"\r\n  \r\n  two words \r\nnext"), u"two words"},
      {hexBytes("FF FE") + utf16le(u"name # note"), u"name"},
      {hexBytes("FF FE") + utf16le(u"# only a comment"), u""},
      {hexBytes("FF FE") + utf16le(std::u16string(70, u'я')), std::u16string(63, u'я')},
      {hexBytes("FF FE") + utf16le(std::u16string(5000, u'z')), std::u16string(63, u'z')},
      {hexBytes("FF FE") + utf16le(u"ab") + "\x00", u"ab"},  // odd byte dropped
      {hexBytes("FF FE 00 00") + utf16le(u"hidden"), u""},
      {"", u""},
      {"\xFF", u""},
  };
  for (const row& r : rows) EXPECT_EQ(toUtf8(parseOptionName(r.bytes)), toUtf8(r.name));
}

// ---- directories --------------------------------------------------------------------------

class DhcpFiles : public ::testing::Test {
 protected:
  void put(std::string_view name, std::string_view bytes) {
    writeFile(dir + std::string(name), bytes);
  }
  dhcpOptionList load() {
    dhcpOptionList list = {record(250, dhcpTypeU8, "01")};  // replaced by the load
    EXPECT_TRUE(loadOptions(list, dir));
    return list;
  }
  std::string file(std::string_view name) { return readFile(dir + std::string(name)); }

  test::tempDir tmp;
  test::logCapture log;
  std::string dir = tmp / "DHCP/";
};

TEST_F(DhcpFiles, LoadsEveryTypeWithNames) {
  put("003.ip", "192.168.0.1");
  put("006.iplist", "10.0.0.1\r\n10.0.0.2");
  put("012.str", "abcde");
  put("018.str", std::string(31, 'f'));  // a value of 32 bytes with its zero
  put("026.u16", "1500");
  put("051.U32", "-16");
  put("053.u8", "5");
  put("055.BIN", hexBytes("01 03 06"));
  put("066.str", "[AUTO]");
  put("200.bin", "\x7F");
  put("200.opname", optionNameFileBytes(u"Своё"));
  put("003.opname", optionNameFileBytes(u"gateway"));
  EXPECT_EQ(describe(load()), (std::vector<std::string>{
                                  "003 ip C0A80001 'gateway'",
                                  "006 iplist 0A0000010A000002",
                                  "012 str 616263646500",
                                  "018 str " + hexOf(std::string(31, 'f')) + "00",
                                  "026 u16 05DC",
                                  "051 u32 FFFFFFF0",
                                  "053 u8 05",
                                  "055 bin 010306",
                                  "066 str [auto]",
                                  "200 bin 7F 'Своё'",
                              }));
  EXPECT_EQ(log.text(), "");
}

// The list keeps the order in which the directory lists the files.
TEST_F(DhcpFiles, LoadOrderIsListingOrder) {
  for (int code = 100; code < 120; ++code) put(formatText("%03d.u8", code), "1");
  std::vector<std::string> expected;
  for (const std::string& name : listingOrder(dir))
    if (name.size() == 6) expected.push_back(name.substr(0, 3) + " u8 01");
  EXPECT_EQ(describe(load(), false), expected);
}

// Files that do not load, each alone in the directory, and whether the wrong-type line
// is written for it. Nothing crashes or hangs, and nothing else is logged.
TEST_F(DhcpFiles, SkippedFiles) {
  struct row {
    std::string name;
    std::string content;
    bool typeError;
  };
  const row rows[] = {
      {"026.u16", "1500\r\n", false},
      {"026.u16", "70000", false},
      {"026.u16", "0", false},
      {"026.u16", "", false},
      {"200.bin", "", false},
      {"200.iplist", "", false},
      {"200.u32", "twelve", false},
      {"018.str", std::string(30, 'f'), false},  // 31 bytes with the zero
      {"018.str", "[auto]", false},
      {"018.bin", std::string(40, 'f'), true},
      {"003.str", "x", true},
      {"003.IPLIST", "10.0.0.1", true},
      {"006.ip", "10.0.0.1", true},
      {"026.u8", "7", true},
      {"003.ip", "", false},
      {"003.ip", "router", false},
      {"003.ip", hexBytes("00 FF 13 37 0A 0D 80"), false},
      {"003.ip", std::string(2 << 20, '#'), false},  // huge
      {"006.iplist", addressLines(16), false},
      {"03.ip", "10.0.0.1", false},
      {"0003.ip", "10.0.0.1", false},
      {"00a.ip", "10.0.0.1", false},
      {"003_ip", "10.0.0.1", false},
      {"003.txt", "10.0.0.1", false},
      {"003.ip.bak", "10.0.0.1", false},
      {"003.opname", optionNameFileBytes(u"lonely"), false},
      {"003.ipx", "10.0.0.1", false},
      {"200.u8.tmp1", "1", false},
  };
  for (const row& r : rows) {
    ASSERT_TRUE(removeTree(dir));
    log.clear();
    put(r.name, r.content);
    EXPECT_EQ(describe(load()), std::vector<std::string>{})
        << r.name << " " << r.content.substr(0, 20);
    bool logged = log.contains("File with incorrect type of predefined option found: " + r.name);
    EXPECT_EQ(logged, r.typeError) << r.name;
    EXPECT_EQ(log.contains("INTERNAL ERROR ("), r.typeError) << r.name;
  }
}

// Entries that are no regular files are skipped without blocking.
TEST_F(DhcpFiles, SpecialEntriesAreSkipped) {
  ASSERT_TRUE(makeDirectories(dir + "003.ip"));
  ASSERT_EQ(::mkfifo((dir + "053.u8").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo((dir + "006.iplist").c_str(), 0644), 0);
  put("026.u16", "1500");
  EXPECT_EQ(describe(load()), std::vector<std::string>{"026 u16 05DC"});
  dhcpOptionList missing = {record(1, dhcpTypeIp, "01020304")};
  EXPECT_TRUE(loadOptions(missing, tmp / "nowhere/"));
  EXPECT_TRUE(missing.empty());
}

// An accepted ".ip" file replaces any other file of its code whatever the listing
// order; among the other types the first one listed wins.
TEST_F(DhcpFiles, WhichFileOfACodeWins) {
  put("003.bin", hexBytes("01 02 03 04"));  // refused anyway: 3 is predefined
  put("003.ip", "10.0.0.254");
  put("200.bin", "\x01");
  put("200.IP", "10.0.0.200");
  put("200.u8", "9");
  put("201.str", "text");
  put("201.bin", "\x02");
  put("012.str", "host");
  put("012.bin", "host");
  // A stray ".ip" of a predefined list option is refused and takes nothing away.
  put("006.iplist", "10.0.0.1");
  put("006.ip", "10.0.0.9");
  std::string first201;
  for (const std::string& name : listingOrder(dir))
    if (name.starts_with("201.") && first201.empty()) first201 = name;
  std::string expected201 = first201 == "201.str" ? "201 str 7465787400" : "201 bin 02";
  dhcpOptionList list = load();
  EXPECT_EQ(describe(list),
            (std::vector<std::string>{"003 ip 0A0000FE", "006 iplist 0A000001",
                                      "012 str 686F737400", "200 ip 0A0000C8", expected201}));
  EXPECT_TRUE(log.contains("incorrect type of predefined option found: 006.ip"));
}

// A saved directory holds exactly the bytes of each type; the name file goes beside a
// named value; loading it again gives the same list.
TEST_F(DhcpFiles, SaveIsByteExactAndLoadsBack) {
  dhcpOptionList list = {
      record(3, dhcpTypeIp, "C0 A8 00 01"),
      record(6, dhcpTypeIpList, "0A000001 0A000002"),
      record(12, dhcpTypeStr, "61 62 63 64 65 00"),
      record(26, dhcpTypeU16, "05 DC"),
      record(51, dhcpTypeU32, "FF FF FF F0"),
      record(53, dhcpTypeU8, "05"),
      record(66, dhcpTypeStr, "", true),
      record(200, dhcpTypeBin, "00 0D 0A FF", false, u"Своё"),
  };
  ASSERT_TRUE(saveOptions(list, dir));
  EXPECT_EQ(listing(dir),
            (std::vector<std::string>{"003.ip", "006.iplist", "012.str", "026.u16", "051.u32",
                                      "053.u8", "066.str", "200.bin", "200.opname"}));
  EXPECT_EQ(file("003.ip"), "192.168.0.1");
  EXPECT_EQ(file("006.iplist"), "10.0.0.1\r\n10.0.0.2");
  EXPECT_EQ(file("012.str"), "abcde");
  EXPECT_EQ(file("026.u16"), "1500");
  EXPECT_EQ(file("051.u32"), "-16");
  EXPECT_EQ(file("053.u8"), "5");
  EXPECT_EQ(file("066.str"), "[auto]");
  EXPECT_EQ(file("200.bin"), hexBytes("00 0D 0A FF"));
  EXPECT_EQ(file("200.opname").size(), 130u);
  EXPECT_EQ(describe(load()), describe(list));
  EXPECT_EQ(log.text(), "");
}

// Saving replaces every value file of the seven types, whatever the case of its name,
// keeps name files and files of other kinds, and drops empty records. A file the store
// did not read (it does not parse, or its name holds no option number) is logged at
// load and never deleted.
TEST_F(DhcpFiles, SaveReplacesOldValueFiles) {
  put("007.ip", "10.0.0.7");
  put("007.opname", optionNameFileBytes(u"old"));
  put("003.BIN", "\x01");
  put("003.ip", "10.0.0.1");
  put("abc.u8", "1");
  put("0070.ip", "10.0.0.70");
  put("notes.txt", "keep");
  put("026.u16", "1400");
  put("066.STR", "[AUTO]");
  put("042.u16", "70000");
  put("043.IP", "router");
  dhcpOptionList list = load();
  EXPECT_TRUE(log.contains("DHCP option file " + dir +
                           "042.u16 is skipped: its content is not a value of its type."));
  EXPECT_TRUE(log.contains("DHCP option file " + dir + "043.IP is skipped"));
  ASSERT_NE(findOption(list, 66), nullptr);
  EXPECT_TRUE(findOption(list, 66)->isAuto);
  removeOption(list, 7);
  bool changed = false;
  ASSERT_TRUE(putOption(list, 26, "", dhcpTypeU16, false, u"", changed));  // emptied
  ASSERT_TRUE(saveOptions(list, dir));
  EXPECT_EQ(listing(dir), (std::vector<std::string>{"003.ip", "007.opname", "0070.ip", "042.u16",
                                                    "043.IP", "066.str", "abc.u8", "notes.txt"}));
  EXPECT_EQ(file("042.u16"), "70000");
  EXPECT_EQ(file("066.str"), "[auto]");
  EXPECT_EQ(file("003.ip"), "10.0.0.1");
}

// A record without a name takes the name of an existing name file, which stays; the
// new option 999 and the empty records are never written.
TEST_F(DhcpFiles, SaveKeepsNamesAndSkipsUnsavable) {
  put("200.opname", optionNameFileBytes(u"kept"));
  dhcpOptionList list = {record(200, dhcpTypeU8, "07"),
                         record(dhcpOption::newOptionCode, dhcpTypeIp, "01020304"),
                         record(201, dhcpTypeU8, "")};
  ASSERT_TRUE(saveOptions(list, dir));
  EXPECT_EQ(list[0].name, u"kept");
  EXPECT_EQ(listing(dir), (std::vector<std::string>{"200.opname", "200.u8"}));
  EXPECT_EQ(file("200.opname"), optionNameFileBytes(u"kept"));
}

// Failures: a directory that cannot be made writes nothing; a file that cannot be
// written is reported and the rest are still written; records that have no file form
// are reported. Each gives false.
TEST_F(DhcpFiles, SaveFailures) {
  put("blocker", "x");
  dhcpOptionList list = {record(53, dhcpTypeU8, "05")};
  EXPECT_FALSE(saveOptions(list, dir + "blocker/sub/"));
  EXPECT_TRUE(log.contains("INTERNAL ERROR ("));

  log.clear();
  ASSERT_TRUE(makeDirectories(dir + "003.ip/inside"));
  list = {record(3, dhcpTypeIp, "01020304"), record(53, dhcpTypeU8, "05")};
  EXPECT_FALSE(saveOptions(list, dir));
  EXPECT_EQ(file("053.u8"), "5");
  EXPECT_TRUE(log.contains("INTERNAL ERROR ("));

  ASSERT_TRUE(removeTree(dir + "003.ip"));
  log.clear();
  list = {record(200, dhcpTypeNone, "01"), record(1000, dhcpTypeU8, "01"),
          record(53, dhcpTypeU8, "06")};
  EXPECT_FALSE(saveOptions(list, dir));
  EXPECT_TRUE(log.contains("DHCP option 200 of type 0 cannot be saved."));
  EXPECT_TRUE(log.contains("DHCP option 1000 of type 4 cannot be saved."));
  EXPECT_EQ(listing(dir), (std::vector<std::string>{"053.u8", "blocker"}));
  EXPECT_EQ(file("053.u8"), "6");
}

TEST_F(DhcpFiles, SaveMakesTheDirectory) {
  dhcpOptionList list = {record(53, dhcpTypeU8, "05")};
  ASSERT_TRUE(saveOptions(list, tmp / "new/deeper"));
  EXPECT_EQ(readFile(tmp / "new/deeper/053.u8"), "5");
}

// loadDefaultOption gives for its code exactly what loadOptions gives, on directories
// that hold competing, refused and broken files.
TEST_F(DhcpFiles, DefaultOptionMatchesTheLoader) {
  using files = std::vector<std::pair<std::string, std::string>>;
  const files setups[] = {
      {{"003.ip", "10.0.0.1"}, {"003.bin", "1234"}, {"003.opname", optionNameFileBytes(u"gw")}},
      {{"003.ip", "bad"}, {"003.str", "x"}},
      {{"006.ip", "10.0.0.1"}, {"006.iplist", "10.0.0.2\r\n10.0.0.3"}},
      {{"018.str", std::string(32, 'a')}, {"012.str", "[auto]"}, {"026.u16", "0"}},
      {{"200.bin", "\x01"}, {"200.ip", "1.2.3.4"}, {"200.u8", "3"}, {"201.str", "s"}},
      {{"201.u8", "300"}, {"201.u16", "300"}, {"201.opname", optionNameFileBytes(u"n")}},
      {},
  };
  for (const files& setup : setups) {
    ASSERT_TRUE(removeTree(dir));
    ASSERT_TRUE(makeDirectories(dir));
    for (const auto& [name, content] : setup) put(name, content);
    dhcpOptionList loaded = load();
    for (int32_t code : {3, 6, 12, 18, 26, 200, 201, 202, 1003}) {
      dhcpOption one = record(7, dhcpTypeBin, "01");
      bool found = loadDefaultOption(code, dir, one);
      const dhcpOption* expected = findOption(loaded, code);
      ASSERT_EQ(found, expected != nullptr) << code;
      EXPECT_EQ(one, found ? *expected : dhcpOption{}) << code << ": " << describe(one);
    }
  }
}

// Terminal, then defaults, then predefined; code 999 is the new option.
TEST_F(DhcpFiles, ResolveOrder) {
  put("003.ip", "10.0.0.254");
  put("200.u8", "5");
  put("201.u8", "6");
  std::string defaults = dir;
  const dhcpOptionList terminal = {
      record(200, dhcpTypeU8, "07", false, u"own"),
      record(201, dhcpTypeU8, ""),  // no value: the default shows through
      record(12, dhcpTypeStr, "", true),
      record(202, dhcpTypeBin, ""),
  };
  struct row {
    int32_t code;
    bool resolved;
    optionSource source;
    std::string option;  // describe() of the result
  };
  const row rows[] = {
      {200, true, optionSource::terminal, "200 u8 07 'own'"},
      {201, true, optionSource::defaults, "201 u8 06"},
      {3, true, optionSource::defaults, "003 ip 0A0000FE"},
      {12, true, optionSource::terminal, "012 str [auto]"},
      {66, true, optionSource::predefined, "066 str "},
      {18, true, optionSource::predefined, "018 str "},
      {202, false, optionSource::none, "202 bin "},
      {203, false, optionSource::none, "203  "},
      {dhcpOption::newOptionCode, false, optionSource::none, "999 ip "},
  };
  for (const row& r : rows) {
    dhcpOption out = record(1, dhcpTypeBin, "FF", true, u"stale");
    optionSource source = optionSource(9);
    EXPECT_EQ(resolveOption(terminal, r.code, defaults, out, &source), r.resolved) << r.code;
    EXPECT_EQ(source, r.source) << r.code;
    EXPECT_EQ(describe(out), r.option) << r.code;
    EXPECT_EQ(resolveOption(terminal, r.code, defaults, out), r.resolved) << r.code;
  }
}

// The report behind "zvctl dhcp show": every resolved code in order, with the terminal's
// own codes beyond 255 and the defaults' too.
TEST_F(DhcpFiles, Reports) {
  put("003.ip", "10.0.0.254");
  put("400.u16", "7");
  const dhcpOptionList terminal = {record(300, dhcpTypeStr, "61 00", false, u"extra"),
                                   record(6, dhcpTypeIpList, "0A000001 0A000002")};
  std::vector<std::string> lines;
  for (const dhcpOptionReport& r : reportTerminalOptions(terminal, dir))
    lines.push_back(formatText(
        "%d %s %s|%s|%d|%d", r.code, std::string(optionTypeName(r.type)).c_str(),
        toUtf8(r.displayName).c_str(), toUtf8(r.valueText).c_str(), int(r.source), int(r.isSet)));
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "3 ip 003 Маршрутизатор|10.0.0.254|1|1",
                       "6 iplist 006 DNS серверы|10.0.0.1, 10.0.0.2|2|1",
                       "12 str 012 Hostname||3|0",
                       "18 str 018 Пароль на Zelvar Setup и HTTPS||3|0",
                       "26 u16 026 MTU||3|0",
                       "66 str 066 Имя узла сервера загрузки||3|0",
                       "67 str 067 Имя файла загрузки||3|0",
                       "300 str 300 extra|a|2|1",
                       "400 u16 400 |7|1|1",
                   }));

  dhcpDefaults defaults(dir);
  defaults.load();
  std::vector<int32_t> codes;
  for (const dhcpOptionReport& r : reportDefaultOptions(defaults.options())) {
    codes.push_back(r.code);
    EXPECT_EQ(r.source, optionSource::defaults);
  }
  EXPECT_EQ(codes, (std::vector<int32_t>{3, 400}));
}

// The console's defaults object saves, reloads from disk and resolves against its
// directory.
TEST_F(DhcpFiles, DefaultsObject) {
  dhcpDefaults defaults(dir);
  defaults.load();
  EXPECT_TRUE(defaults.options().empty());
  dhcpOptionList edited;
  bool changed = false;
  ASSERT_TRUE(putOption(edited, 26, hexBytes("05 DC"), dhcpTypeU16, false, u"", changed));
  ASSERT_TRUE(putOption(edited, 53, "", dhcpTypeU8, false, u"", changed));
  ASSERT_TRUE(defaults.save(edited));
  EXPECT_EQ(describe(defaults.options()), std::vector<std::string>{"026 u16 05DC"});
  dhcpOption out;
  optionSource source = optionSource::none;
  EXPECT_TRUE(defaults.resolve({}, 26, out, &source));
  EXPECT_EQ(source, optionSource::defaults);
  EXPECT_EQ(file("026.u16"), "1500");
}

}  // namespace
}  // namespace zv
