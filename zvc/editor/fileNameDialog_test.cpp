#include "zvc/editor/fileNameDialog.h"

#include "common/installPaths.h"
#include "htmlview/recordingHost.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

// A main window, a browser stand-in and libraries with the template "Office" and the
// connection "farm".
class FileNameDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    setInstallationPaths(derivePaths(dir / "prog", dir / "data"));
    makeDirectories(paths().templatesDir);
    makeDirectories(paths().connectionsDir);
    test::writeFile(paths().templatesDir + "Office.zvc", "video=1\n");
    test::writeFile(paths().connectionsDir + "farm.zvc", "type=rdp\n");
    libraries.load(paths());
    main = windows.openWindow({"Zelvar Center", 1200, 900, 0, false, {}, false}, "<body></body>");
    browser.attach();
    loop.pump();
  }
  void TearDown() override { resetInstallationPaths(); }

  test::tempDir dir;
  configLibraries libraries;
  fakeClock clock;
  eventLoop loop{clock};
  windowHost windows{loop};
  recordingHost browser{windows};
  test::loopWatchdog watchdog{loop};
  windowId main = 0;
};

// The window shows the proposed name and the file it gives, follows the input, refuses
// an empty name and the names the library holds ("all" and "office" among them, with
// the box), and returns the name chosen with Enter.
TEST_F(FileNameDialog, RefusesTakenNamesAndReturnsTheChosenOne) {
  std::string shownFile, typedFile;
  windowId dialog = 0;
  browser.onWindow("Создать шаблон", [&](windowId w) {
    dialog = w;
    const recordingHost::shownWindow* shown = browser.window(w);
    EXPECT_EQ(shown->width, 350);
    EXPECT_EQ(shown->height, 150);
    EXPECT_TRUE(shown->modal);
    EXPECT_EQ(shown->css,
              (std::vector<std::string>{"/skin/command-button.css", "/skin/inputFileName.css",
                                        "/skin/common-body.css"}));
    const recordingHost::node* input = browser.first(w, "input#fileName");
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(*input->attribute("maxlength"), "64");
    EXPECT_EQ(*input->attribute("filter"), "0~9a~zA~Z_-");
    EXPECT_EQ(input->value.value_or(""), "new_1");
    shownFile = browser.text(w, "#resultValue");
    browser.input(w, "#fileName", "");
    browser.click(w, "#fileName_ok");  // empty: nothing happens
    browser.input(w, "#fileName", "all");
    browser.click(w, "#fileName_ok");
  });
  int refusals = 0;
  browser.onBox("Файл с таким именем уже существует", [&](windowId box) {
    ++refusals;
    typedFile = browser.text(dialog, "#resultValue");  // follows the input
    browser.click(box, "#IDOK");
    browser.input(dialog, "#fileName", "office");
    browser.click(dialog, "#fileName_ok");
  });
  browser.onBox("Файл с таким именем уже существует", [&](windowId box) {
    ++refusals;
    browser.click(box, "#IDOK");
    browser.input(dialog, "#fileName", "Kiosk-2");
    browser.key(dialog, "#fileName", "Enter");
  });

  EXPECT_EQ(runFileNameDialog(windows, main, libraries, libraryKind::templates, "new_1"),
            "Kiosk-2");
  EXPECT_EQ(shownFile, "\"" + paths().templatesDir + "new_1.zvc\"");
  EXPECT_EQ(typedFile, "\"" + paths().templatesDir + "all.zvc\"");
  EXPECT_EQ(refusals, 2);
  ASSERT_EQ(browser.boxes().size(), 2u);
  EXPECT_EQ(browser.boxes()[0].caption, "Ошибка");
  EXPECT_FALSE(windows.isOpen(dialog));
}

// Connections are looked up among the library connections ("all" is a free name
// there); Escape, Cancel and a name from outside the filter end as they should.
TEST_F(FileNameDialog, ConnectionsCancelAndForeignInput) {
  browser.onWindow("Создать соединение", [&](windowId w) {
    EXPECT_EQ(browser.text(w, "#resultValue"), "\"" + paths().connectionsDir + "farm2.zvc\"");
    browser.input(w, "#fileName", "all");
    browser.click(w, "#fileName_ok");
  });
  EXPECT_EQ(runFileNameDialog(windows, main, libraries, libraryKind::connections, "farm2"), "all");

  windowId second = 0;
  browser.onWindow("Создать соединение", [&](windowId w) {
    second = w;
    browser.input(w, "#fileName", "FARM");
    browser.click(w, "#fileName_ok");
  });
  browser.onBox("Файл с таким именем уже существует", [&](windowId box) {
    browser.click(box, "#IDOK");
    browser.key(second, "#fileName", "Escape");
  });
  EXPECT_EQ(runFileNameDialog(windows, main, libraries, libraryKind::connections, ""), "");

  // A frame with characters the browser's filter would not let through: they are left
  // out, so no file name outside the library can come of it.
  browser.onWindow("Создать шаблон", [&](windowId w) {
    browser.input(w, "#fileName", "../../etc/passwd\r\n" + std::string(100, 'x'));
    browser.click(w, "#fileName_ok");
  });
  EXPECT_EQ(runFileNameDialog(windows, main, libraries, libraryKind::templates, "../x"),
            "etcpasswd" + std::string(55, 'x'));

  browser.onWindow("Создать шаблон", [&](windowId w) { browser.click(w, "#fileName_cancel"); });
  EXPECT_EQ(runFileNameDialog(windows, main, libraries, libraryKind::templates, "x"), "");
  EXPECT_EQ(browser.unscriptedBoxes(), 0u);
}

}  // namespace
}  // namespace zv
