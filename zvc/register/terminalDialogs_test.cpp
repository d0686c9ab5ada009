#include "zvc/register/terminalDialogs.h"

#include "common/fstream.h"
#include "common/installPaths.h"
#include "htmlview/recordingHost.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "testsupport/testSupport.h"
#include "zvc/register/consoleState.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

uint32_t address(const char* text) {
  uint32_t a = 0;
  parseIpv4(text, a);
  return a;
}

// A main window, a browser stand-in and a register of two terminals; the dialogs run
// from the test as the main window's commands would run them.
class TerminalDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    setInstallationPaths(derivePaths(dir / "prog", dir / "data"));
    makeDirectories(paths().terminalsDir);
    add("00:1A:2B:3C:4D:01", "10.0.0.1", "reception", u"");
    add("00:1A:2B:3C:4D:02", "10.0.0.2", "", u"Склад");
    main = windows.openWindow({"Zelvar Center", 1200, 900, 0, false, {}, false}, "<body></body>");
    browser.attach();
    loop.pump();
    hooks.insertRow = [&](terminal& t) { trail.push_back("insert " + t.mac.logText()); };
    hooks.makeCurrent = [&](terminal& t) { trail.push_back("select " + t.mac.logText()); };
    hooks.arp = [] {
      arpEntry e;
      e.ip = address("10.0.0.77");
      e.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x77};
      e.flags = arpEntry::completeFlag;
      return std::optional(std::vector<arpEntry>{e});
    };
  }
  void TearDown() override { resetInstallationPaths(); }

  void add(const char* macText, const char* ip, const char* host, std::u16string comment) {
    auto t = std::make_unique<terminal>(*parseMac(std::string_view(macText), ':'), state.libraries);
    t->ip = address(ip);
    t->host = host;
    t->comment = std::move(comment);
    state.terminals.addTerminal(std::move(t));
  }
  std::string value(windowId w, const char* selector) {
    const recordingHost::node* n = browser.first(w, selector);
    return n && n->value ? *n->value : std::string();
  }

  test::tempDir dir;
  consoleState state;
  fakeClock clock;
  eventLoop loop{clock};
  windowHost windows{loop};
  recordingHost browser{windows};
  test::loopWatchdog watchdog{loop};
  windowId main = 0;
  terminalDialogHooks hooks;
  std::vector<std::string> trail;
};

// The add window: its form, prefilled from the current terminal; saving it unchanged is
// a conflict; a new MAC typed in lower case is asked about, saved, listed and selected.
TEST_F(TerminalDialogs, AddPrefillsConflictsAndSaves) {
  state.terminals.setCurrent(state.terminals.all()[0]);
  windowId dialog = 0;
  browser.onWindow("Добавить терминал", [&](windowId w) {
    dialog = w;
    browser.click(w, "#addTerminal_ok");
  });
  browser.onBox("В списке уже есть терминал", [&](windowId box) {
    browser.click(box, "#IDOK");
    browser.click(dialog, "#addTerminal_clear");
    browser.input(dialog, "#MACValue", "00:1a:2b:3c:4d:10");
    browser.input(dialog, "#commentValue", "Бухгалтерия");
    browser.key(dialog, "#commentValue", "Enter");
  });
  browser.answerBox("Создать терминал с параметрами:", boxAnswer::yes);

  terminal* t = runAddTerminalDialog(windows, main, state, hooks);

  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->mac.logText(), "00:1A:2B:3C:4D:10");
  EXPECT_EQ(t->ip, 0u);
  EXPECT_EQ(t->comment, u"Бухгалтерия");
  EXPECT_EQ(state.terminals.findByMac(t->mac), t);
  EXPECT_TRUE(isDirectory(paths().terminalsDir + "00.1A.2B.3C.4D.10"));
  EXPECT_EQ(trail,
            (std::vector<std::string>{"insert 00:1A:2B:3C:4D:10", "select 00:1A:2B:3C:4D:10"}));
  ASSERT_EQ(browser.boxes().size(), 2u);
  EXPECT_EQ(browser.boxes()[0].caption, "Ошибка");
  EXPECT_EQ(browser.boxes()[1].caption, "Внимание");
  EXPECT_EQ(browser.boxes()[1].text,
            "Создать терминал с параметрами:\n MAC: 00:1A:2B:3C:4D:10\n IP: \n Host: \n"
            " Version: \n Comment: Бухгалтерия\n?");
  EXPECT_EQ(browser.unscriptedBoxes(), 0u);
  EXPECT_EQ(browser.pendingScripts(), 0u);
  EXPECT_FALSE(windows.isOpen(dialog));
}

// What the add window shows: title, size, owner, the form's ids, limits and filters,
// the ARP button and the version selector, and the current terminal's fields.
TEST_F(TerminalDialogs, AddWindowContent) {
  state.terminals.setCurrent(state.terminals.all()[0]);
  browser.onWindow("Добавить терминал", [&](windowId w) {
    const recordingHost::shownWindow* shown = browser.window(w);
    EXPECT_EQ(shown->width, 330);
    EXPECT_EQ(shown->height, 280);
    EXPECT_EQ(shown->owner, main);
    EXPECT_TRUE(shown->modal);
    EXPECT_EQ(shown->css,
              (std::vector<std::string>{"/skin/common-body.css", "/skin/command-button.css"}));
    EXPECT_EQ(value(w, "#MACValue"), "00:1A:2B:3C:4D:01");
    EXPECT_EQ(value(w, "#IPValue"), "10.0.0.1");
    EXPECT_EQ(value(w, "#hostValue"), "reception");
    const recordingHost::node* mac = browser.first(w, "input#MACValue");
    ASSERT_NE(mac, nullptr);
    EXPECT_EQ(*mac->attribute("filter"), "0~9a~fA~F:");
    EXPECT_EQ(*mac->attribute("maxlength"), "17");
    EXPECT_EQ(*browser.first(w, "#commentValue")->attribute("maxlength"), "64");
    EXPECT_EQ(*browser.first(w, "#commentValue")->attribute("filter"), "0~9a~zA~Z._- а~яёА~ЯЁіїє'");
    EXPECT_EQ(browser.text(w, "button#addARP.command.noimage"), "ARP");
    EXPECT_NE(browser.first(w, "select#options_version option[value=noversion]"), nullptr);
    EXPECT_EQ(browser.text(w, "#addTerminal_ok"), "Сохранить");
    EXPECT_EQ(browser.text(w, "#addTerminal_clear"), "Очистить");
    EXPECT_EQ(browser.text(w, "#addTerminal_cancel"), "Отмена");
    browser.key(w, "#MACValue", "Escape");
  });
  EXPECT_EQ(runAddTerminalDialog(windows, main, state, hooks), nullptr);
  EXPECT_TRUE(trail.empty());
  EXPECT_EQ(browser.pendingScripts(), 0u);
}

// The version selector starts at the default version; the version chosen in it is the
// new terminal's.
TEST_F(TerminalDialogs, AddTakesChosenVersion) {
  for (const char* v : {"6.2.63", "6.2.5"}) {
    makeDirectories(paths().binDir + v);
    makeDirectories(paths().tftpRoot + v + "/pi2");
  }
  state.versions = installedVersions(
      [](const std::string& directory) {
        auto spec = std::make_unique<versionSpec>();
        spec->name =
            directory.substr(paths().binDir.size(), directory.size() - paths().binDir.size() - 1);
        return spec;
      },
      [](const std::string&, const std::string&) {});
  state.versions.scanVersions(paths());
  state.versions.loadSpecifications(paths());
  std::string preset;
  browser.onWindow("Добавить терминал", [&](windowId w) {
    preset = value(w, "#options_version");
    browser.input(w, "#MACValue", "00:1A:2B:3C:4D:20");
    browser.choose(w, "#options_version", "option[value='6.2.5']");
    browser.click(w, "#addTerminal_ok");
  });
  browser.answerBox("Version: 6.2.5", boxAnswer::yes);
  terminal* t = runAddTerminalDialog(windows, main, state, hooks);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(preset, "6.2.63");
  EXPECT_EQ(t->version, "6.2.5");
  ASSERT_NE(t->spec, nullptr);
  EXPECT_EQ(t->spec->name, "6.2.5");
  EXPECT_EQ(test::readFile(paths().terminalsDir + "00.1A.2B.3C.4D.20/version"), "6.2.5");
  EXPECT_EQ(browser.unscriptedBoxes(), 0u);
}

// ARP fills the address of a known MAC; answering No closes the window and writes
// nothing.
TEST_F(TerminalDialogs, AddArpAndDecline) {
  windowId dialog = 0;
  browser.onWindow("Добавить терминал", [&](windowId w) {
    dialog = w;
    browser.input(w, "#MACValue", "00:1A:2B:3C:4D:77");
    browser.click(w, "#addARP");
    browser.click(w, "#addTerminal_ok");
  });
  std::string ipAfterArp;
  browser.onBox("Создать терминал", [&](windowId box) {
    ipAfterArp = value(dialog, "#IPValue");
    browser.click(box, "#IDNO");
  });
  EXPECT_EQ(runAddTerminalDialog(windows, main, state, hooks), nullptr);
  EXPECT_EQ(ipAfterArp, "10.0.0.77");
  ASSERT_EQ(browser.boxes().size(), 1u);
  EXPECT_NE(browser.boxes()[0].text.find("\n IP: 10.0.0.77\n"), std::string::npos);
  EXPECT_FALSE(isDirectory(paths().terminalsDir + "00.1A.2B.3C.4D.77"));
  EXPECT_EQ(state.terminals.size(), 2u);
  EXPECT_FALSE(windows.isOpen(dialog));
  EXPECT_TRUE(trail.empty());
}

// The find window stays open: a comment finds its terminal, an unknown address says so,
// all fields empty say so, and Cancel ends it.
TEST_F(TerminalDialogs, Find) {
  windowId dialog = 0;
  browser.onWindow("Найти терминал", [&](windowId w) {
    dialog = w;
    EXPECT_EQ(browser.window(w)->height, 240);
    EXPECT_EQ(browser.first(w, "#addARP"), nullptr);
    EXPECT_EQ(browser.first(w, "#options_version"), nullptr);
    browser.input(w, "#MACValue", "00:1a:2b:3c:4d:01");
    browser.click(w, "#findTerminal_ok");
    browser.click(w, "#findTerminal_clear");
    browser.input(w, "#commentValue", "Склад");
    browser.click(w, "#findTerminal_ok");
    browser.click(w, "#findTerminal_clear");
    browser.input(w, "#IPValue", "10.0.0.99");
    browser.key(w, "#IPValue", "Enter");
  });
  browser.onBox("не найден", [&](windowId box) {
    browser.click(box, "#IDOK");
    browser.click(dialog, "#findTerminal_clear");
    browser.click(dialog, "#findTerminal_ok");
  });
  browser.onBox("Не указаны параметры", [&](windowId box) {
    browser.click(box, "#IDOK");
    browser.click(dialog, "#findTerminal_cancel");
  });
  runFindTerminalDialog(windows, main, state, hooks);
  EXPECT_EQ(trail,
            (std::vector<std::string>{"select 00:1A:2B:3C:4D:01", "select 00:1A:2B:3C:4D:02"}));
  ASSERT_EQ(browser.boxes().size(), 2u);
  EXPECT_EQ(browser.boxes()[0].caption, "Внимание");
  EXPECT_EQ(browser.boxes()[1].caption, "Ошибка");
  EXPECT_EQ(browser.boxes()[1].text, "Не указаны параметры.\n");
  EXPECT_FALSE(windows.isOpen(dialog));
}

}  // namespace
}  // namespace zv
