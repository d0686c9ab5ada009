#include "common/configLibrary.h"

#include "common/GUIConfigFile.h"
#include "common/installPaths.h"
#include "platform/textConv.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zv {
namespace {

template <class Entries>
std::vector<std::string> namesOf(const Entries& entries) {
  std::vector<std::string> names;
  for (const auto& entry : entries) names.push_back(entry->name());
  return names;
}

// Start-up loading of a template directory: "*.zvc" in any case, regular files only,
// sorted without case; ".broken" files skipped; a non-ASCII name and a file that does
// not load are set aside and left out.
TEST(ConfigLibrary, LoadTemplates) {
  test::tempDir dir;
  test::logCapture log;
  const std::string templates = dir / "Templates/";
  test::writeFile(templates + "b.zvc", "video=b\n");
  test::writeFile(templates + "A.zvc", "video=a\n");
  test::writeFile(templates + "c.ZVC", "video=c\n");
  test::writeFile(templates + "old.zvc.broken", "video=old\n");
  test::writeFile(templates + "notes.txt", "video=n\n");
  test::writeFile(templates + "\xD0\xA8\xD0\xB0\xD0\xB1.zvc", "video=cyr\n");
  test::writeFile(templates + "bad.zvc", "video=1\n\xC3\xA9=x\n");
  ASSERT_EQ(::mkdir((templates + "d.zvc").c_str(), 0755), 0);

  configLibraries libraries;
  libraries.loadTemplates(templates);
  EXPECT_EQ(namesOf(libraries.templates()), (std::vector<std::string>{"A", "b", "c"}));
  EXPECT_EQ(libraries.templates()[2]->get("video"), u"c");
  EXPECT_TRUE(test::exists(templates + "\xD0\xA8\xD0\xB0\xD0\xB1.zvc.broken"));
  EXPECT_TRUE(log.contains("WARNING! Set broken file " + templates + "\xD0\xA8"));
  EXPECT_TRUE(test::exists(templates + "bad.zvc.broken"));
  EXPECT_FALSE(test::exists(templates + "bad.zvc"));

  // An entry read from "c.ZVC" writes that same file back.
  EXPECT_EQ(libraries.templates()[2]->filePath(), templates + "c.ZVC");
}

// Lines the reader reads are legal, whatever the writer of the day would write: a value
// ending in a backslash before a comment and a line with an empty key load, in a
// template and in the terminal naming it, and both are written back so that they read
// the same and the lines after them stay lines of their own.
TEST(ConfigLibrary, LegalOddLinesLoadAndSaveBack) {
  test::tempDir dir;
  test::logCapture log;
  const std::string templates = dir / "Templates/";
  test::writeFile(templates + "pub.zvc", "share=\\\\srv\\pub\\  # note\n=no key\nvideo=1\n");
  const std::string configPath = dir / "config.zvc";
  test::writeFile(configPath, "template pub\ndrive=C:\\#\nconnection\nserver=a\\ # x\nport=1\n");

  configLibraries libraries;
  libraries.loadTemplates(templates);
  ASSERT_EQ(namesOf(libraries.templates()), std::vector<std::string>{"pub"});
  templatePtr pub = libraries.templates()[0];
  const std::vector<configOption> expected = {
      {"share", u"\\\\srv\\pub\\"}, {"", u"no key"}, {"video", u"1"}};
  EXPECT_EQ(pub->entries(), expected);
  GUIConfigFile config(libraries);
  ASSERT_TRUE(config.load(configPath, nullptr));
  EXPECT_FALSE(test::exists(templates + "pub.zvc.broken"));
  EXPECT_FALSE(test::exists(configPath + ".broken"));
  EXPECT_FALSE(log.contains("INTERNAL ERROR"));

  ASSERT_TRUE(pub->save());
  ASSERT_TRUE(config.saveTerminalConfig(configPath));
  EXPECT_EQ(test::readFile(templates + "pub.zvc"),
            "\xFF\xFE" + test::utf16le(u"share=\\\\srv\\pub\\#\r\n=no key\r\nvideo=1\r\n"));
  ASSERT_TRUE(pub->load());
  EXPECT_EQ(pub->entries(), expected);
  GUIConfigFile reread(libraries);
  ASSERT_TRUE(reread.load(configPath, nullptr));
  EXPECT_EQ(reread.textLines(), config.textLines());
  EXPECT_EQ(reread.generalOptions().get("drive"), u"C:\\");
  EXPECT_EQ(reread.screens(monitor::first)[0].connections[0].options.entries(),
            (std::vector<configOption>{{"server", u"a\\"}, {"port", u"1"}}));
}

// Connections are sorted by display name without case; equal names keep load order.
TEST(ConfigLibrary, ConnectionsSortedByDisplayName) {
  test::tempDir dir;
  const std::string connections = dir / "Connections/";
  test::writeFile(connections + "a.zvc", "server=a\n");
  test::writeFile(connections + "b.zvc", "displayName=Z\n");
  test::writeFile(connections + "c.zvc", "displayName=\n");
  test::writeFile(connections + "z.zvc", "displayName=B\n");
  test::writeFile(connections + "d1.zvc", "displayName=same\n");
  test::writeFile(connections + "d2.zvc", "displayName=SAME\n");
  configLibraries libraries;
  libraries.loadConnections(connections);
  EXPECT_EQ(namesOf(libraries.connections()),
            (std::vector<std::string>{"a", "z", "c", "d1", "d2", "b"}));

  auto late = std::make_shared<GUIConnectionsFile>("late", connections);
  late->set("displayName", u"Same");
  libraries.insertConnection(late);
  EXPECT_EQ(namesOf(libraries.connections()),
            (std::vector<std::string>{"a", "z", "c", "d1", "d2", "late", "b"}));
}

// The display name of a library connection.
TEST(ConfigLibrary, DisplayName) {
  struct row {
    const char* name;
    const char16_t* displayName;  // null: not set
    const char16_t* shown;
  };
  const row rows[] = {
      {"rdp", u"Office RDP", u"Office RDP"}, {"rdp", u"", u"rdp"},     {"rdp", nullptr, u"rdp"},
      {"", nullptr, u"Connection"},          {"", u"", u"Connection"},
  };
  for (const row& r : rows) {
    GUIConnectionsFile entry(r.name, "/");
    if (r.displayName) entry.set("displayName", r.displayName);
    EXPECT_EQ(entry.displayName(), r.shown) << r.name;
  }
}

// Later templates go before the first greater name, whatever order the library has.
TEST(ConfigLibrary, InsertAndRemove) {
  configLibraries libraries;
  libraries.insertTemplate(std::make_shared<GUITemplatesFile>("b", "/"));
  libraries.insertTemplate(std::make_shared<GUITemplatesFile>("D", "/"));
  libraries.insertTemplate(std::make_shared<GUITemplatesFile>("a", "/"));
  libraries.insertTemplate(std::make_shared<GUITemplatesFile>("C", "/"));
  EXPECT_EQ(namesOf(libraries.templates()), (std::vector<std::string>{"a", "b", "C", "D"}));

  templatePtr c = libraries.findTemplate("c");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->name(), "C");
  EXPECT_TRUE(libraries.removeTemplate(c.get()));
  EXPECT_FALSE(libraries.removeTemplate(c.get()));
  EXPECT_EQ(libraries.findTemplate("C"), nullptr);
  EXPECT_EQ(libraries.findTemplate("ALL"), libraries.allTerminals());
  EXPECT_EQ(libraries.findTemplate("All"), libraries.allTerminals());
  EXPECT_EQ(libraries.findLibraryConnection("all"), nullptr);
}

// An entry writes FF FE and its options as 'key=value' CR LF, and loads back.
TEST(ConfigLibrary, SaveAndLoadEntry) {
  test::tempDir dir;
  GUITemplatesFile entry("office", dir.path());
  entry.set("video", u"vesa");
  entry.set("name", u"\u0416");
  ASSERT_TRUE(entry.save());
  EXPECT_EQ(test::readFile(dir / "office.zvc"),
            "\xFF\xFE" + test::utf16le(u"video=vesa\r\nname=\u0416\r\n"));
  GUITemplatesFile back("office", dir.path());
  back.set("stale", u"x");
  ASSERT_TRUE(back.load());
  EXPECT_EQ(static_cast<const optionList&>(back), static_cast<const optionList&>(entry));

  test::logCapture log;
  GUITemplatesFile nowhere("x", dir / "missing/");
  EXPECT_FALSE(nowhere.save());
  GUITemplatesFile noDirectory("x", "");
  EXPECT_FALSE(noDirectory.save());
}

// The all-terminals template: empty without its file, loaded from Everyone/all.zvc, the
// same object across reloads, emptied (and set aside) when its file is broken.
TEST(ConfigLibrary, AllTerminalsTemplate) {
  test::tempDir dir;
  test::logCapture log;
  const installationPaths paths = derivePaths(dir / "prog", dir / "data");
  configLibraries libraries;
  const GUITemplatesFile* before = libraries.allTerminals().get();
  libraries.load(paths);
  EXPECT_TRUE(libraries.allTerminals()->empty());
  EXPECT_FALSE(log.contains("ERROR"));

  test::writeFile(paths.everyoneDir + "all.zvc", "video=all\n");
  libraries.loadAllTerminals(paths.everyoneDir);
  EXPECT_EQ(libraries.allTerminals().get(), before);
  EXPECT_EQ(libraries.allTerminals()->get("video"), u"all");
  EXPECT_EQ(libraries.allTerminals()->filePath(), paths.everyoneDir + "all.zvc");

  test::writeFile(paths.everyoneDir + "all.zvc", "video=all\nx\xC3\xA9=1\n");
  libraries.loadAllTerminals(paths.everyoneDir);
  EXPECT_TRUE(libraries.allTerminals()->empty());
  EXPECT_TRUE(test::exists(paths.everyoneDir + "all.zvc.broken"));
}

// A long file name gives an entry name cut to 63 characters that still reads and writes
// its own file.
TEST(ConfigLibrary, LongNamesAreCut) {
  test::tempDir dir;
  const std::string longName(70, 'n');
  test::writeFile(dir / (longName + ".zvc"), "video=1\n");
  configLibraries libraries;
  libraries.loadTemplates(dir.path());
  ASSERT_EQ(libraries.templates().size(), 1u);
  EXPECT_EQ(libraries.templates()[0]->name(), std::string(63, 'n'));
  EXPECT_EQ(libraries.templates()[0]->get("video"), u"1");
  EXPECT_EQ(libraries.templates()[0]->filePath(), dir / (longName + ".zvc"));
}

// Names a new library file may have.
TEST(ConfigLibrary, ValidEntryName) {
  for (const std::string& name :
       std::vector<std::string>{"office", "a-b_c", "A1", std::string(63, 'x')})
    EXPECT_TRUE(validEntryName(name)) << name;
  for (const std::string& name : std::vector<std::string>{"", "../x", "a/b", "a#b", "a b", "a\\",
                                                          std::string(64, 'x'), "\xD0\x96", "a\tb"})
    EXPECT_FALSE(validEntryName(name)) << name;
}

}  // namespace
}  // namespace zv
