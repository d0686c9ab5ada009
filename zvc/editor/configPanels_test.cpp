#include "zvc/editor/configPanels.h"

#include "common/installPaths.h"
#include "htmlview/rows.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "platform/windowMessages.h"
#include "testsupport/optionSpecFixture.h"
#include "testsupport/testSupport.h"
#include "zvc/register/terminals.h"
#include "zvc/register/versions.h"
#include "zvc/ui/messageBox.h"

#include <gtest/gtest.h>

#include <deque>
#include <thread>

namespace zv {
namespace {

// The tab set of the main window as the frame builds it, and the version selector.
std::string frameHtml() {
  std::string html = "<div id=\"main_tabs\" class=\"tabs\"><div class=\"strip\">";
  for (const char* name : configPanelNames)
    html += std::string("<div panel=\"") + name + "\"" +
            (name == std::string_view("panel-templates") ? " selected" : "") + ">t</div>";
  html += "</div>";
  for (const char* name : configPanelNames)
    html += std::string("<div name=\"") + name + "\" id=\"" + name + "\"></div>";
  html +=
      "<select id=\"options_version\"><option value=\"6.2.63\">6.2.63</option>"
      "<option value=\"noversion\">Без версии</option></select></div>";
  return html;
}

std::string utf16File(std::u16string_view text) {
  return "\xFF\xFE" + test::utf16le(text);
}

// A terminal 00:1A:2B:3C:4D:5E in a temporary installation, the template "office" in
// the library, the panels over a frame, and message boxes answered from a script.
class ConfigPanels : public ::testing::Test {
 protected:
  void SetUp() override {
    setInstallationPaths(derivePaths(dir / "prog", dir / "data"));
    makeDirectories(paths().terminalsDir);
    makeDirectories(paths().templatesDir);
    auto office = std::make_shared<GUITemplatesFile>("office", paths().templatesDir);
    office->set("video", u"office");
    libraries.insertTemplate(office);
    doc.load("<html><body>" + frameHtml() + "</body></html>");
    configPanelsHooks hooks;
    hooks.selectTab = [this](std::string_view panel) {
      for (elementRef& tab : doc.selectAll("#main_tabs>.strip>[panel]")) {
        if (tab->attribute("panel") == panel) {
          tab->setAttribute("selected", "");
        } else {
          tab->removeAttribute("selected");
        }
      }
    };
    hooks.dhcpMarked = [this] { return dhcpMark; };
    hooks.saveDhcp = [this] {
      ++dhcpSaves;
      dhcpMark = !dhcpSaveWorks;
      return dhcpSaveWorks;
    };
    hooks.restoreDhcp = [this] { dhcpMark = false; };
    hooks.editOptions = [this](optionsEditorTarget& target, const versionSpec*,
                               const std::string&) { return editor && editor(target); };
    panels = std::make_unique<configPanels>(terminals, libraries, versions, std::move(hooks));
    panels->frameBuilt(doc);
    setMessageBoxHandler([this](const std::string& text, const std::string&, boxButtons, boxIcon) {
      boxes.push_back(text);
      if (answers.empty()) return boxAnswer::ok;
      boxAnswer a = answers.front();
      answers.pop_front();
      return a;
    });
  }
  void TearDown() override {
    setMessageBoxHandler(nullptr);
    resetInstallationPaths();
  }

  std::string terminalDir() { return paths().terminalsDir + "00.1A.2B.3C.4D.5E/"; }
  // Registers the terminal with these files in its directory and makes it current.
  terminal& select(const std::map<std::string, std::string>& files, uint32_t platform = 0) {
    for (const auto& [name, bytes] : files) test::writeFile(terminalDir() + name, bytes);
    terminal* t = terminals.loadTerminal(*parseMac("00:1A:2B:3C:4D:5E", ':'));
    EXPECT_NE(t, nullptr);
    t->platform = platform;
    t->spec = &test::optionSpec();
    panels->showTerminal(t);
    return *t;
  }
  std::vector<std::string> shownTabs() {
    std::vector<std::string> shown;
    for (elementRef& tab : doc.selectAll("#main_tabs>.strip>[panel]"))
      if (tab->isVisible()) shown.emplace_back(tab->attribute("panel").value_or(""));
    return shown;
  }
  std::string selectedTab() {
    elementRef tab = doc.selectFirst("#main_tabs>.strip>[selected]");
    return tab ? std::string(tab->attribute("panel").value_or("")) : std::string();
  }
  void typeText(std::u16string_view text) {
    doc.byId("textConfig")->setValue(toUtf8(text));
    panels->textEdited();
  }
  bool enabled(const char* id) { return !doc.byId(id)->hasState(stateDisabled); }
  void click(const char* id) {
    uiEvent e;
    e.source = doc.byId(id);
    panels->runCommand(id, e);
  }

  test::tempDir dir;
  configLibraries libraries;
  terminalRegister terminals{libraries};
  installedVersions versions;
  document doc;
  std::unique_ptr<configPanels> panels;
  std::function<bool(optionsEditorTarget&)> editor;
  std::vector<std::string> boxes;
  std::deque<boxAnswer> answers;
  bool dhcpMark = false;
  bool dhcpSaveWorks = true;
  int dhcpSaves = 0;
};

// The tabs a terminal gets from its configuration state and platform, and the tab that
// becomes current.
TEST_F(ConfigPanels, PanelSetFollowsTheConfigurationAndPlatform) {
  const std::string good = utf16File(u"timeout=5\r\nconnection \r\n");
  struct testCase {
    const char* what;
    std::map<std::string, std::string> files;
    uint32_t platform;
    std::vector<std::string> tabs;
    const char* selected;
  } cases[] = {
      {"none", {}, platformX86, {"panel-dhcp", "panel-logs", "panel-noConfig"}, "panel-noConfig"},
      {"configured PC",
       {{"config.zvc", good}},
       platformX86,
       {"panel-templates", "panel-video", "panel-workplace1", "panel-text", "panel-dhcp",
        "panel-logs"},
       "panel-templates"},
      {"configured Pi",
       {{"config.zvc", good}},
       platformPi64bit,
       {"panel-templates", "panel-workplace1", "panel-text", "panel-dhcp", "panel-logs"},
       "panel-templates"},
      {"broken",
       {{"config.zvc.broken", utf16File(u"# Unknown line\r\n\r\nrubbish\r\n")}},
       platformUefi,
       {"panel-text", "panel-dhcp", "panel-logs"},
       "panel-text"},
  };
  for (const testCase& c : cases) {
    SCOPED_TRACE(c.what);
    removeTree(terminalDir());
    if (terminal* old = terminals.findByMac(*parseMac("00:1A:2B:3C:4D:5E", ':')))
      terminals.remove(old);
    select(c.files, c.platform);
    EXPECT_EQ(shownTabs(), c.tabs);
    EXPECT_EQ(selectedTab(), c.selected);
  }
  // The broken text is what the panel shows, its reason first.
  EXPECT_EQ(doc.byId("textConfig")->value(), "# Unknown line\r\n\r\nrubbish\r\n");
}

// A broken configuration is corrected through the text: a text that does not load keeps
// the file and shows its reason; a good one is written and the broken copy goes.
TEST_F(ConfigPanels, TextPanelTestsSavesAndRemovesTheBrokenCopy) {
  terminal& t = select({{"config.zvc.broken", utf16File(u"# Template not found: x\r\n\r\n")}});
  typeText(u"template missing\r\nconnection \r\n");
  EXPECT_TRUE(enabled("save_textconfig"));
  EXPECT_FALSE(panels->saveTextConfig());
  ASSERT_FALSE(boxes.empty());
  EXPECT_NE(boxes.back().find("Конфигурационный файл некорректен"), std::string::npos);
  EXPECT_FALSE(test::exists(terminalDir() + "config.zvc"));
  EXPECT_EQ(doc.byId("textConfig")->value().rfind("# Template not found: missing", 0), 0u);

  typeText(u"timeout=7\r\ntemplate office\r\nconnection \r\n");
  EXPECT_TRUE(panels->saveTextConfig());
  EXPECT_EQ(test::readFile(terminalDir() + "config.zvc"),
            utf16File(u"timeout=7\r\ntemplate office\r\nconnection \r\n"));
  EXPECT_FALSE(test::exists(terminalDir() + "config.zvc.broken"));
  EXPECT_FALSE(panels->textChanged());
  EXPECT_EQ(selectedTab(), "panel-templates");
  EXPECT_EQ(toUtf8(*t.config.generalOptions().find("timeout")), "7");
  // The options in effect show where each comes from.
  std::string options = doc.byId("terminals_templates_options")->text();
  EXPECT_NE(options.find("timeout=7/Конфигурация терминала/"), std::string::npos) << options;
  EXPECT_NE(options.find("video=office/Шаблон office/"), std::string::npos) << options;
}

// Before a write the file on disk is compared with the time it was read: a change by
// another program is only overwritten on Yes.
TEST_F(ConfigPanels, ChangedOutsideAsksBeforeOverwriting) {
  const std::string original = utf16File(u"timeout=5\r\nconnection \r\n");
  terminal& t = select({{"config.zvc", original}});
  t.config.generalOptions().set("timeout", u"9");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const std::string foreign = utf16File(u"timeout=1\r\nconnection \r\n");
  test::writeFile(terminalDir() + "config.zvc", foreign);
  answers = {boxAnswer::no};
  EXPECT_FALSE(panels->saveTerminalConfig());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0],
            "Конфигурационный файл терминала 00:1A:2B:3C:4D:5E был изменен извне. Сохранить все "
            "равно?");
  EXPECT_EQ(test::readFile(terminalDir() + "config.zvc"), foreign);
  answers = {boxAnswer::yes};
  EXPECT_TRUE(panels->saveTerminalConfig());
  EXPECT_NE(test::readFile(terminalDir() + "config.zvc"), foreign);
  EXPECT_FALSE(panels->configChanged());
}

// The leave check with an edited text: Cancel keeps the edits, No returns to the restore
// point, Yes saves them.
TEST_F(ConfigPanels, LeaveCheckSavesDropsOrKeeps) {
  const std::string original = utf16File(u"timeout=5\r\nconnection \r\n");
  select({{"config.zvc", original}});
  EXPECT_TRUE(panels->confirmLeaveTerminal());
  EXPECT_TRUE(boxes.empty());

  typeText(u"timeout=6\r\nconnection \r\n");
  answers = {boxAnswer::cancel};
  EXPECT_FALSE(panels->confirmLeaveTerminal());
  EXPECT_EQ(boxes.back(),
            "Конфигурационный файл терминала 00:1A:2B:3C:4D:5E изменен. Сохранить (YES) или "
            "отменить (NO) сделанные изменения?");
  EXPECT_TRUE(panels->textChanged());

  answers = {boxAnswer::no};
  EXPECT_TRUE(panels->confirmLeaveTerminal());
  EXPECT_FALSE(panels->textChanged());
  EXPECT_EQ(doc.byId("textConfig")->value(), "timeout=5\r\nconnection \r\n");
  EXPECT_EQ(test::readFile(terminalDir() + "config.zvc"), original);

  typeText(u"timeout=8\r\nconnection \r\n");
  answers = {boxAnswer::yes};
  EXPECT_TRUE(panels->confirmLeaveTerminal());
  EXPECT_EQ(test::readFile(terminalDir() + "config.zvc"),
            utf16File(u"timeout=8\r\nconnection \r\n"));

  // Unsaved DHCP edits: a failed DHCP save keeps the terminal; No drops them without
  // rewriting the configuration.
  dhcpMark = true;
  dhcpSaveWorks = false;
  answers = {boxAnswer::yes};
  EXPECT_FALSE(panels->confirmLeaveTerminal());
  EXPECT_EQ(dhcpSaves, 1);
  auto written = modificationTime(terminalDir() + "config.zvc");
  answers = {boxAnswer::no};
  EXPECT_TRUE(panels->confirmLeaveTerminal());
  EXPECT_FALSE(dhcpMark);
  EXPECT_EQ(modificationTime(terminalDir() + "config.zvc"), written);

  // Selecting another tab with the text edited asks the same; Cancel goes back.
  typeText(u"timeout=9\r\nconnection \r\n");
  answers = {boxAnswer::cancel};
  doc.selectFirst("#main_tabs>.strip>[panel=panel-templates]")->setAttribute("selected", "");
  panels->selectPanel(*doc.selectFirst("#main_tabs>.strip>[panel=panel-templates]"));
  EXPECT_EQ(selectedTab(), "panel-text");
}

// "create_config" writes the empty configuration: one screen, one unnamed connection.
TEST_F(ConfigPanels, CreateConfigWritesAnEmptyConfiguration) {
  select({{"ip", "10.0.0.5"}});
  EXPECT_EQ(selectedTab(), "panel-noConfig");
  EXPECT_EQ(doc.byId("mac1")->text(), "00:1A:2B:3C:4D:5E");
  click("create_config");
  EXPECT_EQ(test::readFile(terminalDir() + "config.zvc"), utf16File(u"connection \r\n"));
  EXPECT_EQ(selectedTab(), "panel-templates");
}

// The terminal's templates: added from the library menu and by a drop, moved within the
// list, dropped into the trash; the configuration flag is set and a save writes them.
TEST_F(ConfigPanels, TemplatesListEditsTheTerminalsTemplates) {
  auto kiosk = std::make_shared<GUITemplatesFile>("kiosk", paths().templatesDir);
  libraries.insertTemplate(kiosk);
  terminal& t = select({{"config.zvc", utf16File(u"connection \r\n")}});
  uiEvent menu;
  menu.source = doc.selectFirst("#add_template2terminal [file=office]");
  ASSERT_TRUE(menu.source);
  panels->runCommand("menuTmplt", menu);
  EXPECT_TRUE(panels->configChanged());
  EXPECT_TRUE(enabled("save_config"));

  uiEvent drop;
  drop.kind = eventKind::drop;
  drop.target = doc.byId("templates_list");
  drop.source = doc.selectFirst("#templates [file=kiosk]");
  drop.index = 0;
  ASSERT_TRUE(panels->mouse(drop));
  EXPECT_EQ(t.config.templateNames(), (std::vector<std::string>{"kiosk", "office"}));

  drop.source = doc.selectFirst("#templates_list [file=kiosk]");
  drop.index = 1;
  ASSERT_TRUE(panels->mouse(drop));
  EXPECT_EQ(t.config.templateNames(), (std::vector<std::string>{"office", "kiosk"}));

  drop.target = doc.byId("trash");
  drop.source = doc.selectFirst("#templates_list [file=office]");
  ASSERT_TRUE(panels->mouse(drop));
  EXPECT_EQ(t.config.templateNames(), (std::vector<std::string>{"kiosk"}));

  click("save_config");
  EXPECT_EQ(test::readFile(terminalDir() + "config.zvc"),
            utf16File(u"template kiosk\r\nconnection \r\n"));
  EXPECT_FALSE(panels->configChanged());
}

}  // namespace
}  // namespace zv
