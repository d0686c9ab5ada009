#include "zvc/editor/configEdits.h"

#include "platform/textConv.h"
#include "testsupport/optionSpecFixture.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace zv {
namespace {

std::string generalText(const GUIConfigFile& config) {
  std::string text;
  for (const configOption& o : config.generalOptions()) text += o.key + "=" + toUtf8(o.value) + ";";
  return text;
}

// A terminal with timeout=5 of its own and the template "office", which sets video.
class ConfigEdits : public ::testing::Test {
 protected:
  void SetUp() override {
    auto office = std::make_shared<GUITemplatesFile>("office", dir.path());
    office->set("video", u"office");
    libraries.insertTemplate(office);
    libraries.insertTemplate(std::make_shared<GUITemplatesFile>("kiosk", dir.path()));
    test::writeFile(dir / "config.zvc", "timeout=5\ntemplate office\nconnection\n");
  }
  GUIConfigFile loaded(const versionSpec* spec) {
    GUIConfigFile config(libraries);
    std::u16string failure;
    EXPECT_TRUE(config.read(dir / "config.zvc", spec, failure)) << toUtf8(failure);
    return config;
  }
  test::tempDir dir;
  configLibraries libraries;
};

optionEdit set(std::string key, std::u16string value) {
  return {std::move(key), std::move(value)};
}
optionEdit unset(std::string key) {
  return {std::move(key), std::nullopt};
}

// Each edit list against the fixture's specification or the free rows: what is refused
// with which message (nothing changed then), what is stored; every accepted result
// survives being written and read back.
TEST_F(ConfigEdits, ValuesAcceptedAndRefused) {
  const versionSpec* spec = &test::optionSpec();
  const std::u16string longValue(5000, u'v');
  struct testCase {
    const char* what;
    bool withSpec;
    std::vector<optionEdit> edits;
    std::string error;    // empty: accepted
    std::string general;  // the general options afterwards
    std::string outcomes;
  };
  const std::string unchanged = "timeout=5;";
  const testCase cases[] = {
      {"valid value", true, {set("timeout", u"45")}, "", "timeout=45;", "s"},
      {"rejected value", true, {set("timeout", u"4x")}, invalidValueMessage, unchanged, ""},
      {"connection option",
       true,
       {set("server", u"a")},
       "Параметры нeсоответствующего типа: server",
       unchanged,
       ""},
      {"unlisted option",
       true,
       {set("internal", u"a")},
       "Параметры нeсоответствующего типа: internal",
       unchanged,
       ""},
      {"unknown key",
       true,
       {set("nokey", u"1")},
       "Параметры, которых нет в версии Zelvar " + spec->name + ": nokey",
       unchanged,
       ""},
      {"default drops own value", true, {set("timeout", u"30")}, "", "", "r"},
      {"default kept over a template",
       true,
       {set("video", u"AUTO")},
       "",
       "timeout=5;video=AUTO;",
       "s"},
      {"case of the value in effect",
       true,
       {set("video", u"OFFICE"), set("keyboard", u"US")},
       "",
       unchanged,
       "uu"},
      {"key spelled as the specification",
       true,
       {set("resolution", u"800x600")},
       "",
       "timeout=5;Resolution=800x600;",
       "s"},
      {"all or nothing",
       true,
       {set("timeout", u"45"), set("video", u"bad")},
       invalidValueMessage,
       unchanged,
       ""},
      {"CR LF in a value", true, {set("video", u"a\r\nb=1")}, invalidValueMessage, unchanged, ""},
      {"comment sign", true, {set("video", u"a#b")}, invalidValueMessage, unchanged, ""},
      {"leading blank", true, {set("video", u" a")}, invalidValueMessage, unchanged, ""},
      {"line too long", true, {set("video", longValue)}, invalidValueMessage, unchanged, ""},
      {"backslash at the end",
       true,
       {set("video", u"C:\\dir\\")},
       "",
       "timeout=5;video=C:\\dir\\;",
       "s"},
      {"non-ASCII", true, {set("video", u"Пётр ⚙ 𝄞")}, "", "timeout=5;video=Пётр ⚙ 𝄞;", "s"},
      {"unset", true, {unset("TIMEOUT"), unset("video")}, "", "", "ru"},
      {"free row", false, {set("my_key", u"x\\")}, "", "timeout=5;my_key=x\\;", "s"},
      {"free same value", false, {set("timeout", u"5")}, "", unchanged, "u"},
      {"free case of a value",
       false,
       {set("timeout", u"A"), set("TIMEOUT", u"a")},
       "",
       "timeout=a;",
       "ss"},
      {"free one-character key", false, {set("a", u"1")}, invalidRowsMessage, unchanged, ""},
      {"free layout key", false, {set("Next", u"1")}, invalidRowsMessage, unchanged, ""},
      {"free key filter", false, {set("my-key", u"1")}, invalidRowsMessage, unchanged, ""},
      {"free empty key", false, {set("", u"1")}, invalidRowsMessage, unchanged, ""},
      {"free long key",
       false,
       {set(std::string(129, 'k'), u"1")},
       invalidRowsMessage,
       unchanged,
       ""},
      {"free long value",
       false,
       {set("key", std::u16string(1025, u'v'))},
       invalidRowsMessage,
       unchanged,
       ""},
      {"free comment sign", false, {set("key", u"#")}, invalidRowsMessage, unchanged, ""},
      {"free newline", false, {set("key", u"a\nb")}, invalidRowsMessage, unchanged, ""},
  };
  for (const testCase& c : cases) {
    SCOPED_TRACE(c.what);
    const versionSpec* used = c.withSpec ? spec : nullptr;
    GUIConfigFile config = loaded(used);
    editResult result = applyOptionEdits(config, used, c.edits);
    EXPECT_EQ(result.ok, c.error.empty());
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(generalText(config), c.general);
    EXPECT_EQ(config.templateNames(), std::vector<std::string>{"office"});
    std::string outcomes;
    for (const editChange& change : result.changes) outcomes += "sru"[int(change.outcome)];
    EXPECT_EQ(outcomes, c.outcomes);
    if (!result.ok) continue;
    ASSERT_TRUE(config.saveTerminalConfig(dir / "edited.zvc"));
    GUIConfigFile back(libraries);
    std::u16string failure;
    ASSERT_TRUE(back.read(dir / "edited.zvc", used, failure)) << toUtf8(failure);
    EXPECT_EQ(back.generalOptions(), config.generalOptions());
    EXPECT_EQ(back.templateNames(), config.templateNames());
  }
}

// Template list edits keep the other names in order and take only library templates.
TEST_F(ConfigEdits, TemplateList) {
  GUIConfigFile config = loaded(nullptr);
  bool added = false;
  EXPECT_EQ(addTemplate(config, "nothere", added), "Template not found: nothere");
  EXPECT_FALSE(added);
  EXPECT_EQ(addTemplate(config, "KIOSK", added), "");
  EXPECT_TRUE(added);
  EXPECT_EQ(addTemplate(config, "All", added), "");
  EXPECT_EQ(config.templateNames(), (std::vector<std::string>{"office", "kiosk", "all"}));
  EXPECT_EQ(config.templateLinks().size(), 3u);
  EXPECT_EQ(addTemplate(config, "Office", added), "");
  EXPECT_FALSE(added);
  EXPECT_EQ(config.templateNames().size(), 3u);
  EXPECT_EQ(removeTemplate(config, "OFFICE"), "");
  EXPECT_EQ(config.templateNames(), (std::vector<std::string>{"kiosk", "all"}));
  EXPECT_NE(removeTemplate(config, "office"), "");
  EXPECT_EQ(config.templateNames(), (std::vector<std::string>{"kiosk", "all"}));
  EXPECT_EQ(generalText(config), "timeout=5;");
}

// A copy takes everything of a non-empty source; an empty source is refused and the
// target keeps what it had.
TEST_F(ConfigEdits, Copy) {
  GUIConfigFile source = loaded(nullptr);
  GUIConfigFile target(libraries);
  target.generalOptions().set("own", u"1");
  GUIConfigFile empty(libraries);
  EXPECT_EQ(copyConfiguration(empty, target), emptySourceMessage);
  EXPECT_EQ(generalText(target), "own=1;");
  EXPECT_EQ(copyConfiguration(source, target), "");
  EXPECT_EQ(target.textLines(), source.textLines());
  EXPECT_EQ(target.templateLinks().size(), 1u);
}

// Whatever another program does to the file after it was read is seen before a write.
TEST_F(ConfigEdits, SnapshotSeesOutsideChanges) {
  const std::string path = dir / "config.zvc";
  const std::string bytes = test::readFile(path);
  struct testCase {
    const char* what;
    bool existsBefore;
    std::function<void()> change;
    bool unchanged;
  };
  const testCase cases[] = {
      {"nothing", true, [] {}, true},
      {"rewritten alike", true, [&] { test::writeFile(path, bytes); }, true},
      {"one byte", true, [&] { test::writeFile(path, "timeout=6\ntemplate office\nconnection\n"); },
       false},
      {"grown", true, [&] { test::writeFile(path, bytes + "x=1\n"); }, false},
      {"removed", true, [&] { std::filesystem::remove(path); }, false},
      {"still missing", false, [] {}, true},
      {"created", false, [&] { test::writeFile(path, ""); }, false},
  };
  for (const testCase& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.existsBefore)
      test::writeFile(path, bytes);
    else
      std::filesystem::remove(path);
    fileSnapshot snapshot;
    ASSERT_TRUE(snapshot.take(path));
    EXPECT_EQ(snapshot.exists(), c.existsBefore);
    c.change();
    EXPECT_EQ(snapshot.unchanged(), c.unchanged);
  }
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  fileSnapshot directory;
  EXPECT_FALSE(directory.take(path));
}

}  // namespace
}  // namespace zv
