#include "common/DHCPIgnoreMACs.h"

#include "platform/files.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

using test::logCapture;
using test::readFile;
using test::tempDir;
using test::writeFile;

macAddress mac(const char* text) {
  std::optional<macAddress> parsed = parseMac(std::string_view(text), ':');
  EXPECT_TRUE(parsed) << text;
  return parsed.value_or(macAddress{});
}

// The n-th of many distinct valid MACs.
macAddress numbered(unsigned n) {
  return macAddress{{0x00, 0x1A, 0x00, 0x00, uint8_t(n >> 8), uint8_t(n)}};
}

std::string joined(const std::vector<macAddress>& macs) {
  std::string text;
  for (const macAddress& m : macs) text += (text.empty() ? "" : " ") + m.logText();
  return text;
}

// Both separators, either letter case, the line rules of the byte reader; the first
// line that is no valid MAC ends the list and is logged.
TEST(IgnoreMacs, ReadRules) {
  struct row {
    std::string bytes;
    const char* macs;
    bool complete;
    const char* logged;  // the bad line, or nullptr
  };
  const row rows[] = {
      {"00:1A:2B:3C:4D:5E\n00.1A.2B.3C.4D.5F\n", "00:1A:2B:3C:4D:5E 00:1A:2B:3C:4D:5F", true,
       nullptr},
      {"  00:1a:2b:3c:4d:5e \r\n\r\n# note\nff:ff:ff:ff:ff:03",
       "00:1A:2B:3C:4D:5E FF:FF:FF:FF:FF:03", true, nullptr},
      {"00:1A:2B:3C:4D:5E\n00:1A:2B:3C:4D:5E\n", "00:1A:2B:3C:4D:5E", true, nullptr},
      {"", "", true, nullptr},
      {"00:1A:2B:3C:4D:5E\nabcdefgh\n00:1A:2B:3C:4D:60\n", "00:1A:2B:3C:4D:5E", false, "abcdefgh"},
      {"00:1A:2B:3C:4D:5E\nnot a mac", "00:1A:2B:3C:4D:5E", false, "not a mac"},
      {"00:00:00:00:00:00\n00:1A:2B:3C:4D:5E\n", "", false, "00:00:00:00:00:00"},
      {"44:44:44:44:44:44\n", "", false, "44:44:44:44:44:44"},
      {"FF:FF:FF:FF:FF:FF\n", "", false, "FF:FF:FF:FF:FF:FF"},
      {"00-1A-2B-3C-4D-5E\n", "", false, "00-1A-2B-3C-4D-5E"},
      {"00:1A.2B:3C:4D:5E\n", "", false, "00:1A.2B:3C:4D:5E"},
      {"00:1A:2B:3C:4D:5E0\n", "", false, "00:1A:2B:3C:4D:5E0"},
      {"00:1A:2B:3C:4D:5E\n" + std::string(5000, 'A') + "\n00:1A:2B:3C:4D:60\n",
       "00:1A:2B:3C:4D:5E", false, "AAAA"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.bytes.substr(0, 60));
    logCapture log;
    std::vector<macAddress> macs;
    EXPECT_EQ(readIgnoreMacs(r.bytes, macs), r.complete);
    EXPECT_EQ(joined(macs), r.macs);
    if (r.logged)
      EXPECT_TRUE(log.contains("] DHCPIgnoreMACs: Error in line " + std::string(r.logged)));
    else
      EXPECT_EQ(log.text(), "");
  }
}

// The list holds at most 1024 MACs, when read and when edited.
TEST(IgnoreMacs, Capacity) {
  std::string text;
  for (unsigned n = 1; n <= maxIgnoredMacs; ++n) text += numbered(n).logText() + "\n";
  std::vector<macAddress> macs;
  EXPECT_TRUE(readIgnoreMacs(text, macs));
  EXPECT_EQ(macs.size(), maxIgnoredMacs);

  logCapture log;
  text += numbered(5000).logText() + "\n";
  EXPECT_FALSE(readIgnoreMacs(text, macs));
  EXPECT_EQ(macs.size(), maxIgnoredMacs);
  EXPECT_TRUE(log.contains("More than 1024 MACs in the list, the rest is ignored."));

  ignoreList list;
  for (const macAddress& m : macs) ASSERT_TRUE(list.add(m));
  EXPECT_FALSE(list.add(numbered(5000)));
  EXPECT_TRUE(list.add(numbered(7)));  // already listed
  EXPECT_EQ(list.macs().size(), maxIgnoredMacs);
  EXPECT_TRUE(list.remove(numbered(7)));
  EXPECT_FALSE(list.remove(numbered(7)));
  EXPECT_TRUE(list.add(numbered(5000)));
  EXPECT_FALSE(list.add(mac("00:00:00:00:00:00")));
}

// Only the number 1 turns the list into the only terminals answered.
TEST(IgnoreFlag, Values) {
  struct row {
    const char* bytes;
    ignoreMode mode;
  };
  const row rows[] = {
      {"1", ignoreMode::answerOnlyListed},  {"0", ignoreMode::ignoreListed},
      {"01", ignoreMode::answerOnlyListed}, {" 1\r\n", ignoreMode::answerOnlyListed},
      {"", ignoreMode::ignoreListed},       {"2", ignoreMode::ignoreListed},
      {"10", ignoreMode::ignoreListed},     {"1a", ignoreMode::ignoreListed},
      {"-1", ignoreMode::ignoreListed},     {"0x1", ignoreMode::ignoreListed},
      {"1 1", ignoreMode::ignoreListed},    {"00", ignoreMode::ignoreListed},
  };
  for (const row& r : rows) EXPECT_EQ(parseIgnoreFlag(r.bytes), r.mode) << '"' << r.bytes << '"';
  EXPECT_EQ(ignoreFlagText(ignoreMode::ignoreListed), "0");
  EXPECT_EQ(ignoreFlagText(ignoreMode::answerOnlyListed), "1");
}

// Both files are written exactly as the DHCP service reads them and load back equal.
TEST(IgnoreFiles, RoundTripIsByteExact) {
  tempDir tmp;
  ignoreList list;
  ASSERT_TRUE(list.add(mac("00:1a:2b:3c:4d:5e")));
  ASSERT_TRUE(list.add(mac("FF:FF:FF:FF:FF:03")));
  list.mode = ignoreMode::answerOnlyListed;
  ASSERT_TRUE(saveIgnoreList(tmp.path(), list));
  EXPECT_EQ(readFile(tmp / "ignore_macs"), "00:1A:2B:3C:4D:5E\nFF:FF:FF:FF:FF:03\n");
  EXPECT_EQ(readFile(tmp / "ignore_flag"), "1");

  ignoreList back;
  ASSERT_TRUE(loadIgnoreList(tmp.path(), back));
  EXPECT_EQ(back.macs(), list.macs());
  EXPECT_EQ(back.mode, ignoreMode::answerOnlyListed);

  ASSERT_TRUE(saveIgnoreList(tmp.path(), ignoreList{}));
  EXPECT_EQ(readFile(tmp / "ignore_macs"), "");
  EXPECT_EQ(readFile(tmp / "ignore_flag"), "0");
}

// Missing files are an empty list that ignores; a bad line keeps what came before it;
// an unreadable file is logged.
TEST(IgnoreFiles, LoadFailures) {
  tempDir tmp;
  logCapture log;
  ignoreList list;
  ASSERT_TRUE(list.add(mac("00:1A:2B:3C:4D:5E")));
  list.mode = ignoreMode::answerOnlyListed;
  EXPECT_TRUE(loadIgnoreList(tmp.path(), list));
  EXPECT_TRUE(list.macs().empty());
  EXPECT_EQ(list.mode, ignoreMode::ignoreListed);
  EXPECT_EQ(log.text(), "");

  // The lines from the bad one on are kept verbatim by the next save, still behind it.
  const std::string tail = "qwerty # typo\r\n00:1A:2B:3C:4D:60\n\nlast";
  writeFile(tmp / "ignore_macs", "00:1A:2B:3C:4D:5E\n" + tail);
  writeFile(tmp / "ignore_flag", "1");
  EXPECT_FALSE(loadIgnoreList(tmp.path(), list));
  EXPECT_EQ(joined(list.macs()), "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(list.mode, ignoreMode::answerOnlyListed);
  ASSERT_TRUE(list.add(mac("00:1A:2B:3C:4D:61")));
  ASSERT_TRUE(saveIgnoreList(tmp.path(), list));
  EXPECT_EQ(readFile(tmp / "ignore_macs"), "00:1A:2B:3C:4D:5E\n00:1A:2B:3C:4D:61\n" + tail);
  EXPECT_FALSE(loadIgnoreList(tmp.path(), list));
  EXPECT_EQ(joined(list.macs()), "00:1A:2B:3C:4D:5E 00:1A:2B:3C:4D:61");

  ASSERT_TRUE(removeTree(tmp / "ignore_macs"));
  ASSERT_TRUE(makeDirectories(tmp / "ignore_macs"));
  EXPECT_FALSE(loadIgnoreList(tmp.path(), list));
  EXPECT_TRUE(
      log.contains("] DHCPIgnoreMACs: File " + (tmp / "ignore_macs") + " open failed.\r\n"));
}

// When the MAC list cannot be written, the flag stays as it was.
TEST(IgnoreFiles, FailedSaveWritesNoFlag) {
  tempDir tmp;
  logCapture log;
  writeFile(tmp / "ignore_flag", "0");
  ASSERT_TRUE(makeDirectories(tmp / "ignore_macs/busy"));
  ignoreList list;
  list.mode = ignoreMode::answerOnlyListed;
  EXPECT_FALSE(saveIgnoreList(tmp.path(), list));
  EXPECT_EQ(readFile(tmp / "ignore_flag"), "0");
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
}

}  // namespace
}  // namespace zv
