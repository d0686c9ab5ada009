#include "zvc/shell/mainWindow.h"

#include "common/installPaths.h"
#include "htmlview/recordingHost.h"
#include "platform/files.h"
#include "platform/windowMessages.h"
#include "testsupport/testSupport.h"
#include "zvc/register/versions.h"
#include "zvc/ui/messageBox.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

const std::string skinDir = ZV_SKIN_SOURCE_DIR;

// The skeleton inlines the skin's sheets in their order; a missing one is left out.
TEST(MainFrame, SkeletonTakesTheSheetsInOrder) {
  test::tempDir dir;
  std::string skin = dir.path();
  test::writeFile(skin + "common-body.css", "/* first */ body{}");
  test::writeFile(skin + "terminals_list_new.css", "/* last */\n");
  test::writeFile(skin + "main-tabs.css", "/* tabs */\n");
  std::string html = mainDocumentHtml(skin);
  ASSERT_TRUE(html.starts_with("<html>\n<head>\n<style>\n@font-face"));
  EXPECT_TRUE(
      html.ends_with("/* last */\n</style>\n<menu></menu>\n</head>\n<body>\n</body>\n</html>\n"));
  std::size_t first = html.find("/* first */ body{}\n");
  std::size_t tabs = html.find("/* tabs */");
  ASSERT_NE(first, std::string::npos);
  EXPECT_LT(first, tabs);
  EXPECT_LT(html.find("fontello.ttf"), first);  // the font faces come first
  EXPECT_NE(html.find("\"Source Code Pro Bold 4 Zelvar\"; src: url(SourceCodePro-Bold.ttf)"),
            std::string::npos);

  document doc;
  doc.load(html);
  ASSERT_TRUE(addEditMenus(doc));
  auto items = doc.root().selectAll("#input-edit > li");
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(*items[0]->attribute("command"), "behavior:edit:undo");
  EXPECT_EQ(items[4]->text(), "Выделить всеCtrl+A");
  auto rich = doc.root().selectAll("#text-edit > li");
  ASSERT_EQ(rich.size(), 5u);
  EXPECT_EQ(*rich[2]->attribute("command"), "richtext:copy");
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    paths = derivePaths(dir / "prog", dir / "data");
    ASSERT_TRUE(makeDirectories(paths.binDir));
    ASSERT_TRUE(makeDirectories(paths.tftpRoot));
    setMessageBoxHandler(
        [this](const std::string& text, const std::string& caption, boxButtons, boxIcon) {
          boxes.push_back(caption + ": " + text);
          return boxAnswer::ok;
        });
  }
  void TearDown() override { setMessageBoxHandler(nullptr); }

  void bootFiles(const std::string& name, bool pc, bool pi) {
    std::string root = paths.tftpRoot + name + "/";
    ASSERT_TRUE(makeDirectories(root));
    if (pc) {
      test::writeFile(root + "zelvar.pxe", "pxe");
      ASSERT_TRUE(makeDirectories(root + "packages"));
    }
    if (pi) {
      ASSERT_TRUE(makeDirectories(root + "pi2"));
    }
  }

  // Opens the main window the way the console does.
  void open() {
    versions.scanVersions(paths);
    main = std::make_unique<mainWindow>(windows, loop, versions, skinDir, hooks);
    windowSpec spec;
    spec.title = "Zelvar Center";
    window = windows.openWindow(spec, main->buildDocument());
    ASSERT_NE(window, 0u);
    main->attach(window);
    browser.attach();
    loop.pump();
  }
  std::string ids(std::string_view selector) {
    std::string out;
    for (const recordingHost::node* n : browser.select(window, selector)) {
      if (!out.empty()) out += ' ';
      const std::string* id = n->attribute("id");
      out += id ? *id : "?";
    }
    return out;
  }
  void send(unsigned id, messagePayload payload = {}) { loop.send(window, id, std::move(payload)); }

  test::tempDir dir;
  installationPaths paths;
  installedVersions versions{[](const std::string&) { return nullptr; },
                             [](const std::string&, const std::string&) {}};
  std::vector<std::string> boxes;
  test::logCapture log;
  fakeClock clock;
  eventLoop loop{clock};
  windowHost windows{loop};
  recordingHost browser{windows};
  test::loopWatchdog guard{loop};
  mainWindowHooks hooks;
  std::unique_ptr<mainWindow> main;
  windowId window = 0;
};

// The boot media buttons follow the kinds of the installed versions; the current mode's
// button is marked, and the tabs behaviour (from the skin's sheets) opens the first panel.
TEST_F(MainWindowTest, FrameFollowsVersionsAndMode) {
  bootFiles("6.2.63", true, false);
  bootFiles("6.3.1", true, false);
  open();
  EXPECT_EQ(ids(".modebuttons > button"), "terminals tools BOOT_USB");
  EXPECT_EQ(ids(".currentmode"), "terminals");
  EXPECT_EQ(*browser.first(window, "#tools > img")->attribute("titleid"), "tools-details");
  EXPECT_EQ(ids("#main_tabs > [name]"),
            "panel-noConfig panel-templates panel-video panel-workplace1 panel-workplace2 "
            "panel-text panel-dhcp panel-logs");
  EXPECT_TRUE(browser.first(window, "#panel-templates")->hasState(stateExpanded));
  EXPECT_EQ(*browser.first(window, "[panel=panel-workplace2]")->attribute("style"), "display:none");
  EXPECT_NE(browser.first(window, "select#options_version"), nullptr);
  EXPECT_EQ(ids("#list_context li[id]"),
            "webinterface terminal_zvrc terminal_reboot mac_copy terminal_new terminal_find "
            "terminal_copyto terminal_remove terminal_hide DHCPignores DHCPlistens");

  ASSERT_TRUE(browser.click(window, "#tools"));
  loop.pump();
  EXPECT_EQ(main->mode(), consoleMode::tools);
  EXPECT_EQ(ids(".currentmode"), "tools");
  EXPECT_NE(browser.first(window, "#utility_widget"), nullptr);
  EXPECT_NE(browser.first(window, "#utility_fill"), nullptr);
  EXPECT_EQ(browser.first(window, "#main_tabs"), nullptr);

  ASSERT_TRUE(browser.click(window, "#terminals"));
  loop.pump();
  EXPECT_EQ(main->mode(), consoleMode::terminals);
  EXPECT_NE(browser.first(window, "#terminals_widget"), nullptr);
}

// Only Raspberry Pi files: the Pi button alone.
TEST_F(MainWindowTest, PiOnlyVersionsShowThePiButton) {
  bootFiles("6.2.7", false, true);
  open();
  EXPECT_EQ(ids(".modebuttons > button"), "terminals tools BOOT_pi");
}

// Leaving the terminals mode asks the leave check; a refusal keeps the mode.
TEST_F(MainWindowTest, ToolsModeNeedsTheLeaveCheck) {
  bool mayLeave = false;
  int asked = 0;
  hooks.mayLeaveTerminal = [&] {
    ++asked;
    return mayLeave;
  };
  open();
  std::vector<std::string> pages;
  main->on(eventKind::activateChild, "dhcp_ranges", [&](uiEvent&) { pages.push_back("ranges"); });
  ASSERT_TRUE(browser.click(window, "#tools"));
  loop.pump();
  EXPECT_EQ(main->mode(), consoleMode::terminals);
  EXPECT_TRUE(main->runCommand("dhcp_ranges"));
  EXPECT_EQ(main->mode(), consoleMode::terminals);
  EXPECT_TRUE(pages.empty());
  mayLeave = true;
  EXPECT_TRUE(main->runCommand("dhcp_ranges"));
  EXPECT_EQ(main->mode(), consoleMode::tools);
  EXPECT_EQ(pages, std::vector<std::string>{"ranges"});
  EXPECT_EQ(asked, 3);
  EXPECT_FALSE(main->runCommand("no_such_command"));
}

// Button and menu clicks go by id; Ctrl+S and Ctrl+Z stand for save and restore; Enter
// and double clicks find the nearest element with a handler; popups by their id.
TEST_F(MainWindowTest, DispatchesByIdAndKey) {
  open();
  std::vector<std::string> trail;
  auto note = [&](std::string what) { return [&trail, what](uiEvent&) { trail.push_back(what); }; };
  main->onCommand("add_terminal", note("add"));
  main->onCommand("save_config", note("save"));
  main->onCommand("restore_config", note("restore"));
  main->onCommand("mac_copy", note("copy mac"));
  main->on(eventKind::key, "panel-dhcp", note("edit dhcp"));
  main->on(eventKind::dblclick, "panel-text", note("open"));
  main->on(eventKind::popupDismissed, "menu_terminals", note("apply columns"));
  main->on(eventKind::elementExpanded, "main_tabs", note("switch panels"));

  ASSERT_TRUE(browser.click(window, "#add_terminal"));
  ASSERT_TRUE(browser.click(window, "#find_terminal"));  // known, nothing set: nothing
  ASSERT_TRUE(browser.key(window, "", "s", {true, false, false}));
  ASSERT_TRUE(browser.key(window, "", "Z", {true, true, false}));
  ASSERT_TRUE(browser.key(window, "", "s", {false, false, false}));
  windows.doc(window)->byId("panel-dhcp")->setInnerHtml("<input id=deep>");
  loop.pump();
  ASSERT_TRUE(browser.key(window, "#deep", "Enter"));
  ASSERT_TRUE(browser.dblclick(window, "#panel-text"));
  ASSERT_TRUE(browser.click(window, "#menu_terminals"));
  ASSERT_TRUE(browser.click(window, "#menu_terminals"));
  ASSERT_TRUE(browser.click(window, "[panel=panel-dhcp]"));
  loop.pump();
  ASSERT_TRUE(browser.contextMenu(window, "#terminals_widget"));
  loop.pump();
  EXPECT_TRUE(browser.first(window, "#list_context")->hasState(statePopup));
  ASSERT_TRUE(browser.menuItem(window, "#mac_copy"));
  loop.pump();
  EXPECT_EQ(trail, (std::vector<std::string>{"add", "save", "restore", "edit dhcp", "open",
                                             "apply columns", "switch panels", "copy mac"}));
  EXPECT_FALSE(browser.first(window, "#list_context")->hasState(statePopup));
}

// The version caption follows the session's terminal and is written only on a change.
TEST_F(MainWindowTest, VersionCaptionTimer) {
  std::optional<sessionTerminal> session;
  int asked = 0;
  hooks.session = [&] {
    ++asked;
    return session;
  };
  open();
  EXPECT_EQ(browser.text(window, "#ver_caption"), "");
  session = sessionTerminal{"6.2.63", *parseMac("00:1a:2b:3c:4d:5e", ':')};
  clock.advance(versionCaptionTimer.period);
  loop.pump();
  EXPECT_EQ(browser.text(window, "#ver_caption"), "Zelvar v.6.2.63 on 00.1A.2B.3C.4D.5E");
  windows.doc(window)->byId("ver_caption")->setText("touched");
  clock.advance(versionCaptionTimer.period);
  loop.pump();
  EXPECT_EQ(browser.text(window, "#ver_caption"), "touched");  // unchanged session
  session.reset();
  clock.advance(versionCaptionTimer.period);
  loop.pump();
  EXPECT_EQ(browser.text(window, "#ver_caption"), "");
  EXPECT_EQ(asked, 4);
}

// The online and last-seen timers act only in terminals mode with their settings on.
TEST_F(MainWindowTest, ListTimersFollowModeAndSettings) {
  bool online = false, lastSeen = true;
  int ticks = 0, refreshes = 0;
  hooks.onlineMarking = [&] { return online; };
  hooks.lastSeenShown = [&] { return lastSeen; };
  hooks.onlineTick = [&] { ++ticks; };
  hooks.refreshLastSeen = [&] { ++refreshes; };
  open();
  clock.advance(onlineTimer.period);
  loop.pump();
  EXPECT_EQ(ticks, 0);
  online = true;
  clock.advance(onlineTimer.period);
  loop.pump();
  EXPECT_EQ(ticks, 1);
  clock.advance(lastSeenTimer.period);
  loop.pump();
  EXPECT_EQ(refreshes, 1);
  main->setMode(consoleMode::tools);
  clock.advance(lastSeenTimer.period);
  loop.pump();
  EXPECT_EQ(refreshes, 1);
}

// Application messages: terminal changes and log capture ends carry a MAC; the take-over
// message ends the process with 0; the listener's death is told and ends the loop.
TEST_F(MainWindowTest, ApplicationMessages) {
  std::vector<std::string> trail;
  hooks.terminalChanged = [&](const macAddress& m) {
    trail.push_back("reload " + m.directoryName());
  };
  hooks.logCaptureEnded = [&](const macAddress& m) { trail.push_back("log " + m.directoryName()); };
  hooks.panelMessage = [&](unsigned id) {
    trail.push_back("panel " + std::to_string(id - wm::app));
  };
  hooks.exitNow = [&](int code) { trail.push_back("exit " + std::to_string(code)); };
  open();
  macAddress mac = *parseMac("00:1A:2B:3C:4D:5E", ':');
  send(wm::terminalChanged, messagePayload::of(mac));
  send(wm::terminalChanged);  // no MAC: nothing to reload
  send(wm::logCaptureEnded, messagePayload::of(mac));
  send(wm::deleteTemplate);
  send(wm::closeAtOnce);
  EXPECT_EQ(trail, (std::vector<std::string>{"reload 00.1A.2B.3C.4D.5E", "log 00.1A.2B.3C.4D.5E",
                                             "panel 8", "exit 0"}));
  send(wm::logLine);
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
  send(wm::listenerDied);
  EXPECT_EQ(boxes, std::vector<std::string>{"Критическая ошибка: Умер поток Listener."});
  EXPECT_EQ(loop.run(), 1);
}

// Closing asks the leave check first and saves the settings only when leaving.
TEST_F(MainWindowTest, ClosingSavesSettingsAfterTheLeaveCheck) {
  bool mayLeave = false;
  int saved = 0;
  hooks.mayLeaveTerminal = [&] { return mayLeave; };
  hooks.saveSettings = [&] { ++saved; };
  open();
  EXPECT_FALSE(main->closeRequested());
  EXPECT_EQ(saved, 0);
  mayLeave = true;
  EXPECT_TRUE(main->closeRequested());
  EXPECT_EQ(saved, 1);
}

}  // namespace
}  // namespace zv
