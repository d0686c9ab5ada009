#include "common/versionSpec.h"

#include "platform/textConv.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>
#include <regex>
#include <vector>

namespace zv {
namespace {

// Where CMake puts the test libraries: <variant>/spec.so.
std::string specDir(const char* variant) {
  return std::string(ZV_TEST_SPEC_DIR) + variant + "/";
}

// What the loader makes of each kind of version directory.
TEST(LoadVersionSpec, Outcomes) {
  test::tempDir empty;
  test::tempDir garbage;
  test::writeFile(garbage / "spec.so", "this is not a shared object\n");
  struct row {
    std::string directory;
    bool loads;
    const char* name;
    bool video;
    bool generate;
    const char* logged;  // null: nothing at all is logged
  };
  const row rows[] = {
      {empty.path(), false, "", false, false, nullptr},
      {empty / "absent/", false, "", false, false, nullptr},
      {garbage.path(), false, "", false, false, "INTERNAL ERROR"},
      {specDir("none"), false, "", false, false, "has no \"spec\" export"},
      {specDir("malformed"), false, "", false, false, "malformed \"spec\" table"},
      {specDir("full"), true, "6.2.63", true, true, nullptr},
      {specDir("bare"), true, "6.2.5", false, false, nullptr},
      {specDir("half_video"), true, "6.2.8", false, false, "incomplete \"video\" table"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.directory);
    test::logCapture log;
    std::unique_ptr<versionSpec> spec = loadVersionSpec(r.directory);
    ASSERT_EQ(spec != nullptr, r.loads);
    if (r.logged)
      EXPECT_TRUE(log.contains(r.logged)) << log.text();
    else
      EXPECT_EQ(log.text(), "");
    if (!spec) continue;
    EXPECT_EQ(spec->name, r.name);
    EXPECT_EQ(spec->video != nullptr, r.video);
    EXPECT_EQ(spec->generateUpdateImages != nullptr, r.generate);
  }
}

// A file that is no library: the load error with the path, a code that is not 0 and the
// loader's reason in the same line, then the internal-error line.
TEST(LoadVersionSpec, LoadErrorLines) {
  test::tempDir dir;
  test::writeFile(dir / "spec.so", "garbage");
  test::logCapture log;
  EXPECT_EQ(loadVersionSpec(dir.path()), nullptr);
  std::vector<std::string> lines;
  std::string text = log.text();
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(text.substr(at, end - at));
  ASSERT_EQ(lines.size(), 2u) << text;
  const std::regex loadError(
      R"(\[[0-9. :]+\] Error while library (\S*) load: ([1-9][0-9]*)\. (.+))");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(lines[0], match, loadError)) << lines[0];
  EXPECT_EQ(match[1], dir / "spec.so");
  EXPECT_NE(match[3].str().find("spec.so"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("INTERNAL ERROR"), std::string::npos) << lines[1];
}

class LoadedSpec : public ::testing::Test {
 protected:
  void SetUp() override {
    spec = loadVersionSpec(specDir("full"));
    ASSERT_NE(spec, nullptr);
  }
  std::unique_ptr<versionSpec> spec;
};

// Look-ups by index and by key, in and out of range.
TEST_F(LoadedSpec, Lookups) {
  ASSERT_EQ(spec->count(), 4u);
  ASSERT_NE(spec->get(0), nullptr);
  EXPECT_STREQ(spec->get(0)->name, "mode");
  EXPECT_EQ(spec->get(4), nullptr);
  EXPECT_EQ(spec->get(std::size_t(1) << 33), nullptr);  // not cut down to index 0
  EXPECT_EQ(spec->find("MoDe"), spec->get(0));
  EXPECT_EQ(spec->find("mod"), nullptr);
  EXPECT_EQ(spec->find(std::string_view("modex", 4)), spec->get(0));  // the view, not more
}

// Default, manual and validation through the records.
TEST_F(LoadedSpec, RecordTexts) {
  const zvOptionSpecRecord& mode = *spec->find("mode");
  const zvOptionSpecRecord& bare = *spec->find("bare");
  EXPECT_EQ(versionSpec::defaultValue(mode), u"auto");
  EXPECT_EQ(versionSpec::manual(mode), u"<p>Mode</p>");
  EXPECT_EQ(versionSpec::defaultValue(bare), u"");
  EXPECT_EQ(versionSpec::manual(bare), u"");
  struct row {
    const zvOptionSpecRecord& record;
    std::u16string value;
    bool valid;
  };
  const row rows[] = {
      {mode, u"auto", true},
      {mode, u"off", true},
      {mode, u"Auto", false},
      {mode, u"", false},
      {mode, u"auto ", false},
      {bare, u"anything", true},  // no validator: every value is taken
      {*spec->find("broken"), u"x", true},
  };
  for (const row& r : rows)
    EXPECT_EQ(versionSpec::validate(r.record, r.value), r.valid) << toUtf8(r.value);
}

// The editor's HTML: the processor's text, empty when it fails or is missing, and never
// more than the render block holds however much the library claims to have written.
TEST_F(LoadedSpec, Render) {
  EXPECT_EQ(versionSpec::render(*spec->find("mode"), u"on", false), u"<input>on");
  EXPECT_EQ(versionSpec::render(*spec->find("mode"), u"on", true), u"<input>on ro");
  EXPECT_EQ(versionSpec::render(*spec->find("broken"), u"on", false), u"");
  EXPECT_EQ(versionSpec::render(*spec->find("bare"), u"on", false), u"");
  std::u16string greedy = versionSpec::render(*spec->find("greedy"), u"", false);
  EXPECT_EQ(greedy.size(), ZV_RENDER_BUFFER_BYTES / 2 - 1);
}

// A spec made without a table answers as an empty one.
TEST(VersionSpec, WithoutTable) {
  versionSpec spec;
  EXPECT_EQ(spec.count(), 0u);
  EXPECT_EQ(spec.get(0), nullptr);
  EXPECT_EQ(spec.find("mode"), nullptr);
  EXPECT_EQ(fromZvString(nullptr), u"");
}

}  // namespace
}  // namespace zv
