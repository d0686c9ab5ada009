#include "common/GUIConfigFile.h"

#include "platform/textConv.h"
#include "testsupport/optionSpecFixture.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>
#include <filesystem>

namespace zv {
namespace {

// Libraries for the tests: the all-terminals template, templates "office" and "kiosk",
// library connections "rdp1" and "rdp2".
class GUIConfig : public ::testing::Test {
 protected:
  GUIConfig() {
    libraries.allTerminals()->set("video", u"all");
    libraries.allTerminals()->set("timeout", u"1");
    office->set("video", u"office");
    office->set("keyboard", u"de");
    kiosk->set("video", u"kiosk");
    libraries.insertTemplate(office);
    libraries.insertTemplate(kiosk);
    rdp1->set("server", u"lib");
    rdp1->set("keyboard", u"fr");
    libraries.insertConnection(rdp1);
    libraries.insertConnection(rdp2);
  }

  bool load(GUIConfigFile& config, std::string_view text,
            const versionSpec* spec = &test::optionSpec()) {
    test::writeFile(path, text);
    return config.load(path, spec);
  }

  test::tempDir dir;
  test::logCapture log;
  std::string path = dir / "config.zvc";
  configLibraries libraries;
  templatePtr office = std::make_shared<GUITemplatesFile>("office", dir.path());
  templatePtr kiosk = std::make_shared<GUITemplatesFile>("kiosk", dir.path());
  connectionPtr rdp1 = std::make_shared<GUIConnectionsFile>("rdp1", dir.path());
  connectionPtr rdp2 = std::make_shared<GUIConnectionsFile>("rdp2", dir.path());
};

// Loading links every template ("ALL" is the all-terminals template) and every named
// connection without regard to case; saving writes the names the links carry.
TEST_F(GUIConfig, LoadResolvesAndSaveUsesLinkNames) {
  GUIConfigFile config(libraries);
  ASSERT_TRUE(load(config,
                   "template OFFICE\ntemplate ALL\nconnection RDP1\nconnection\n"
                   "M2_next screen\nconnection rdp2\n"));
  ASSERT_EQ(config.templateLinks().size(), 2u);
  EXPECT_EQ(config.templateLinks()[0], office);
  EXPECT_EQ(config.templateLinks()[1], libraries.allTerminals());
  EXPECT_EQ(config.screens(monitor::first)[0].connections[0].link, rdp1);
  EXPECT_EQ(config.screens(monitor::first)[0].connections[1].link, nullptr);
  EXPECT_EQ(config.screens(monitor::second)[0].connections[0].link, rdp2);
  EXPECT_FALSE(config.isEmpty());

  ASSERT_TRUE(config.saveTerminalConfig(path));
  EXPECT_EQ(test::readFile(path),
            "\xFF\xFE" + test::utf16le(u"template office\r\ntemplate all\r\n"
                                       u"connection rdp1\r\nconnection \r\n"
                                       u"M2_next screen\r\nconnection rdp2\r\n"));

  // A reload starts from a new configuration instead of adding to the old one.
  ASSERT_TRUE(config.load(path, &test::optionSpec()));
  EXPECT_EQ(config.templateNames().size(), 2u);
  EXPECT_EQ(config.screens(monitor::first)[0].connections.size(), 2u);
}

// A name the libraries do not hold fails the load and sets the file aside with the reason
// at its head; read() reports the same without touching the file.
TEST_F(GUIConfig, MissingLibraryEntries) {
  struct row {
    const char* text;
    const char* reason;
  };
  const row rows[] = {
      {"template office\ntemplate gone\ntemplate other\n", "Template not found: gone"},
      {"connection rdp1\nM2_next screen\nconnection lost\n", "Connection not found: lost"},
      {"template office\nnext screen\nconnection nowhere\n", "Connection not found: nowhere"},
  };
  for (const row& r : rows) {
    GUIConfigFile config(libraries);
    test::writeFile(path, r.text);
    std::u16string failure;
    EXPECT_FALSE(config.read(path, &test::optionSpec(), failure)) << r.text;
    EXPECT_EQ(toUtf8(failure), r.reason);
    EXPECT_TRUE(test::exists(path));

    EXPECT_FALSE(config.load(path, &test::optionSpec())) << r.text;
    EXPECT_FALSE(test::exists(path));
    EXPECT_EQ(test::readFile(path + ".broken"), "# " + std::string(r.reason) + "\r\n\r\n" + r.text);
    std::filesystem::remove(path + ".broken");
  }
  GUIConfigFile config(libraries);
  std::u16string failure;
  EXPECT_FALSE(config.read(dir / "absent.zvc", nullptr, failure));
  EXPECT_EQ(failure, u"Failed to open file.");
}

// A file of options alone: general options and one visible screen with one empty
// connection.
TEST_F(GUIConfig, OptionsOnly) {
  GUIConfigFile config(libraries);
  ASSERT_TRUE(load(config, "video=vesa\n"));
  ASSERT_EQ(config.screens(monitor::first).size(), 1u);
  EXPECT_FALSE(config.screens(monitor::first)[0].hidden);
  ASSERT_EQ(config.screens(monitor::first)[0].connections.size(), 1u);
  EXPECT_TRUE(config.screenIsEmpty(0, monitor::first));
  EXPECT_TRUE(config.screens(monitor::second).empty());
}

// The general value in effect and its source: own options, the later template before the
// earlier, the all-terminals template, the specification's default.
TEST_F(GUIConfig, EffectiveValue) {
  GUIConfigFile config(libraries);
  ASSERT_TRUE(load(config, "template office\ntemplate kiosk\nResolution=800x600\n"));
  struct row {
    const char* key;
    bool withSpec;
    const char16_t* value;
    valueSource source;
    const char* from;
  };
  const row rows[] = {
      {"resolution", true, u"800x600", valueSource::ownGeneral, ""},
      {"video", true, u"kiosk", valueSource::terminalTemplate, "kiosk"},
      {"KEYBOARD", true, u"de", valueSource::terminalTemplate, "office"},
      {"timeout", true, u"1", valueSource::allTerminals, ""},
      {"server", true, u"", valueSource::specDefault, ""},
      {"timeout", false, u"1", valueSource::allTerminals, ""},
      {"nothing", false, u"", valueSource::specDefault, ""},
  };
  for (const row& r : rows) {
    effectiveOption found =
        config.effectiveValue(r.key, r.withSpec ? &test::optionSpec() : nullptr);
    EXPECT_EQ(found.value, r.value) << r.key;
    EXPECT_EQ(found.source, r.source) << r.key;
    EXPECT_EQ(found.from, r.from) << r.key;
  }
  ASSERT_TRUE(config.removeTemplateName("KIOSK"));
  EXPECT_EQ(config.effectiveValue("video", nullptr).value, u"office");

  // A key the specification does not know and no source holds is an internal error.
  log.clear();
  EXPECT_EQ(config.effectiveValue("unknown", &test::optionSpec()).value, u"");
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
}

// The value in effect for a connection: own options, library connection, then general.
TEST_F(GUIConfig, EffectiveConnectionValue) {
  GUIConfigFile config(libraries);
  ASSERT_TRUE(load(config,
                   "template office\nconnection rdp1\nserver=own\nconnection rdp1\n"
                   "connection\nserver=bare\n"));
  struct row {
    const char* key;
    int screen;
    int connection;
    const char16_t* value;
    valueSource source;
    const char* from;
  };
  const row rows[] = {
      {"server", 0, 0, u"own", valueSource::ownConnection, "rdp1"},
      {"server", 0, 1, u"lib", valueSource::libraryConnection, "rdp1"},
      {"keyboard", 0, 1, u"fr", valueSource::libraryConnection, "rdp1"},
      {"server", 0, 2, u"bare", valueSource::ownConnection, ""},
      {"keyboard", 0, 2, u"de", valueSource::terminalTemplate, "office"},
      {"video", 0, 0, u"office", valueSource::terminalTemplate, "office"},
      {"server", -1, 0, u"", valueSource::specDefault, ""},
      {"keyboard", 0, -1, u"de", valueSource::terminalTemplate, "office"},
      {"server", 1, 0, u"", valueSource::none, ""},
      {"server", 0, 3, u"", valueSource::none, ""},
  };
  for (const row& r : rows) {
    effectiveOption found = config.effectiveConnectionValue(r.key, r.screen, r.connection,
                                                            monitor::first, &test::optionSpec());
    EXPECT_EQ(found.value, r.value) << r.key << r.screen << r.connection;
    EXPECT_EQ(found.source, r.source) << r.key << r.screen << r.connection;
    EXPECT_EQ(found.from, r.from) << r.key << r.screen << r.connection;
  }
  EXPECT_EQ(config.effectiveConnectionValue("server", 0, 0, monitor::second, nullptr).source,
            valueSource::none);
}

// Flattening merges the all-terminals template, the templates in order and the own
// options (later wins, first place kept), and each library connection under its
// connection's own options.
TEST_F(GUIConfig, FlattenTemplates) {
  GUIConfigFile config(libraries);
  ASSERT_TRUE(load(config,
                   "keyboard=us\ntemplate kiosk\ntemplate office\nconnection rdp1\nserver=own\n"
                   "extra=1\nconnection\n"));
  ASSERT_TRUE(config.flattenTemplates());
  EXPECT_TRUE(config.templateNames().empty());
  EXPECT_TRUE(config.templateLinks().empty());
  EXPECT_EQ(
      config.generalOptions().entries(),
      (std::vector<configOption>{{"video", u"office"}, {"timeout", u"1"}, {"keyboard", u"us"}}));
  const auto& connections = config.screens(monitor::first)[0].connections;
  EXPECT_EQ(connections[0].name, "rdp1");
  EXPECT_EQ(connections[0].options.entries(),
            (std::vector<configOption>{{"server", u"own"}, {"keyboard", u"fr"}, {"extra", u"1"}}));
  EXPECT_TRUE(connections[1].options.empty());

  // A template that has left the library: nothing changes.
  GUIConfigFile other(libraries);
  ASSERT_TRUE(load(other, "template kiosk\nvideo=own\n"));
  libraries.removeTemplate(kiosk.get());
  EXPECT_FALSE(other.flattenTemplates());
  EXPECT_EQ(other.templateNames(), std::vector<std::string>{"kiosk"});
  EXPECT_EQ(other.generalOptions().size(), 1u);
}

// validateConfiguration finds failing general options, templates and connections, with
// each connection's place.
TEST_F(GUIConfig, ValidateConfiguration) {
  rdp2->set("server", u"bad");
  kiosk->set("unknownInTemplate", u"1");
  GUIConfigFile config(libraries);
  ASSERT_TRUE(load(config,
                   "template office\ntemplate kiosk\ntimeout=soon\nconnection rdp1\n"
                   "M2_next screen\nconnection rdp1\nconnection rdp2\nautostart_delay=x\n",
                   nullptr));
  configurationProblems problems;
  EXPECT_FALSE(validateConfiguration(config, &test::optionSpec(), problems));
  EXPECT_EQ(problems.general.invalid, (std::vector<configOption>{{"timeout", u"soon"}}));
  ASSERT_EQ(problems.templates.size(), 1u);
  EXPECT_EQ(problems.templates[0], kiosk);
  ASSERT_EQ(problems.connections.size(), 1u);
  EXPECT_EQ(problems.connections[0].which, monitor::second);
  EXPECT_EQ(problems.connections[0].screen, 0);
  EXPECT_EQ(problems.connections[0].connection, 1);
  EXPECT_TRUE(problems.connections[0].libraryConnectionFails);
  EXPECT_EQ(problems.connections[0].corrective.invalid,
            (std::vector<configOption>{{"autostart_delay", u"x"}}));

  EXPECT_TRUE(validateConfiguration(config, nullptr, problems));
  EXPECT_TRUE(problems.empty());
}

// Removing a template name drops every occurrence; detaching a connection keeps its place
// and options.
TEST_F(GUIConfig, RemoveTemplateAndDetachConnection) {
  GUIConfigFile config(libraries);
  ASSERT_TRUE(load(config,
                   "template office\ntemplate kiosk\ntemplate Office\nconnection rdp1\n"
                   "server=own\nM2_next screen\nconnection RDP1\n"));
  EXPECT_TRUE(config.namesTemplate("OFFICE"));
  EXPECT_TRUE(config.removeTemplateName("office"));
  EXPECT_EQ(config.templateNames(), std::vector<std::string>{"kiosk"});
  EXPECT_EQ(config.templateLinks().size(), 1u);
  EXPECT_FALSE(config.removeTemplateName("office"));

  EXPECT_TRUE(config.namesConnection("rdp1"));
  EXPECT_TRUE(config.detachConnections("rdp1"));
  EXPECT_FALSE(config.namesConnection("rdp1"));
  const configConnection& first = config.screens(monitor::first)[0].connections[0];
  EXPECT_EQ(first.name, "");
  EXPECT_EQ(first.link, nullptr);
  EXPECT_EQ(first.options.get("server"), u"own");
  EXPECT_EQ(config.screens(monitor::second)[0].connections[0].link, nullptr);
}

// A linked template keeps a configuration from being empty; a copy is independent.
TEST_F(GUIConfig, EmptinessAndCopy) {
  GUIConfigFile config(libraries);
  EXPECT_TRUE(config.isEmpty());
  EXPECT_EQ(config.setTemplateNames({"kiosk", "missing"}), u"Template not found: missing");
  EXPECT_EQ(config.setTemplateNames({"kiosk"}), u"");
  EXPECT_FALSE(config.isEmpty());

  GUIConfigFile copy(libraries);
  copy = config;
  copy.generalOptions().set("video", u"copy");
  EXPECT_EQ(copy.templateLinks(), config.templateLinks());
  EXPECT_TRUE(config.generalOptions().empty());
}

}  // namespace
}  // namespace zv
