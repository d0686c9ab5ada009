#include "common/optionList.h"

#include "common/configSaver.h"
#include "common/textConfigFile.h"
#include "platform/textConv.h"
#include "testsupport/optionSpecFixture.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

std::vector<configOption> entriesOf(const optionList& list) {
  return list.entries();
}

// Which keys a list takes, without and with the specification, by kind.
TEST(OptionList, SetRules) {
  const versionSpec& spec = test::optionSpec();
  struct row {
    std::uint32_t kind;
    const char* key;
    const char16_t* value;
    bool withSpec;
    bool taken;
  };
  const row rows[] = {
      {1, "video", u"vesa", false, true},
      {1, "anything", u"x", false, true},
      {1, "x", u"1", false, false},  // one-character keys
      {1, "connection", u"a", false, false},
      {1, "TEMPLATE", u"a", false, false},
      {1, "next", u"screen", false, false},
      {1, "first", u"screen", false, false},  // layout lines would come back as layout
      {1, "m2_next", u"screen", false, false},
      {1, "video", u"vesa", true, true},
      {1, "VIDEO", u"vesa", true, true},
      {1, "server", u"host", true, false},  // connection-only in a general list
      {2, "server", u"host", true, true},
      {2, "video", u"vesa", true, false},
      {2, "keyboard", u"de", true, true},  // both sections
      {1, "keyboard", u"de", true, true},
      {1, "unknown", u"v", true, false},   // not in the specification
      {1, "internal", u"v", true, false},  // unlisted only: no section bit
      {2, "server", u"bad", true, true},   // set does not validate values
  };
  for (const row& r : rows) {
    test::logCapture log;
    optionList list(r.kind);
    EXPECT_EQ(list.set(r.key, r.value, r.withSpec ? &spec : nullptr), r.taken) << r.key;
    EXPECT_EQ(list.size(), r.taken ? 1u : 0u) << r.key;
    // Only an unknown key with a specification is reported.
    EXPECT_EQ(log.contains("INTERNAL ERROR"), r.withSpec && std::string(r.key) == "unknown")
        << r.key;
  }
}

// A key set twice keeps its first place and letter case and takes the last value; get,
// find and remove ignore letter case; defaults come from the specification.
TEST(OptionList, KeysAreCaseBlindAndOrdered) {
  const versionSpec& spec = test::optionSpec();
  optionList list;
  ASSERT_TRUE(list.set("Video", u"vesa"));
  ASSERT_TRUE(list.set("other", u"1"));
  ASSERT_TRUE(list.set("VIDEO", u"drm"));
  EXPECT_EQ(entriesOf(list), (std::vector<configOption>{{"Video", u"drm"}, {"other", u"1"}}));
  EXPECT_EQ(list.get("video"), u"drm");
  EXPECT_EQ(list.get("timeout", &spec), u"30");
  EXPECT_EQ(list.get("timeout"), u"");
  EXPECT_EQ(list.get("unknown", &spec), u"");
  EXPECT_TRUE(list.remove("VIDEO"));
  EXPECT_FALSE(list.remove("video"));
  EXPECT_EQ(entriesOf(list), (std::vector<configOption>{{"other", u"1"}}));
}

// The 201st entry is dropped with an internal error, yet the call succeeds; changing an
// existing key still works at capacity.
TEST(OptionList, Capacity) {
  test::logCapture log;
  optionList list;
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(list.set("key" + std::to_string(i), u"v"));
  EXPECT_FALSE(log.contains("INTERNAL ERROR"));
  EXPECT_TRUE(list.set("key200", u"v"));
  EXPECT_EQ(list.size(), 200u);
  EXPECT_FALSE(list.contains("key200"));
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
  EXPECT_TRUE(list.set("KEY5", u"changed"));
  EXPECT_EQ(list.get("key5"), u"changed");
}

// Pairs the syntax cannot hold are refused rather than saved wrong; every other pair is
// written so that it reads back as itself, and the line after it stays its own.
TEST(OptionList, RefusesValuesTheFileCannotCarry) {
  struct row {
    std::string key;
    std::u16string value;
    bool representable;
  };
  const row rows[] = {
      {"key", u"plain value", true},
      {"key", u"a = b", true},
      {"key", u"C:\\dir\\x", true},
      {"key", u"", true},
      {"key", u"a\r\nnext screen", false},  // would inject a layout line
      {"key", u"a\nb", false},
      {"key", u"a#b", false},    // the rest would become a comment
      {"key", u" lead", false},  // leading blanks are separator
      {"key", u"=lead", false},
      {"key", u"trail ", false},                  // trailing blanks are dropped
      {"key", u"dir\\", true},                    // written with an empty comment after it
      {"key", std::u16string(4091, u'v'), true},  // 'key=' + 4091 = 4095
      {"key", std::u16string(4092, u'v'), false},
      {"k y", u"v", false},
      {"", u"v", true},  // the line '=v'
      {"\xC3\xA9t\xC3\xA9", u"v", false},
      {std::string(63, 'k'), u"v", true},
      {std::string(64, 'k'), u"v", false},
  };
  for (const row& r : rows) {
    EXPECT_EQ(representableOption(r.key, r.value), r.representable) << r.key;
    test::logCapture log;
    optionList list;
    EXPECT_EQ(list.set(r.key, r.value), r.representable) << r.key;
    if (!r.representable) continue;
    textSource source;
    ASSERT_TRUE(source.openBytes(toUtf8(optionLine(r.key, r.value) + u"next=1\r\n")));
    std::vector<std::pair<std::string, std::u16string>> read;
    std::u16string failed;
    ASSERT_TRUE(readPairs(
        source,
        [&](const std::string& k, const std::u16string& v) {
          read.emplace_back(k, v);
          return true;
        },
        failed));
    EXPECT_EQ(read, (std::vector<std::pair<std::string, std::u16string>>{{r.key, r.value},
                                                                         {"next", u"1"}}))
        << r.key;
  }
}

// validateOptions sorts each option into one of three lists, keeping list order.
TEST(OptionList, ValidateOptions) {
  const versionSpec& spec = test::optionSpec();
  optionList list(ZV_SECTION_CONNECTION);
  for (auto [key, value] : {std::pair{"server", u"host"},
                            {"unknownA", u"1"},
                            {"video", u"x"},
                            {"autostart_delay", u"soon"},
                            {"unknownB", u"2"},
                            {"server2", u"bad"},
                            {"keyboard", u"bad"},
                            {"internal", u"x"}})
    ASSERT_TRUE(list.set(key, value));
  optionProblems problems;
  problems.invalid.push_back({"stale", u"x"});
  EXPECT_FALSE(list.validateOptions(&spec, problems));
  EXPECT_EQ(problems.unknown, (std::vector<configOption>{
                                  {"unknownA", u"1"}, {"unknownB", u"2"}, {"server2", u"bad"}}));
  EXPECT_EQ(problems.wrongSection,
            (std::vector<configOption>{{"video", u"x"}, {"internal", u"x"}}));
  EXPECT_EQ(problems.invalid,
            (std::vector<configOption>{{"autostart_delay", u"soon"}, {"keyboard", u"bad"}}));

  EXPECT_TRUE(list.validateOptions(nullptr, problems));
  EXPECT_TRUE(problems.empty());
  optionList good(ZV_SECTION_GENERAL);
  good.set("video", u"vesa");
  good.set("timeout", u"10");
  EXPECT_TRUE(good.validateOptions(&spec, problems));
}

// Copying and removing between lists happen only when their kinds share a bit.
TEST(OptionList, CopyAndRemoveByKind) {
  optionList general(ZV_SECTION_GENERAL);
  general.set("video", u"vesa");
  general.set("timeout", u"10");
  optionList other(ZV_SECTION_GENERAL);
  other.set("TIMEOUT", u"20");
  other.set("extra", u"1");
  optionList connection(ZV_SECTION_CONNECTION);
  connection.set("video", u"x");

  general.copyOptionsFrom(connection);
  EXPECT_EQ(general.get("video"), u"vesa");
  general.copyOptionsFrom(other);
  EXPECT_EQ(entriesOf(general),
            (std::vector<configOption>{{"video", u"vesa"}, {"timeout", u"20"}, {"extra", u"1"}}));
  general.removeOptionsOf(connection);
  EXPECT_EQ(general.size(), 3u);
  general.removeOptionsOf(other);
  EXPECT_EQ(entriesOf(general), (std::vector<configOption>{{"video", u"vesa"}}));
  EXPECT_EQ(general.lines(), (std::vector<std::u16string>{u"video=vesa\r\n"}));
}

}  // namespace
}  // namespace zv
