#include "zvc/services/terminalDhcpPanel.h"

#include "common/installPaths.h"
#include "htmlview/recordingHost.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "testsupport/testSupport.h"
#include "zvc/register/consoleState.h"
#include "zvc/ui/messageBox.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace zv {
namespace {

// An installation with DHCP defaults and two terminals: 01 with its own options 6
// ("[auto]"), 12 (its host) and 42, 02 holding the address 10.9.9.9. The panel works on a
// plain document; the change-address window on a window host with a browser stand-in.
class TerminalDhcp : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZELVAR_INTERFACES", "lo", 1);
    setInstallationPaths(derivePaths(dir / "prog", dir / "data"));
    test::writeFile(paths().dhcpDir + "003.ip", "10.0.0.1");
    test::writeFile(dirA() + "ip", "127.0.0.9");
    test::writeFile(dirA() + "host", "old-name");
    test::writeFile(dirA() + "006.iplist", "[auto]");
    test::writeFile(dirA() + "012.str", "old-name");
    test::writeFile(dirA() + "042.ip", "10.9.9.8");
    test::writeFile(paths().terminalsDir + "00.1A.2B.3C.4D.02/ip", "10.9.9.9");
    a = state.terminals.loadTerminal(*parseMac("00:1A:2B:3C:4D:01", ':'));
    b = state.terminals.loadTerminal(*parseMac("00:1A:2B:3C:4D:02", ':'));
    ASSERT_TRUE(a && b);
    defaults.load();
    main = windows.openWindow({"Zelvar Center", 1200, 900, 0, false, {}, false}, "<body></body>");
    browser.attach();
    loop.pump();
    terminalDhcpPanelHooks hooks;
    hooks.openOptions = [this](terminal* t, int32_t code) {
      opened.push_back(code);
      return t != nullptr;
    };
    panel = std::make_unique<terminalDhcpPanel>(windows, state.terminals, defaults, hooks);
    doc.load("<html><body><div id=\"panel-dhcp\"></div></body></html>");
    panel->frameBuilt(doc, main);
    setMessageBoxHandler([this](const std::string& text, const std::string&, boxButtons, boxIcon) {
      panelBoxes.push_back(text);
      return boxAnswer::ok;
    });
  }
  void TearDown() override {
    setMessageBoxHandler(nullptr);
    resetInstallationPaths();
  }
  std::string dirA() { return paths().terminalsDir + "00.1A.2B.3C.4D.01/"; }
  // The rows of the option list as "num|name|value|source".
  std::vector<std::string> rows() {
    std::vector<std::string> out;
    for (elementRef& row : doc.selectAll("#terminals_DHCP>option")) {
      std::string line(row->attribute("num").value_or(""));
      for (std::size_t i = 0; i < row->childCount(); ++i) line += "|" + row->child(i)->text();
      out.push_back(line);
    }
    return out;
  }
  // What the browser sends: the edit first, then the control takes the value.
  void type(const char* id, const std::string& value) {
    uiEvent e;
    e.kind = eventKind::input;
    e.target = e.source = doc.byId(id);
    e.value = value;
    EXPECT_FALSE(panel->handleEvent(e));
    doc.byId(id)->setValue(value);
  }
  void chooseBootType(const char* value) {
    uiEvent e;
    e.kind = eventKind::select;
    e.target = doc.selectFirst(std::string("#boot_type>option[value=\"") + value + "\"]");
    e.source = doc.byId("boot_type");
    EXPECT_FALSE(panel->handleEvent(e));
    doc.byId("boot_type")->setValue(value);
  }
  void command(const char* id) {
    uiEvent e;
    EXPECT_TRUE(panel->runCommand(id, e)) << id;
  }
  bool enabled(const char* id) { return !doc.byId(id)->hasState(stateDisabled); }

  test::tempDir dir;
  consoleState state;
  dhcpDefaults defaults{derivePaths(dir / "prog", dir / "data").dhcpDir};
  terminal* a = nullptr;
  terminal* b = nullptr;
  fakeClock clock;
  eventLoop loop{clock};
  windowHost windows{loop};
  recordingHost browser{windows};
  test::loopWatchdog watchdog{loop};
  windowId main = 0;
  document doc;
  std::unique_ptr<terminalDhcpPanel> panel;
  std::vector<int32_t> opened;
  std::vector<std::string> panelBoxes;
};

// The list shows what is in effect with its source, "[auto]" for an automatic option;
// the address is "-" for a terminal without one.
TEST_F(TerminalDhcp, RenderShowsEffectiveOptions) {
  panel->showTerminal(a);
  std::string terminalSource = "/" + toUtf8(optionSourceText(optionSource::terminal)) + "/";
  std::string defaultsSource = "/" + toUtf8(optionSourceText(optionSource::defaults)) + "/";
  dhcpOption router;
  router.code = 3;
  router.type = dhcpTypeIp;
  std::vector<std::string> shown = rows();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0], "3|" + toUtf8(optionDisplayName(router)) + "|10.0.0.1|" + defaultsSource);
  EXPECT_NE(shown[1].find("|[auto]|" + terminalSource), std::string::npos) << shown[1];
  EXPECT_NE(shown[2].find("|old-name|" + terminalSource), std::string::npos) << shown[2];
  EXPECT_NE(shown[3].find("|10.9.9.8|" + terminalSource), std::string::npos) << shown[3];
  EXPECT_TRUE(doc.selectFirst("#terminals_DHCP>option")->hasState(stateCurrent));
  EXPECT_EQ(doc.byId("terminal_ip")->text(), "127.0.0.9");
  EXPECT_EQ(doc.byId("terminal_host")->value(), "old-name");
  EXPECT_FALSE(enabled("terminals_dhcp_save"));
  b->ip = 0;
  panel->showTerminal(b);
  EXPECT_EQ(doc.byId("terminal_ip")->text(), "-");
}

// A new host name is stored and follows into option 12; the boot type select writes and
// clears "boot_type"; a host the filter would not let through is refused, nothing saved.
TEST_F(TerminalDhcp, SaveWritesHostOption12AndBootType) {
  panel->showTerminal(a);
  type("terminal_host", "two words");
  EXPECT_TRUE(panel->marked());
  EXPECT_TRUE(enabled("terminals_dhcp_save"));
  EXPECT_FALSE(panel->savePanel());
  EXPECT_EQ(panelBoxes, std::vector<std::string>{"Неверный формат поля Host."});
  EXPECT_EQ(test::readFile(dirA() + "host"), "old-name");

  type("terminal_host", "till-7");
  chooseBootType("2");
  // A report of the terminal does not overwrite unsaved edits.
  panel->refresh();
  EXPECT_EQ(doc.byId("terminal_host")->value(), "till-7");
  command("terminals_dhcp_save");
  EXPECT_FALSE(panel->marked());
  EXPECT_FALSE(enabled("terminals_dhcp_save"));
  EXPECT_EQ(test::readFile(dirA() + "host"), "till-7");
  EXPECT_EQ(test::readFile(dirA() + "012.str"), "till-7");
  EXPECT_EQ(test::readFile(dirA() + "boot_type"), "HTTP");
  EXPECT_NE(rows()[2].find("|till-7|"), std::string::npos) << rows()[2];

  chooseBootType("0");
  EXPECT_TRUE(panel->savePanel());
  EXPECT_FALSE(test::exists(dirA() + "boot_type"));
  EXPECT_EQ(a->bootType, 0u);
}

// The context menu makes its row current; a removed row goes from memory only, typed
// text stays; "Восстановить"
// brings it back from the files. A double click opens the options window on its row's code.
TEST_F(TerminalDhcp, RemoveThenRestore) {
  panel->showTerminal(a);
  uiEvent menu;
  menu.kind = eventKind::contextmenu;
  menu.target = menu.source = doc.selectFirst("#terminals_DHCP>option[num=\"42\"]>td");
  EXPECT_TRUE(panel->handleEvent(menu));
  EXPECT_TRUE(doc.byId("dhcp_context")->hasState(statePopup));
  EXPECT_TRUE(doc.selectFirst("#terminals_DHCP>option[num=\"42\"]")->hasState(stateCurrent));
  type("terminal_comment", "Склад");
  command("terminals_dhcp_remove");
  EXPECT_EQ(rows().size(), 3u);
  EXPECT_EQ(doc.byId("terminal_comment")->value(), "Склад");
  EXPECT_TRUE(panel->marked());
  EXPECT_TRUE(enabled("terminals_dhcp_restore"));
  EXPECT_TRUE(test::exists(dirA() + "042.ip"));
  command("terminals_dhcp_restore");
  EXPECT_EQ(rows().size(), 4u);
  EXPECT_EQ(rows()[3].substr(0, 3), "42|");
  EXPECT_EQ(doc.byId("terminal_comment")->value(), "");
  EXPECT_FALSE(panel->marked());

  uiEvent dbl;
  dbl.kind = eventKind::dblclick;
  dbl.target = dbl.source = doc.selectFirst("#terminals_DHCP>option[num=\"12\"]>td");
  EXPECT_TRUE(panel->handleEvent(dbl));
  EXPECT_EQ(opened, std::vector<int32_t>{12});
  EXPECT_TRUE(panel->marked());
}

// The change-address window: an empty field clears the address.
TEST_F(TerminalDhcp, AddressEmptyClears) {
  browser.onWindow("Изменить IP терминала", [&](windowId w) {
    browser.input(w, "#terminal_ip", "");
    browser.click(w, "#terminalIP_save");
  });
  EXPECT_TRUE(openChangeAddressDialog(windows, main, state.terminals, *a, {}));
  EXPECT_EQ(a->ip, 0u);
  EXPECT_FALSE(test::exists(dirA() + "ip"));
  EXPECT_EQ(browser.boxes().size(), 0u);
}

// An address another terminal holds is refused before the network question (10.9.9.9
// is on no server network too); one off the networks asks, No keeps the window; a free
// address on 127.x is taken after the reboot question.
TEST_F(TerminalDhcp, AddressChecksInOrder) {
  windowId dialog = 0;
  int reboots = 0;
  browser.onWindow("Изменить IP терминала", [&](windowId w) {
    dialog = w;
    browser.input(w, "#terminal_ip", "10.9.9.9");
    browser.key(w, "#terminal_ip", "Enter");
  });
  browser.onBox("Найден терминал с совпадающим IP.", [&](windowId box) {
    browser.click(box, "#IDOK");
    browser.input(dialog, "#terminal_ip", "10.1.1.1");
    browser.click(dialog, "#terminalIP_save");
  });
  browser.onBox("не соответствует ни одному интерфейсу", [&](windowId box) {
    browser.click(box, "#IDNO");
    browser.input(dialog, "#terminal_ip", "127.0.0.77");
    browser.click(dialog, "#terminalIP_save");
  });
  browser.answerBox("Перегрузить терминал сейчас?", boxAnswer::yes);
  EXPECT_TRUE(
      openChangeAddressDialog(windows, main, state.terminals, *a, [&](terminal&) { ++reboots; }));
  EXPECT_EQ(test::readFile(dirA() + "ip"), "127.0.0.77");
  EXPECT_EQ(reboots, 1);
  ASSERT_EQ(browser.boxes().size(), 3u);
  EXPECT_EQ(browser.boxes()[0].caption, "Ошибка");
  EXPECT_EQ(browser.boxes()[1].caption, "Внимание");
  EXPECT_EQ(browser.boxes()[2].caption, "Zelvar");
  EXPECT_EQ(browser.pendingScripts(), 0u);
}

// A broadcast or malformed address is refused with the same message; Escape cancels.
TEST_F(TerminalDhcp, AddressRefusedThenCancelled) {
  windowId dialog = 0;
  browser.onWindow("Изменить IP терминала", [&](windowId w) {
    dialog = w;
    browser.input(w, "#terminal_ip", "255.255.255.255");
    browser.click(w, "#terminalIP_save");
  });
  browser.onBox("Указан неверный IP.", [&](windowId box) {
    browser.click(box, "#IDOK");
    browser.input(dialog, "#terminal_ip", "1.2.3");
    browser.click(dialog, "#terminalIP_save");
  });
  browser.onBox("Указан неверный IP.", [&](windowId box) {
    browser.click(box, "#IDOK");
    browser.key(dialog, "#terminal_ip", "Escape");
  });
  EXPECT_FALSE(openChangeAddressDialog(windows, main, state.terminals, *a, {}));
  EXPECT_EQ(test::readFile(dirA() + "ip"), "127.0.0.9");
  EXPECT_EQ(browser.pendingScripts(), 0u);
}

}  // namespace
}  // namespace zv
