#include "common/groups.h"

#include "common/fstream.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>
#include <cstdio>

namespace zv {
namespace {

using test::hexBytes;
using test::logCapture;
using test::readFile;
using test::tempDir;
using test::utf16le;
using test::writeFile;

uint32_t ip(const char* text) {
  uint32_t address = 0;
  EXPECT_TRUE(parseIpv4(text, address)) << text;
  return address;
}

terminalGroup subnetGroup(uint8_t number, const char* address, uint8_t prefix,
                          std::u16string name) {
  return {number, ip(address), prefix, std::move(name)};
}
terminalGroup allGroup(uint8_t number, std::u16string name) {
  return {number, 0, allGroupPrefix, std::move(name)};
}

// "number address/prefix [name]" of a parsed group, for comparing in tables.
std::string describe(const std::optional<terminalGroup>& group) {
  if (!group) return "refused";
  char number[8];
  std::snprintf(number, sizeof number, "%d ", group->number);
  std::string subnet =
      group->isAll() ? "all" : ipv4Text(group->address) + "/" + std::to_string(group->prefix);
  return number + subnet + " [" + toUtf8(group->name) + "]";
}

std::string fileOf(std::u16string_view text) {
  return "\xFF\xFE" + utf16le(text);
}

// Every field rule of a line: number forms, subnet forms, mask forms, blanks, names.
TEST(GroupLine, ParseRules) {
  struct row {
    std::u16string line;
    const char* expected;
  };
  const row rows[] = {
      {u"0a 10.0.0.0/255.255.0.0 Office", "10 10.0.0.0/16 [Office]"},
      {u"0A 10.0.0.0/16 Office", "10 10.0.0.0/16 [Office]"},
      {u"+0a 10.0.0.0/16 Office", "10 10.0.0.0/16 [Office]"},
      {u"0001 10.0.0.0/8 x", "1 10.0.0.0/8 [x]"},
      {u"ff 10.0.0.0/8 x", "255 10.0.0.0/8 [x]"},
      {u"0b all Rest", "11 all [Rest]"},
      {u"0b all", "11 all []"},
      {u"0b\tall \t Rest of  it", "11 all [Rest of  it]"},
      {u"01 10.0.0.0\\8 Back", "1 10.0.0.0/8 [Back]"},
      {u"01 10.0.0.0 /\t8   Spaced name", "1 10.0.0.0/8 [Spaced name]"},
      {u"01 10.0.0.0/08 x", "1 10.0.0.0/8 [x]"},
      {u"01 10.0.0.0/32 x", "1 10.0.0.0/32 [x]"},
      {u"01 192.168.1.0/255.255.255.128 x", "1 192.168.1.0/25 [x]"},
      {u"01 10.0.0.0/255.0.255.0 x", "1 10.0.0.0/8 [x]"},
      {u"01 10.0.0.5/8 x", "1 10.0.0.5/8 [x]"},
      {u"01 10.0.0.0/8", "1 10.0.0.0/8 []"},
      {u"01 10.0.0.0/8 Бухгалтерия 2\\", "1 10.0.0.0/8 [Бухгалтерия 2\\]"},
      {u"-0a 10.0.0.0/16 x", "refused"},
      {u"00 10.0.0.0/8 x", "refused"},
      {u"100 10.0.0.0/8 x", "refused"},
      {u"0x0a 10.0.0.0/8 x", "refused"},
      {u"0g 10.0.0.0/8 x", "refused"},
      {u"0a", "refused"},
      {u"0a10.0.0.0/8 x", "refused"},
      {u"01 10.0.0.0/0.0.0.0 x", "refused"},
      {u"01 10.0.0.0/0 x", "refused"},
      {u"01 10.0.0.0/33 x", "refused"},
      {u"01 10.0.0.0/255.255.0 x", "refused"},
      {u"01 10.0.0.0/-8 x", "refused"},
      {u"01 10.0.0.0 x", "refused"},
      {u"01 10.0.0.0/16Office", "refused"},
      {u"01 10.0.0/8 x", "refused"},
      {u"01 0.0.0.0/8 x", "refused"},
      {u"01 all/8 x", "refused"},
      {u"01 ALL x", "refused"},
      {u"01 allRest", "refused"},
      {u"01 １0.0.0.0/8 x", "refused"},
  };
  for (const row& r : rows)
    EXPECT_EQ(describe(parseGroupLine(r.line)), r.expected) << toUtf8(r.line);
}

// The example file: comments and bad lines are skipped, a repeated number is skipped,
// and reading ends with the first "all" group.
TEST(GroupFile, ReadSkipsBadLinesAndStopsAfterAll) {
  logCapture log;
  std::vector<terminalGroup> groups =
      readGroups(fileOf(u"# groups of the school\r\n"
                        u"  0a 10.0.0.0/255.255.0.0 Office   # first floor\r\n"
                        u"\r\n"
                        u"zz 10.0.0.0/8 Broken\r\n"
                        u"0a 10.9.0.0/16 Again\r\n"
                        u"03 192.168.5.0\\24 Лаборатория\n"
                        u"0b all Rest\r\n"
                        u"0c 10.1.0.0/16 X\r\n"));
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(describe(groups[0]), "10 10.0.0.0/16 [Office]");
  EXPECT_EQ(describe(groups[1]), "3 192.168.5.0/24 [Лаборатория]");
  EXPECT_EQ(describe(groups[2]), "11 all [Rest]");
  EXPECT_TRUE(log.contains("groups: Error in group line: 'zz 10.0.0.0/8 Broken'."));
  EXPECT_TRUE(log.contains("Group 0a is given twice, line skipped: '0a 10.9.0.0/16 Again'."));
  EXPECT_FALSE(log.contains("0c"));

  // The same text without a mark, in UTF-8, reads the same.
  EXPECT_EQ(readGroups("0a 10.0.0.0/16 Office\n0b all Rest\n"),
            (std::vector{subnetGroup(10, "10.0.0.0", 16, u"Office"), allGroup(11, u"Rest")}));
}

// A save keeps every line of the file that held no group (comments, bad lines, repeated
// numbers, everything after "all") verbatim, behind the groups, where it still reads as
// no group; without an "all" group a kept line that would read as one becomes a comment.
TEST(GroupFile, SaveKeepsLinesThatHoldNoGroup) {
  tempDir tmp;
  logCapture log;
  const std::string path = tmp / "default.zvc";
  writeFile(path, fileOf(u"# groups of the school\r\n"
                         u"0a 10.0.0.0/16 Office # first floor\r\n"
                         u"zz 10.0.0.0/8 Broken\r\n"
                         u"0a 10.9.0.0/16 Again\r\n"
                         u"0b all Rest\r\n"
                         u"\t0c 10.1.0.0/16 X  \r\n"
                         u"garbage # after all\n"));
  groupList list;
  ASSERT_TRUE(list.load(path));
  const std::vector<terminalGroup> groups = list.groups();
  ASSERT_EQ(groups.size(), 2u);
  ASSERT_TRUE(list.save(path));
  const std::u16string kept =
      u"# groups of the school\r\nzz 10.0.0.0/8 Broken\r\n"
      u"0a 10.9.0.0/16 Again\r\n";
  EXPECT_EQ(readFile(path), fileOf(u"0a 10.0.0.0/16 Office\r\n0b all Rest\r\n" + kept +
                                   u"\t0c 10.1.0.0/16 X  \r\ngarbage # after all\r\n"));
  groupList again;
  ASSERT_TRUE(again.load(path));
  EXPECT_EQ(again.groups(), groups);

  again.assign({groups[0]});  // "all" removed in the editor
  ASSERT_TRUE(again.save(path));
  EXPECT_EQ(readFile(path), fileOf(u"0a 10.0.0.0/16 Office\r\n# groups of the school\r\n"
                                   u"zz 10.0.0.0/8 Broken\r\n# 0a 10.9.0.0/16 Again\r\n"
                                   u"# \t0c 10.1.0.0/16 X  \r\ngarbage # after all\r\n"));
  ASSERT_TRUE(again.load(path));
  EXPECT_EQ(again.groups(), std::vector{groups[0]});
}

// A line too long for the reader is skipped whole: its tail is not read as a group.
TEST(GroupFile, OverlongLineIsSkippedWhole) {
  logCapture log;
  std::u16string head = u"01 10.0.0.0/8 ";
  std::u16string line = head + std::u16string(4095 - head.size(), u'n') + u"02 10.1.0.0/16 tail";
  std::vector<terminalGroup> groups = readGroups(fileOf(line + u"\r\n03 all Rest\r\n"));
  EXPECT_EQ(groups, (std::vector{allGroup(3, u"Rest")}));
  EXPECT_TRUE(log.contains("groups: Error in group line: '01 10.0.0.0/8 nnn"));
}

// At most one group per number, so a file holds at most 255 groups.
TEST(GroupFile, EveryNumberOnce) {
  std::u16string text;
  for (int number = 1; number <= 255; ++number) {
    char line[64];
    std::snprintf(line, sizeof line, "%02x 10.%d.0.0/16 G%d\r\n", number, number, number);
    text += widenAscii(line);
  }
  text += u"01 10.200.0.0/16 Extra\r\n";
  std::vector<terminalGroup> groups = readGroups(fileOf(text));
  ASSERT_EQ(groups.size(), maxGroups);
  EXPECT_EQ(groups.front().name, u"G1");
  EXPECT_EQ(groups.back().number, 255);
}

// The written form is exact and reads back as the same list; the example groups are
// written as the DHCP service expects them.
TEST(GroupFile, RoundTripIsByteExact) {
  tempDir tmp;
  groupList list;
  list.assign({subnetGroup(10, "10.0.0.0", 16, u"Office"),
               subnetGroup(1, "192.168.1.0", 24, u"Бухгалтерия\\"),
               subnetGroup(2, "10.5.0.0", 8, u""), allGroup(11, u"Rest")});
  ASSERT_TRUE(list.save(tmp / "default.zvc"));
  const std::string bytes = readFile(tmp / "default.zvc");
  EXPECT_EQ(bytes, fileOf(u"0a 10.0.0.0/16 Office\r\n"
                          u"01 192.168.1.0/24 Бухгалтерия\\\r\n"
                          u"02 10.5.0.0/8 \r\n"
                          u"0b all Rest\r\n"));
  EXPECT_EQ(bytes.substr(0, 14), hexBytes("FF FE 30 00 61 00 20 00 31 00 30 00 2E 00"));
  groupList again;
  ASSERT_TRUE(again.load(tmp / "default.zvc"));
  EXPECT_EQ(again.groups(), list.groups());
  EXPECT_EQ(groupsFileBytes(again.groups()), bytes);

  list.assign({});
  ASSERT_TRUE(list.save(tmp / "default.zvc"));
  EXPECT_EQ(readFile(tmp / "default.zvc"), "\xFF\xFE");
}

// A line break typed into a name cannot add a group of its own.
TEST(GroupFile, NameCannotInjectALine) {
  std::vector<terminalGroup> groups = {subnetGroup(1, "10.0.0.0", 8, u"x\r\n05 all y")};
  EXPECT_EQ(groupLine(groups[0]), u"01 10.0.0.0/8 x  05 all y\r\n");
  std::vector<terminalGroup> back = readGroups(groupsFileBytes(groups));
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].name, u"x  05 all y");
}

// Lists that would read back differently are not written, and the old file stays.
TEST(GroupFile, OnlyWellFormedListsAreSaved) {
  struct row {
    const char* name;
    std::vector<terminalGroup> groups;
    bool wellFormed;
  };
  const row rows[] = {
      {"empty", {}, true},
      {"all alone", {allGroup(1, u"")}, true},
      {"number 255", {subnetGroup(255, "10.0.0.0", 8, u"")}, true},
      {"number 0", {subnetGroup(0, "10.0.0.0", 8, u"")}, false},
      {"number twice", {subnetGroup(1, "10.0.0.0", 8, u""), allGroup(1, u"")}, false},
      {"all not last", {allGroup(2, u""), subnetGroup(1, "10.0.0.0", 8, u"")}, false},
      {"two all", {allGroup(1, u""), allGroup(2, u"")}, false},
      {"prefix 0", {subnetGroup(1, "10.0.0.0", 0, u"")}, false},
      {"prefix 33", {subnetGroup(1, "10.0.0.0", 33, u"")}, false},
      {"'#' in a name", {subnetGroup(1, "10.0.0.0", 8, u"A#1")}, false},  // cut when read
      {"blank ending a name", {subnetGroup(1, "10.0.0.0", 8, u"A ")}, false},
  };
  tempDir tmp;
  logCapture log;
  writeFile(tmp / "default.zvc", fileOf(u"01 all Old\r\n"));
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(isWellFormed(r.groups), r.wellFormed);
    groupList list;
    list.assign(r.groups);
    if (!r.wellFormed) {
      EXPECT_FALSE(list.save(tmp / "default.zvc"));
      EXPECT_EQ(readFile(tmp / "default.zvc"), fileOf(u"01 all Old\r\n"));
    }
  }
  EXPECT_TRUE(log.contains("not well formed, default.zvc not written."));
}

// Missing file: empty list. Unreadable or unwritable file: reported, false.
TEST(GroupFile, LoadAndSaveFailures) {
  tempDir tmp;
  logCapture log;
  groupList list;
  list.assign({allGroup(1, u"stale")});
  EXPECT_TRUE(list.load(tmp / "default.zvc"));
  EXPECT_TRUE(list.groups().empty());
  EXPECT_EQ(log.text(), "");

  ASSERT_TRUE(makeDirectories(tmp / "dir.zvc"));
  list.assign({allGroup(1, u"stale")});
  EXPECT_FALSE(list.load(tmp / "dir.zvc"));
  EXPECT_TRUE(list.groups().empty());
  EXPECT_TRUE(log.contains("File " + (tmp / "dir.zvc") + " is not read: it is a directory."));

  list.assign({allGroup(1, u"x")});
  EXPECT_FALSE(list.save(tmp / "missing/default.zvc"));
  EXPECT_TRUE(log.contains("-- ERROR -- Failed to open file default.zvc.\r\n"));
}

// The lowest free number, counting the numbers the editor handed out; 255 is never
// handed out.
TEST(GroupNumbers, NextGroupNumber) {
  auto numbered = [](std::initializer_list<std::pair<int, int>> spans) {
    std::vector<terminalGroup> groups;
    for (auto [from, to] : spans)
      for (int n = from; n <= to; ++n)
        groups.push_back(subnetGroup(uint8_t(n), "10.0.0.0", 8, u""));
    return groups;
  };
  struct row {
    const char* name;
    std::vector<terminalGroup> groups;
    std::vector<uint8_t> created;
    int expected;
  };
  const row rows[] = {
      {"none", {}, {}, 1},
      {"gap", numbered({{1, 2}, {4, 9}}), {}, 3},
      {"gap taken in the editor", numbered({{1, 2}, {4, 9}}), {3, 10}, 11},
      {"all counts too", {allGroup(1, u"")}, {}, 2},
      {"only 254 left", numbered({{1, 253}}), {}, 254},
      {"255 in the file", numbered({{1, 253}, {255, 255}}), {}, 254},
      {"1 to 254 used", numbered({{1, 254}}), {}, 0},
      {"last one taken in the editor", numbered({{1, 253}}), {254}, 0},
  };
  for (const row& r : rows) EXPECT_EQ(nextGroupNumber(r.groups, r.created), r.expected) << r.name;
}

// A terminal falls into the first group whose subnet holds it; "all" takes the rest.
TEST(GroupMembership, FirstMatchingGroup) {
  groupList list;
  list.assign({subnetGroup(1, "10.1.0.0", 16, u"narrow"), subnetGroup(2, "10.0.0.0", 8, u"wide"),
               subnetGroup(3, "192.168.1.77", 24, u"host bits"), allGroup(4, u"rest")});
  struct row {
    const char* address;
    int group;
  };
  const row rows[] = {{"10.1.2.3", 1},    {"10.2.0.1", 2}, {"192.168.1.1", 3},
                      {"192.168.2.1", 4}, {"11.0.0.0", 4}, {"9.255.255.255", 4}};
  for (const row& r : rows) {
    const terminalGroup* group = list.groupFor(ip(r.address));
    ASSERT_NE(group, nullptr) << r.address;
    EXPECT_EQ(group->number, r.group) << r.address;
  }
  list.assign({subnetGroup(1, "10.0.0.0", 32, u"one host")});
  EXPECT_NE(list.groupFor(ip("10.0.0.0")), nullptr);
  EXPECT_EQ(list.groupFor(ip("10.0.0.1")), nullptr);
}

// Group pseudo-terminals show their group's name, or the unknown-group name.
TEST(GroupMembership, PseudoTerminalNames) {
  groupList list;
  list.assign({subnetGroup(10, "10.0.0.0", 16, u"Office"), allGroup(11, u"Rest")});
  groupNameLookup lookup = list.nameLookup();
  EXPECT_EQ(pseudoTerminalName(groupMac(10), lookup), u"Office");
  EXPECT_EQ(pseudoTerminalName(groupMac(11), lookup), u"Rest");
  EXPECT_EQ(pseudoTerminalName(groupMac(12), lookup), unknownGroupName);
  list.assign({subnetGroup(12, "10.0.0.0", 16, u"Later")});
  EXPECT_EQ(pseudoTerminalName(groupMac(12), lookup), u"Later");
}

class GroupReplace : public ::testing::Test {
 protected:
  void SetUp() override {
    terminals = tmp / "Terminals/";
    for (int number : {1, 2, 3}) {
      std::string dir = terminals + groupMac(uint8_t(number)).directoryName();
      writeFile(dir + "/config.zvc", "\xFF\xFE");
    }
    list.assign({subnetGroup(1, "10.1.0.0", 16, u"A"), subnetGroup(2, "10.2.0.0", 16, u"B"),
                 allGroup(3, u"Rest")});
    ASSERT_TRUE(list.save(tmp / "default.zvc"));
    hooks.removeGroupTerminals = [this] { calls += "remove;"; };
    hooks.loadGroupTerminals = [this] {
      calls += "load " + std::to_string(list.groups().size()) + ";";
    };
  }
  bool groupDir(int number) {
    return isDirectory(terminals + groupMac(uint8_t(number)).directoryName());
  }

  tempDir tmp;
  logCapture log;
  std::string terminals;
  groupList list;
  groupTerminalHooks hooks;
  std::string calls;
};

// The new list is saved, deleted groups lose their directories (but never a number the
// new list uses), and the pseudo-terminals are reloaded from the new list.
TEST_F(GroupReplace, SavesDeletesAndReloads) {
  const std::vector<uint8_t> deleted = {2, 3, 0};
  std::vector<terminalGroup> edited = {subnetGroup(1, "10.1.0.0", 16, u"A"),
                                       subnetGroup(3, "10.3.0.0", 16, u"C")};
  ASSERT_TRUE(replaceGroups(list, edited, deleted, tmp / "default.zvc", terminals, hooks));
  EXPECT_EQ(calls, "remove;load 2;");
  EXPECT_EQ(list.groups(), edited);
  EXPECT_EQ(readGroups(readFile(tmp / "default.zvc")), edited);
  EXPECT_TRUE(groupDir(1));
  EXPECT_FALSE(groupDir(2));
  EXPECT_TRUE(groupDir(3));
}

// A list that cannot be saved changes nothing on disk or in memory; the removed
// pseudo-terminals are loaded back.
TEST_F(GroupReplace, FailedSaveKeepsEverything) {
  const std::vector<terminalGroup> before = list.groups();
  const std::vector<uint8_t> deleted = {2};
  EXPECT_FALSE(replaceGroups(list, {subnetGroup(1, "10.1.0.0", 16, u"A")}, deleted,
                             tmp / "missing/default.zvc", terminals, hooks));
  EXPECT_EQ(calls, "remove;load 3;");
  EXPECT_EQ(list.groups(), before);
  EXPECT_TRUE(groupDir(2));
  EXPECT_TRUE(log.contains("Failed to open file default.zvc."));
}

}  // namespace
}  // namespace zv
