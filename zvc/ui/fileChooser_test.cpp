#include "zvc/ui/fileChooser.h"

#include "htmlview/recordingHost.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace zv {
namespace {

class FileChooser : public ::testing::Test {
 protected:
  void SetUp() override {
    windows.setStyleSheetSource([](const std::string& url) -> std::optional<std::string> {
      return test::readFile(ZV_SKIN_SOURCE_DIR + url.substr(std::string("/skin/").size()));
    });
    main = windows.openWindow({"Zelvar Center", 1200, 900, 0, false, {}, false}, "<body></body>");
    browser.attach();
    loop.pump();
  }
  void then(std::function<void()> step) { loop.postTask(std::move(step)); }

  test::tempDir dir;
  fakeClock clock;
  eventLoop loop{clock};
  windowHost windows{loop};
  recordingHost browser{windows};
  test::loopWatchdog watchdog{loop};
  windowId main = 0;
};

// Directories come first and are entered with a double click, names are shown escaped,
// links are not offered, an unreadable directory shows the note; the file picked is
// returned with its full path.
TEST_F(FileChooser, EntersADirectoryAndPicksAFile) {
  test::writeFile(dir / "sub/<b>.bin", "\x01\x02");
  test::writeFile(dir / "top.txt", "x");
  std::filesystem::create_symlink(dir / "sub", dir / "link");
  std::vector<std::string> topRows, subRows;
  std::string note;
  browser.onWindow("Открыть файл", [&](windowId w) {
    for (const recordingHost::node* n : browser.select(w, "#fileChooser_list td"))
      topRows.push_back(n->text());
    browser.input(w, "#fileChooser_path", dir / "missing/");
    browser.key(w, "#fileChooser_path", "Enter");
    then([&, w] {
      note = browser.text(w, "#fileChooser_message");
      browser.input(w, "#fileChooser_path", "");
      browser.dblclick(w, "#fileChooser_list tr[index=\"1\"] td");  // "sub/"
      then([&, w] {
        for (const recordingHost::node* n : browser.select(w, "#fileChooser_list td"))
          subRows.push_back(n->text());
        browser.click(w, "#fileChooser_list tr[index=\"1\"] td");
        browser.click(w, "#fileChooser_ok");
      });
    });
  });
  fileChooserOptions options;
  options.directory = dir / "";
  std::string chosen = chooseServerFile(windows, main, options);
  EXPECT_EQ(topRows, (std::vector<std::string>{"../", "sub/", "top.txt"}));
  EXPECT_EQ(note, "Не удалось прочитать папку");
  EXPECT_EQ(subRows, (std::vector<std::string>{"../", "<b>.bin"}));
  EXPECT_EQ(chosen, dir / "sub/<b>.bin");
}

TEST(FileChooserPaths, EnteredDirectory) {
  EXPECT_EQ(enteredDirectory("/a/b/", ".."), "/a/");
  EXPECT_EQ(enteredDirectory("/a/", ".."), "/");
  EXPECT_EQ(enteredDirectory("/", ".."), "/");
  EXPECT_EQ(enteredDirectory("/a", "c"), "/a/c/");
}

}  // namespace
}  // namespace zv
