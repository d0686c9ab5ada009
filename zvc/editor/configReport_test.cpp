#include "zvc/editor/configReport.h"

#include "testsupport/optionSpecFixture.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

std::string sources(const std::vector<effectiveEntry>& entries) {
  std::string out;
  for (const effectiveEntry& e : entries)
    out += e.key + ":" + std::to_string(int(e.effective.source)) + e.effective.from + " ";
  return out;
}

// With a specification every key of a scope is listed in its order with its source;
// without one, the keys the sources hold in order of first appearance.
TEST(ConfigReport, EffectiveValuesAndSources) {
  test::tempDir dir;
  configLibraries libraries;
  libraries.allTerminals()->set("timeout", u"1");
  auto office = std::make_shared<GUITemplatesFile>("office", dir.path());
  office->set("video", u"office");
  libraries.insertTemplate(office);
  auto rdp = std::make_shared<GUIConnectionsFile>("rdp", dir.path());
  rdp->set("server", u"lib");
  rdp->set("displayName", u"Office");
  libraries.insertConnection(rdp);

  test::writeFile(dir / "config.zvc",
                  "keyboard=us\ntemplate office\nconnection rdp\nautostart_delay=5\n"
                  "M2_next screen hidden\nconnection\n");
  GUIConfigFile config(libraries);
  ASSERT_TRUE(config.load(dir / "config.zvc", &test::optionSpec()));

  configReport report = describeConfiguration(config, &test::optionSpec());
  EXPECT_EQ(report.templates, std::vector<std::string>{"office"});
  EXPECT_EQ(report.general, (std::vector<configOption>{{"keyboard", u"us"}}));
  EXPECT_EQ(sources(report.effective), "video:2office timeout:1 Resolution:0 keyboard:5 ");
  ASSERT_EQ(report.screens.size(), 2u);
  const connectionReport& first = report.screens[0].connections[0];
  EXPECT_EQ(first.name, "rdp");
  EXPECT_TRUE(first.linked);
  EXPECT_EQ(first.displayName, u"Office");
  EXPECT_EQ(sources(first.effective),
            "server:3rdp autostart_delay:4rdp displayName:3rdp keyboard:5 ");
  EXPECT_EQ(report.screens[1].which, monitor::second);
  EXPECT_TRUE(report.screens[1].hidden);
  EXPECT_EQ(report.screens[1].connections[0].displayName, u"Connection");

  configReport free = describeConfiguration(config, nullptr);
  EXPECT_EQ(sources(free.effective), "timeout:1 video:2office keyboard:5 ");
}

// What a connection on a screen is called.
TEST(ConfigReport, ConnectionDisplayName) {
  auto library = std::make_shared<GUIConnectionsFile>("lib", "/");
  library->set("displayName", u"Library");
  configConnection own{"lib", library, optionList(ZV_SECTION_CONNECTION)};
  own.options.set("displayName", u"Own");
  configConnection linked{"lib", library, optionList(ZV_SECTION_CONNECTION)};
  configConnection named{"name", nullptr, optionList(ZV_SECTION_CONNECTION)};
  configConnection bare;
  EXPECT_EQ(connectionDisplayName(own), u"Own");
  EXPECT_EQ(connectionDisplayName(linked), u"Library");
  EXPECT_EQ(connectionDisplayName(named), u"name");
  EXPECT_EQ(connectionDisplayName(bare), u"Connection");
}

}  // namespace
}  // namespace zv
