#include "zvc/shell/consoleSession.h"

#include "common/installPaths.h"
#include "htmlview/recordingHost.h"
#include "platform/files.h"
#include "platform/windowMessages.h"
#include "testsupport/testSupport.h"
#include "zvc/register/consoleState.h"
#include "zvc/ui/messageBox.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

const std::string skinDir = ZV_SKIN_SOURCE_DIR;

// The session over a window host alone, on a temporary installation with a few
// terminals and its own per-user store.
class ConsoleSession : public ::testing::Test {
 protected:
  void SetUp() override {
    setInstallationPaths(derivePaths(dir / "prog", dir / "data"));
    makeDirectories(paths().terminalsDir);
    makeDirectories(paths().dhcpDir);
    for (const char* mac : {"00:1A:2B:3C:4D:03", "00:1A:2B:3C:4D:01", "00:1A:2B:3C:4D:02"})
      add(mac);
    setMessageBoxHandler([this](const std::string& text, const std::string&, boxButtons, boxIcon) {
      boxes.push_back(text);
      return boxAnswer::yes;
    });
  }
  void TearDown() override {
    session.reset();
    setMessageBoxHandler({});
    resetInstallationPaths();
  }

  std::string directoryOf(std::string_view mac) {
    return paths().terminalsDir + parseMac(mac, ':')->directoryName() + "/";
  }
  terminal& add(std::string_view mac) {
    makeDirectories(directoryOf(mac));
    auto t = std::make_unique<terminal>(*parseMac(mac, ':'), state.libraries);
    return *state.terminals.addTerminal(std::move(t));
  }
  void open() {
    session = std::make_unique<consoleSession>(windows, loop, state, store, skinDir);
    ASSERT_TRUE(session->open([this](std::unique_ptr<document> doc, const screenRect& place) {
      placement = place;
      windowSpec spec;
      spec.title = "Zelvar Center";
      return windows.openWindow(spec, std::move(doc));
    }));
    window = windows.mainWindow();
    browser.attach();
    loop.pump();
  }
  std::vector<std::string> rows() {
    std::vector<std::string> out;
    for (const recordingHost::node* n : browser.select(window, "#terminals_widget > option"))
      out.push_back(*n->attribute("tlgID"));
    return out;
  }
  uint32_t stored(const char* name) {
    uint32_t v = 0;
    EXPECT_EQ(store.queryDword(userSettingsKey, name, v), regStatus::ok) << name;
    return v;
  }

  test::tempDir dir;
  test::logCapture log;
  consoleState state;
  registryStore store{dir / "hkcu.conf"};
  std::vector<std::string> boxes;
  fakeClock clock;
  eventLoop loop{clock};
  windowHost windows{loop};
  recordingHost browser{windows};
  test::loopWatchdog guard{loop};
  std::unique_ptr<consoleSession> session;
  windowId window = 0;
  screenRect placement;
};

// The saved settings decide the list and the window's size; closing saves them with the
// geometry the browser reported.
TEST_F(ConsoleSession, SettingsShapeTheListAndAreSavedOnClose) {
  store.set(userSettingsKey, "width", regValue::dword(800));
  store.set(userSettingsKey, "showNote", regValue::dword(1));
  store.set(userSettingsKey, "sortColumn", regValue::dword(77));
  open();
  EXPECT_EQ(placement.width, 1200);
  EXPECT_EQ(placement.height, 950);
  EXPECT_EQ(rows(), (std::vector<std::string>{"00:1A:2B:3C:4D:01", "00:1A:2B:3C:4D:02",
                                              "00:1A:2B:3C:4D:03"}));
  EXPECT_EQ(session->settings().sortColumn, 1);

  browser.reportGeometry(window, {40, 30, 1500, 1000, 1920, 1080});
  loop.pump();
  EXPECT_TRUE(session->main().closeRequested());
  EXPECT_EQ(stored("posX"), 40u);
  EXPECT_EQ(stored("width"), 1500u);
  EXPECT_EQ(stored("height"), 1000u);
  EXPECT_EQ(stored("showNote"), 1u);
  EXPECT_EQ(stored("sortColumn"), 1u);
  EXPECT_EQ(stored("terminalswidth"), 300u);

  // A window left beyond the screen the browser reports is saved on it.
  browser.reportGeometry(window, {5000, 30, 1500, 1000, 1920, 1080});
  loop.pump();
  EXPECT_TRUE(session->saveSettingsNow());
  EXPECT_EQ(stored("posX"), 0u);
  EXPECT_EQ(stored("posY"), 0u);
  EXPECT_EQ(stored("width"), 1500u);

  // A forged geometry cannot save a window far off the screen, nor one larger than it.
  browser.reportGeometry(window, {1000000, 1000000, 1000000, 1000000, 1920, 1080});
  loop.pump();
  EXPECT_TRUE(session->saveSettingsNow());
  EXPECT_EQ(stored("posX"), 0u);
  EXPECT_EQ(stored("posY"), 0u);
  EXPECT_EQ(stored("width"), 1920u);
  EXPECT_EQ(stored("height"), 1080u);
}

// A terminal reported changed updates its own row; one new to the register is read
// from its directory and gets a row at its place. Neither rebuilds the list.
TEST_F(ConsoleSession, ChangedTerminalsUpdateTheirRowsOnly) {
  store.set(userSettingsKey, "showNote", regValue::dword(1));
  open();
  std::vector<std::uint64_t> before;
  for (const recordingHost::node* n : browser.select(window, "#terminals_widget > option"))
    before.push_back(n->uid);

  test::writeFile(directoryOf("00:1A:2B:3C:4D:02") + "comment", "Кабинет 214\r\n");
  browser.clearFrames();
  // Sent from the user-interface thread the message is handled at once; the changes go
  // out with the next flush.
  loop.send(window, wm::terminalChanged, messagePayload::of(*parseMac("00:1A:2B:3C:4D:02", ':')));
  windows.flush();
  EXPECT_NE(browser.text(window, "option[tlgID='00:1A:2B:3C:4D:02']").find("Кабинет 214"),
            std::string::npos);
  std::vector<std::uint64_t> after;
  for (const recordingHost::node* n : browser.select(window, "#terminals_widget > option"))
    after.push_back(n->uid);
  EXPECT_EQ(after[0], before[0]);
  EXPECT_EQ(after[2], before[2]);
  std::size_t ops = 0;
  for (const nlohmann::json& batch : browser.framesOf("batch")) ops += batch["ops"].size();
  EXPECT_LE(ops, 4u);

  makeDirectories(directoryOf("00:1A:2B:3C:4D:00"));
  loop.send(window, wm::terminalChanged, messagePayload::of(*parseMac("00:1A:2B:3C:4D:00", ':')));
  windows.flush();
  EXPECT_EQ(rows(), (std::vector<std::string>{"00:1A:2B:3C:4D:00", "00:1A:2B:3C:4D:01",
                                              "00:1A:2B:3C:4D:02", "00:1A:2B:3C:4D:03"}));
  EXPECT_NE(state.terminals.findByMacText(std::string_view("00:1A:2B:3C:4D:00")), nullptr);
}

// The list's context menu and the main window's buttons reach the list: hiding writes
// the terminal's "hidden" file and takes its row away.
TEST_F(ConsoleSession, ContextMenuHidesTheTerminal) {
  open();
  ASSERT_TRUE(browser.choose(window, "#terminals_widget", "option[tlgID='00:1A:2B:3C:4D:02']"));
  loop.pump();
  ASSERT_TRUE(browser.contextMenu(window, "option[tlgID='00:1A:2B:3C:4D:02']"));
  loop.pump();
  ASSERT_TRUE(browser.menuItem(window, "#terminal_hide"));
  loop.pump();
  EXPECT_TRUE(fileExists(directoryOf("00:1A:2B:3C:4D:02") + "hidden"));
  EXPECT_EQ(rows(), (std::vector<std::string>{"00:1A:2B:3C:4D:01", "00:1A:2B:3C:4D:03"}));
  EXPECT_TRUE(boxes.empty());

  // Copying the current terminal's MAC puts it on the browser's clipboard.
  ASSERT_TRUE(browser.contextMenu(window, "option[tlgID='00:1A:2B:3C:4D:03']"));
  loop.pump();
  ASSERT_TRUE(browser.menuItem(window, "#mac_copy"));
  loop.pump();
  std::vector<nlohmann::json> copied = browser.framesOf("clipboard");
  ASSERT_EQ(copied.size(), 1u);
  EXPECT_FALSE(copied[0]["text"].get<std::string>().empty());
}

}  // namespace
}  // namespace zv
