#include "zvc/services/dhcpOptionsDialog.h"

#include "common/installPaths.h"
#include "common/mac.h"
#include "common/terminalID.h"
#include "htmlview/dom.h"
#include "htmlview/recordingHost.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "testsupport/testSupport.h"
#include "zvc/register/terminals.h"
#include "zvc/services/dhcpValues.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace zv {
namespace {

// A main window, a browser stand-in, DHCP defaults with a byte option 201 and an address
// list 210, and a terminal whose own list holds option 201 = 7.
class DhcpOptionsDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    setInstallationPaths(derivePaths(dir / "prog", dir / "data"));
    makeDirectories(paths().dhcpDir);
    test::writeFile(paths().dhcpDir + "201.u8", "5");
    test::writeFile(paths().dhcpDir + "210.iplist", "10.0.0.1");
    defaults.load();
    t = std::make_unique<terminal>(*parseMac(std::string_view("00:1A:2B:3C:4D:01"), ':'),
                                   libraries);
    terminalDir = terminalDirectory(t->mac);
    makeDirectories(terminalDir);
    test::writeFile(terminalDir + "201.u8", "7");
    loadOptions(t->dhcp, terminalDir);
    windows.setStyleSheetSource([](const std::string& url) -> std::optional<std::string> {
      return test::readFile(ZV_SKIN_SOURCE_DIR + url.substr(std::string("/skin/").size()));
    });
    main = windows.openWindow({"Zelvar Center", 1200, 900, 0, false, {}, false}, "<body></body>");
    browser.attach();
    loop.pump();
  }
  void TearDown() override { resetInstallationPaths(); }

  // Runs `step` once the input sent so far is handled and its changes are shown.
  void then(std::function<void()> step) { loop.postTask(std::move(step)); }

  // Opens the window and drives it with `script` when it arrives.
  bool open(terminal* target, int32_t code, std::function<void(windowId)> script) {
    browser.onWindow("DHCP параметры", [this, script](windowId w) {
      dialog = w;
      script(w);
    });
    return openDhcpOptionsDialog(windows, main, defaults, target, code, hooks);
  }

  bool current(int32_t code) const {
    elementRef row = windows.doc(dialog)->selectFirst("tr[num=\"" + std::to_string(code) + "\"]");
    return row && row->hasState(stateCurrent);
  }

  test::tempDir dir;
  configLibraries libraries;
  fakeClock clock;
  eventLoop loop{clock};
  windowHost windows{loop};
  recordingHost browser{windows};
  test::loopWatchdog watchdog{loop};
  dhcpDefaults defaults{dir / "data/DHCP/"};
  std::unique_ptr<terminal> t;
  std::string terminalDir;
  dhcpDialogHooks hooks;
  windowId main = 0;
  windowId dialog = 0;
};

// A new option 200 of type u16 = 1500 is saved as exactly "1500"; the window's title,
// size and the clean state after the save; Escape then leaves without a question.
TEST_F(DhcpOptionsDialog, AddedOptionIsSaved) {
  bool applyEnabledAfterSave = true;
  bool result = open(t.get(), 0, [&](windowId w) {
    const recordingHost::shownWindow* shown = browser.window(w);
    EXPECT_EQ(shown->title, "DHCP параметры терминала 00:1A:2B:3C:4D:01");
    EXPECT_EQ(shown->width, 500);
    EXPECT_TRUE(shown->modal);
    EXPECT_TRUE(browser.first(w, "#options_apply")->hasState(stateDisabled));
    browser.click(w, "#options_add");
    then([&, w] {
      EXPECT_TRUE(current(dhcpOption::newOptionCode));
      EXPECT_FALSE(browser.first(w, "#options_apply")->hasState(stateDisabled));
      browser.input(w, "#option_num", "200");
      browser.input(w, "#option_name", "MTU2");
      browser.choose(w, "#option_type", "#option_type option[num=\"5\"]");
      then([&, w] {
        EXPECT_EQ(browser.text(w, "tr[num=\"200\"] span"), "200 MTU2");
        browser.input(w, "#u16_editValue", "1500");
        browser.click(w, "#options_apply");
        then([&, w] {
          applyEnabledAfterSave = !browser.first(w, "#options_apply")->hasState(stateDisabled);
          browser.key(w, "", "Escape");
        });
      });
    });
  });
  EXPECT_TRUE(result);
  EXPECT_FALSE(applyEnabledAfterSave);
  EXPECT_EQ(test::readFile(terminalDir + "200.u16"), "1500");
  EXPECT_EQ(test::readFile(terminalDir + "201.u8"), "7");
  EXPECT_NE(findOption(t->dhcp, 200), nullptr);
  EXPECT_TRUE(browser.boxes().empty());
}

// Closing by the frame with edits asks; No discards them and closes.
TEST_F(DhcpOptionsDialog, FrameCloseAsksAndNoDiscards) {
  browser.answerBox("Сохранить изменения?", boxAnswer::no);
  bool result = open(nullptr, 201, [&](windowId w) {
    browser.input(w, "#u8_editValue", "9");
    browser.closeWindow(w);
  });
  EXPECT_TRUE(result);
  ASSERT_EQ(browser.boxes().size(), 1u);
  EXPECT_EQ(test::readFile(paths().dhcpDir + "201.u8"), "5");
  EXPECT_FALSE(windows.isOpen(dialog));
}

// A byte of 300 does not read: the box, and the first row stays current; a new option
// whose number is in use marks option_num and keeps its row at 999. Escape restores
// and closes without asking, nothing written.
TEST_F(DhcpOptionsDialog, InvalidValuesKeepTheSelection) {
  bool stayed = false, moved = true, marked = false, kept999 = false;
  browser.onBox("Указано неверное значение", [&](windowId box) {
    browser.click(box, "#IDOK");
    then([&] {
      stayed = current(201);
      moved = current(210);
      browser.input(dialog, "#u8_editValue", "9");
      browser.click(dialog, "#options_add");
      then([&] {
        browser.input(dialog, "#option_num", "210");
        then([&] {
          const recordingHost::node* num = browser.first(dialog, "#option_num");
          marked = num && num->attribute("class") && *num->attribute("class") == "error";
          kept999 = browser.first(dialog, "tr[num=\"999\"]") != nullptr;
          browser.key(dialog, "", "Escape");
        });
      });
    });
  });
  bool result = open(nullptr, 201, [&](windowId w) {
    EXPECT_EQ(browser.window(w)->title, "DHCP параметры по умолчанию");
    browser.input(w, "#u8_editValue", "300");
    browser.click(w, "tr[num=\"210\"] span");
  });
  EXPECT_TRUE(stayed);
  EXPECT_FALSE(moved);
  EXPECT_TRUE(marked);
  EXPECT_TRUE(kept999);
  EXPECT_TRUE(result);  // edits were left unsaved
  ASSERT_EQ(browser.boxes().size(), 1u);
  EXPECT_EQ(browser.boxes()[0].caption, "Ошибка");
  EXPECT_EQ(test::readFile(paths().dhcpDir + "201.u8"), "5");
}

// 0 in a number editor turns the option off (its box unchecked, its file removed on
// saving); an address typed but not added is stored; closing with edits asks, and Yes
// saves.
TEST_F(DhcpOptionsDialog, OffValuesAndUnaddedAddressAreStored) {
  bool unchecked = false;
  browser.onBox("Сохранить изменения?", [&](windowId box) {
    EXPECT_EQ(browser.boxes().back().caption, "Внимание");
    browser.click(box, "#IDYES");
  });
  bool result = open(nullptr, 201, [&](windowId w) {
    browser.input(w, "#u8_editValue", "0");
    browser.click(w, "tr[num=\"210\"] span");
    then([&, w] {
      const recordingHost::node* box = browser.first(w, "tr[num=\"201\"] button");
      unchecked = box && !box->hasState(stateChecked);
      EXPECT_EQ(browser.select(w, "#ip_list option").size(), 1u);
      browser.input(w, "#ip_editValue", "10.0.0.2");
      browser.click(w, "#options_cancel");
    });
  });
  EXPECT_TRUE(result);
  EXPECT_TRUE(unchecked);
  EXPECT_FALSE(std::filesystem::exists(paths().dhcpDir + "201.u8"));
  EXPECT_EQ(test::readFile(paths().dhcpDir + "210.iplist"), "10.0.0.1\r\n10.0.0.2");
  EXPECT_EQ(browser.boxes().size(), 1u);
}

// Restore after a save goes back to what was saved, not to the state at opening; the
// password of option 18 is stored as its digest.
TEST_F(DhcpOptionsDialog, RestoreAfterSaveAndPasswordDigest) {
  std::string restored;
  bool result = open(t.get(), 201, [&](windowId w) {
    browser.input(w, "#u8_editValue", "8");
    browser.click(w, "#options_apply");
    then([&, w] {
      browser.input(w, "#u8_editValue", "9");
      browser.click(w, "#options_restore");
      then([&, w] {
        const recordingHost::node* input = browser.first(w, "#u8_editValue");
        restored = input ? input->value.value_or("") : "";
        browser.click(w, "tr[num=\"18\"] button");  // row 18 current, its option on
        then([&, w] {
          browser.input(w, "#pass_editValue", "secret");
          then([&, w] {
            const recordingHost::node* digest = browser.first(w, "#str_editValue");
            EXPECT_EQ(digest ? digest->value.value_or("") : "", passwordDigest18("secret"));
            browser.key(w, "#str_editValue", "Enter");  // saves and closes
          });
        });
      });
    });
  });
  EXPECT_TRUE(result);
  EXPECT_EQ(restored, "8");
  EXPECT_EQ(test::readFile(terminalDir + "201.u8"), "8");
  EXPECT_EQ(test::readFile(terminalDir + "018.str"), passwordDigest18("secret"));
  EXPECT_TRUE(browser.boxes().empty());
}

// "binarySelect" shows a file of fewer than 64 bytes as hexadecimal pairs, leaves the
// data empty for a longer one, and the bytes shown are what is saved.
TEST_F(DhcpOptionsDialog, BinaryFromAChosenFile) {
  test::writeFile(paths().dhcpDir + "220.bin", "\x01\x02");
  defaults.load();
  test::writeFile(dir / "long.bin", std::string(100, 'x'));
  test::writeFile(dir / "short.bin", "\xaa\xbb\xcc");
  std::vector<std::string> picks = {dir / "long.bin", dir / "short.bin"};
  hooks.chooseFile = [&](windowId) {
    std::string next = picks.front();
    picks.erase(picks.begin());
    return next;
  };
  std::string afterLong, afterShort;
  open(nullptr, 220, [&](windowId w) {
    EXPECT_EQ(browser.text(w, "#bin_editValue"), "01 02");
    browser.click(w, "#binarySelect");
    then([&, w] {
      afterLong = browser.text(w, "#bin_editValue");
      browser.click(w, "#binarySelect");
      then([&, w] {
        afterShort = browser.text(w, "#bin_editValue");
        browser.key(w, "", "Enter");
      });
    });
  });
  EXPECT_EQ(afterLong, "");
  EXPECT_EQ(afterShort, "aa bb cc");
  EXPECT_EQ(test::readFile(paths().dhcpDir + "220.bin"), "\xaa\xbb\xcc");
}

// A click on another row's check box while the editor does not read: one box, the box
// clicked keeps its state and the first row stays current.
TEST_F(DhcpOptionsDialog, RefusedCheckBoxClickChangesNothing) {
  bool stillChecked = false, stayed = false;
  browser.onBox("Указано неверное значение", [&](windowId box) {
    browser.click(box, "#IDOK");
    then([&] {
      then([&] {
        const recordingHost::node* box210 = browser.first(dialog, "tr[num=\"210\"] button");
        stillChecked = box210 && box210->hasState(stateChecked);
        stayed = current(201);
        browser.key(dialog, "", "Escape");
      });
    });
  });
  open(nullptr, 201, [&](windowId w) {
    browser.input(w, "#u8_editValue", "300");
    browser.click(w, "tr[num=\"210\"] button");
  });
  EXPECT_TRUE(stillChecked);
  EXPECT_TRUE(stayed);
  EXPECT_EQ(browser.boxes().size(), 1u);
}

// Moving through the rows stores nothing: an option shown from the defaults does not
// become the terminal's own, and the window stays clean.
TEST_F(DhcpOptionsDialog, BrowsingStoresNothing) {
  bool clean = false;
  open(t.get(), 210, [&](windowId w) {
    browser.click(w, "tr[num=\"3\"] span");
    browser.click(w, "tr[num=\"201\"] span");
    then([&, w] {
      clean = browser.first(w, "#options_apply")->hasState(stateDisabled);
      browser.click(w, "#options_cancel");
    });
  });
  EXPECT_TRUE(clean);
  EXPECT_TRUE(browser.boxes().empty());
  EXPECT_FALSE(std::filesystem::exists(terminalDir + "210.iplist"));
  EXPECT_EQ(findOption(t->dhcp, 3), nullptr);
}

// The value editor follows the code first, then the type: the input, its limits and
// filter, and the value shown in it (a name that could inject markup stays text).
TEST(DhcpValueEditor, InputsByCodeAndType) {
  struct row {
    int32_t code;
    int32_t type;
    std::string bytes;
    const char* id;
    const char* maxLength;
    const char* filter;
    const char* shown;
  };
  const row rows[] = {
      {12, dhcpTypeStr, std::string("pc-1\0", 5), "str_editValue", "64", "0~9a~zA~Z._-", "pc-1"},
      {26, dhcpTypeU16, "\x05\xdc", "u16_editValue", "10", "0~9", "1500"},
      {67, dhcpTypeStr, "", "str_editValue", "64", "a~zA~Z0~9.-\\/", ""},
      {200, dhcpTypeIp, std::string("\x0a\x00\x00\x01", 4), "ip_editValue", "15", "0~9.",
       "10.0.0.1"},
      {200, dhcpTypeU8, "\x07", "u8_editValue", "3", "0~9", "7"},
      {200, dhcpTypeU32, std::string("\x00\x01\x00\x00", 4), "u32_editValue", "10", "0~9", "65536"},
      {200, dhcpTypeStr, std::string("<b>\0", 4), "str_editValue", "64", "a~zA~Z0~9.-", "<b>"},
  };
  for (const row& r : rows) {
    dhcpOption o;
    o.code = r.code;
    o.type = r.type;
    std::copy(r.bytes.begin(), r.bytes.end(), o.value.begin());
    o.length = uint32_t(r.bytes.size());
    document doc;
    doc.load("<body>" + dhcpValueEditorHtml(r.code, r.type, o) + "</body>");
    elementRef input = doc.byId(r.id);
    ASSERT_TRUE(input) << r.code << " " << r.id;
    EXPECT_EQ(input->attribute("maxlength").value_or(""), r.maxLength) << r.id;
    EXPECT_EQ(input->attribute("filter").value_or(""), r.filter) << r.id;
    EXPECT_EQ(input->value(), r.shown) << r.id;
    EXPECT_EQ(doc.selectAll("b").size(), 0u);
  }
}

}  // namespace
}  // namespace zv
