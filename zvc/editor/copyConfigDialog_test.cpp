#include "zvc/editor/configEdits.h"
#include "zvc/editor/versionDialogs.h"
#include "zvc/register/terminals.h"

#include "common/installPaths.h"
#include "htmlview/recordingHost.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/sockets.h"
#include "platform/textConv.h"
#include "testsupport/testSupport.h"
#include "zvc/ui/messageBox.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

const std::string question =
    "У выбранного терминала есть непустой конфигурационный файл. Вы уверены, что хотите "
    "заменить его конфигурационным файлом терминала 00:1A:2B:3C:4D:01?";

// A main window with the skin's sheets (so the list gets its grid behaviour), a browser
// stand-in and a register: the source 01 with options, a template and two screens; 02
// with a configuration of its own; 03 without one; 04 whose file holds only an empty
// screen. Saving writes config.zvc unless `saveFails`.
class CopyConfigDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    setInstallationPaths(derivePaths(dir / "prog", dir / "data"));
    makeDirectories(paths().terminalsDir);
    auto office = std::make_shared<GUITemplatesFile>("office", dir.path());
    office->set("video", u"office");
    libraries.insertTemplate(office);
    source = add("00:1A:2B:3C:4D:01", "10.0.0.1",
                 "timeout=5\ntemplate office\nconnection\n"
                 "next screen\nconnection\nnext screen hidden\n");
    filled = add("00:1A:2B:3C:4D:02", "10.0.0.2", "video=1\n");
    empty = add("00:1A:2B:3C:4D:03", "10.0.0.3", nullptr);
    filledLines = filled->config.textLines();
    blankScreen = add("00:1A:2B:3C:4D:04", "", "connection\n");
    windows.setStyleSheetSource([](const std::string& url) -> std::optional<std::string> {
      return test::readFile(ZV_SKIN_SOURCE_DIR + url.substr(std::string("/skin/").size()));
    });
    main = windows.openWindow({"Zelvar Center", 1200, 900, 0, false, {}, false}, "<body></body>");
    browser.attach();
    loop.pump();
  }
  void TearDown() override {
    setMessageBoxHandler({});
    resetInstallationPaths();
  }

  // A terminal whose configuration is read from `text` written as its config.zvc.
  terminal* add(const char* macText, const char* ip, const char* text) {
    auto t = std::make_unique<terminal>(*parseMac(std::string_view(macText), ':'), libraries);
    parseIpv4(ip, t->ip);
    if (text) {
      std::string path = terminalDirectory(t->mac) + "config.zvc";
      test::writeFile(path, text);
      std::u16string failure;
      EXPECT_TRUE(t->config.read(path, nullptr, failure)) << toUtf8(failure);
    }
    return terminals.addTerminal(std::move(t));
  }
  // The configuration written for a terminal, read back.
  std::vector<std::u16string> written(const terminal& t) {
    GUIConfigFile config(libraries);
    std::u16string failure;
    EXPECT_TRUE(config.read(terminalDirectory(t.mac) + "config.zvc", nullptr, failure))
        << toUtf8(failure);
    return config.textLines();
  }
  std::vector<std::string> rowKeys(windowId w) {
    std::vector<std::string> keys;
    for (const recordingHost::node* row : browser.select(w, "#copyto_list tr"))
      keys.push_back(row->attribute("tlgID") ? *row->attribute("tlgID") : "");
    return keys;
  }
  std::string currentKey(windowId w) {
    const recordingHost::node* row = browser.first(w, "#copyto_list tr:current");
    return row && row->attribute("tlgID") ? *row->attribute("tlgID") : "";
  }
  bool run(const terminal& from) {
    return copyConfigDialog(windows, main, terminals, from, [this](terminal& t) {
      ++saves;
      return !saveFails && saveConfiguration(t);
    });
  }

  test::tempDir dir;
  configLibraries libraries;
  terminalRegister terminals{libraries};
  fakeClock clock;
  eventLoop loop{clock};
  windowHost windows{loop};
  recordingHost browser{windows};
  test::loopWatchdog watchdog{loop};
  windowId main = 0;
  terminal* source = nullptr;
  terminal* filled = nullptr;
  terminal* empty = nullptr;
  terminal* blankScreen = nullptr;
  std::vector<std::u16string> filledLines;  // 02's configuration as it was read
  int saves = 0;
  bool saveFails = false;
};

// The window lists the other terminals with the first empty one chosen; Enter copies to
// it, and a target whose file holds only an empty screen, reached by click and arrow
// keys, takes the copy without a question too. What is written reads back as the source.
TEST_F(CopyConfigDialog, EmptyTargetsTakeTheCopyWithoutAQuestion) {
  ASSERT_TRUE(blankScreen->config.isEmpty());
  browser.onWindow("Выберите терминал", [&](windowId w) {
    const recordingHost::shownWindow* shown = browser.window(w);
    EXPECT_EQ(shown->width, 500);
    EXPECT_EQ(shown->height, 500);
    EXPECT_TRUE(shown->modal);
    EXPECT_EQ(shown->owner, main);
    EXPECT_EQ(shown->css,
              (std::vector<std::string>{"/skin/copyConfig-grid.css", "/skin/command-button.css",
                                        "/skin/common-body.css"}));
    EXPECT_NE(browser.text(w, "body").find("файл терминала 00:1A:2B:3C:4D:01:"), std::string::npos);
    EXPECT_EQ(rowKeys(w), (std::vector<std::string>{"00:1A:2B:3C:4D:02", "00:1A:2B:3C:4D:03",
                                                    "00:1A:2B:3C:4D:04"}));
    EXPECT_EQ(currentKey(w), "00:1A:2B:3C:4D:03");
    EXPECT_EQ(browser.select(w, "#copyto_list td.empty[titleid=empty]").size(), 2u);
    EXPECT_EQ(browser.text(w, "tr[tlgID=\"00:1A:2B:3C:4D:03\"]"), "00:1A:2B:3C:4D:0310.0.0.3");
    EXPECT_EQ(browser.text(w, "popup#empty"), "Терминал без конфигурационного файла");
    browser.key(w, "#copyto_list", "Enter");
  });
  EXPECT_TRUE(run(*source));
  EXPECT_EQ(empty->config.textLines(), source->config.textLines());
  EXPECT_EQ(written(*empty), source->config.textLines());
  EXPECT_EQ(empty->config.templateLinks().size(), 1u);

  std::string chosen;
  browser.onWindow("Выберите терминал", [&](windowId w) {
    chosen = currentKey(w);  // 03 has a configuration now
    browser.click(w, "tr[tlgID=\"00:1A:2B:3C:4D:02\"] td");
    browser.key(w, "#copyto_list", "ArrowDown");
    browser.key(w, "#copyto_list", "ArrowDown");
    browser.click(w, "#copyto_ok");
  });
  EXPECT_TRUE(run(*source));
  EXPECT_EQ(chosen, "00:1A:2B:3C:4D:04");
  EXPECT_EQ(written(*blankScreen), source->config.textLines());
  EXPECT_EQ(filled->config.textLines(), filledLines);
  EXPECT_EQ(saves, 2);
  EXPECT_TRUE(browser.boxes().empty());
}

// Replacing a configuration asks first, naming the source; Cancel keeps the window open
// and the target as it was, OK copies.
TEST_F(CopyConfigDialog, NonEmptyTargetAsksFirst) {
  windowId dialog = 0;
  browser.onWindow("Выберите терминал", [&](windowId w) {
    dialog = w;
    browser.click(w, "tr[tlgID=\"00:1A:2B:3C:4D:02\"] td");
    browser.click(w, "#copyto_ok");
  });
  browser.onBox(question, [&](windowId box) {
    browser.click(box, "#IDCANCEL");
    browser.click(dialog, "#copyto_ok");
  });
  std::vector<std::u16string> afterCancel;
  browser.onBox(question, [&](windowId box) {
    afterCancel = filled->config.textLines();
    browser.click(box, "#IDOK");
  });
  EXPECT_TRUE(run(*source));
  ASSERT_EQ(browser.boxes().size(), 2u);
  EXPECT_EQ(browser.boxes()[0].text, question);
  EXPECT_EQ(browser.boxes()[0].caption, "Внимание");
  EXPECT_EQ(browser.boxes()[0].buttons, (std::vector<std::string>{"IDOK", "IDCANCEL"}));
  EXPECT_EQ(afterCancel, filledLines);
  EXPECT_EQ(written(*filled), source->config.textLines());
  EXPECT_EQ(saves, 1);
}

// Nothing is copied when the source is empty (no window then), when the window is left,
// when the chosen row names no terminal a copy may go to, or when saving fails; the
// target then keeps its configuration in memory and on disk.
TEST_F(CopyConfigDialog, NothingIsCopiedWhenRefusedOrLeft) {
  std::vector<std::string> shown;
  setMessageBoxHandler(
      [&](const std::string& text, const std::string& caption, boxButtons, boxIcon) {
        shown.push_back(caption + ": " + text);
        return boxAnswer::ok;
      });
  EXPECT_FALSE(run(*empty));
  EXPECT_EQ(shown, (std::vector<std::string>{std::string("Внимание: ") + emptySourceMessage}));
  EXPECT_EQ(windows.openWindows().size(), 1u);

  const std::function<void(windowId)> leave[] = {
      [&](windowId w) { browser.key(w, "#copyto_list", "Escape"); },
      [&](windowId w) { browser.click(w, "#copyto_cancel"); },
      [&](windowId w) { browser.closeWindow(w); },
  };
  for (const auto& how : leave) {
    browser.onWindow("Выберите терминал", how);
    EXPECT_FALSE(run(*source));
  }

  // The current row's key as it may stand when OK is pressed: its terminal removed
  // meanwhile, the source's own MAC, no MAC at all.
  const std::function<void(element&)> badRows[] = {
      [&](element&) { terminals.remove(empty); },
      [&](element& row) { row.setAttribute("tlgID", "00:1A:2B:3C:4D:01"); },
      [&](element& row) { row.setAttribute("tlgID", "00:1A:2B:3C:4D:03\r\n<b>"); },
  };
  for (const auto& spoil : badRows) {
    windowId dialog = 0;
    browser.onWindow("Выберите терминал", [&](windowId w) {
      dialog = w;
      spoil(*windows.doc(w)->selectFirst("tr:current"));
      browser.click(w, "#copyto_ok");
    });
    browser.onBox("Выбранный терминал не найден", [&](windowId box) {
      browser.click(box, "#IDOK");
      browser.key(dialog, "#copyto_list", "Escape");
    });
    EXPECT_FALSE(run(*source));
  }

  saveFails = true;
  const std::string before = test::readFile(terminalDirectory(filled->mac) + "config.zvc");
  windowId dialog = 0;
  browser.onWindow("Выберите терминал", [&](windowId w) {
    dialog = w;
    browser.click(w, "tr[tlgID=\"00:1A:2B:3C:4D:02\"] td");
    browser.key(w, "#copyto_list", "Enter");
  });
  browser.onBox(question, [&](windowId box) {
    browser.click(box, "#IDOK");
    browser.key(dialog, "#copyto_list", "Escape");  // the window is still open
  });
  EXPECT_FALSE(run(*source));
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(filled->config.textLines(), filledLines);
  EXPECT_TRUE(filled->config.templateLinks().empty());
  EXPECT_EQ(test::readFile(terminalDirectory(filled->mac) + "config.zvc"), before);
  EXPECT_EQ(browser.unscriptedBoxes(), 0u);
  EXPECT_EQ(browser.pendingScripts(), 0u);
}

}  // namespace
}  // namespace zv
