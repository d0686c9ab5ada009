#include "zvc/ui/consoleUi.h"

#include "htmlview/recordingHost.h"
#include "testsupport/testSupport.h"
#include "zvc/ui/messageBox.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <map>

namespace zv {
namespace {

// Only decimal numbers 1 to 65535, nothing around them.
TEST(ConsolePort, ParsesOnlyPortNumbers) {
  EXPECT_EQ(parsePort("8779"), 8779);
  EXPECT_EQ(parsePort("1"), 1);
  EXPECT_EQ(parsePort("65535"), 65535);
  for (const char* bad : {"", "0", "65536", "99999999999", "-1", "+80", " 80", "80 ", "8o", "0x50"})
    EXPECT_EQ(parsePort(bad), std::nullopt) << bad;
}

class AppBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"bin1/chromium", "bin2/chromium-browser"}) {
      test::writeFile(dir / name, "#!/bin/sh\n");
      ASSERT_EQ(::chmod((dir / name).c_str(), 0755), 0);
    }
  }
  browserPlan plan(uid_t euid = 1000) {
    return planAppBrowser(
        [this](const char* name) {
          auto it = env.find(name);
          return it == env.end() ? nullptr : it->second.c_str();
        },
        euid,
        [](uid_t uid) -> std::optional<spawnIdentity> {
          if (uid != 1000) return std::nullopt;
          return spawnIdentity{1000, 1000, "admin", {1000, 27}, "/home/admin"};
        });
  }
  std::vector<std::string> command(uid_t euid = 1000) {
    return appBrowserCommand("http://127.0.0.1:8779/?token=t", plan(euid));
  }
  test::tempDir dir;
  std::map<std::string, std::string> env;
};

// As a user: with a display and chromium on PATH, an app window on a profile of the
// console's own, in the console's environment; without either nothing is started.
TEST_F(AppBrowser, NeedsADisplayAndChromium) {
  env = {{"PATH", dir / "bin1"}, {"HOME", "/home/admin"}};
  EXPECT_TRUE(command().empty());
  EXPECT_EQ(plan().whyNot, "there is no display (DISPLAY, WAYLAND_DISPLAY)");
  env["DISPLAY"] = "";
  EXPECT_TRUE(command().empty());
  env["WAYLAND_DISPLAY"] = "wayland-0";
  EXPECT_EQ(command(),
            (std::vector<std::string>{dir / "bin1/chromium", "--app=http://127.0.0.1:8779/?token=t",
                                      "--user-data-dir=/home/admin/.config/zelvar/chromium",
                                      "--no-first-run", "--disable-background-networking",
                                      "--disable-component-update", "--disable-sync"}));
  EXPECT_FALSE(plan().user);
  EXPECT_TRUE(plan().environment.empty());
  env = {{"PATH", dir / "none:" + dir / "bin2"}, {"DISPLAY", ":0"}, {"XDG_CONFIG_HOME", "/cfg"}};
  std::vector<std::string> other = command();
  ASSERT_EQ(other.size(), 7u);
  EXPECT_EQ(other[0], dir / "bin2/chromium-browser");
  EXPECT_EQ(other[2], "--user-data-dir=/cfg/zelvar/chromium");
  env["PATH"] = dir / "none";
  EXPECT_TRUE(command().empty());
  EXPECT_EQ(plan().whyNot, "chromium was not found");
}

// As root, the browser runs as the desktop user who started the console through sudo
// or pkexec, with that user's display, home and profile; with no such user nothing is
// started, and the reason says so.
TEST_F(AppBrowser, AsRootRunsAsTheInvokingDesktopUser) {
  if (!findProgram("chromium", "/usr/local/bin:/usr/bin:/bin").size() &&
      !findProgram("chromium-browser", "/usr/local/bin:/usr/bin:/bin").size())
    GTEST_SKIP() << "no chromium installed";
  struct rootCase {
    const char* name;
    std::map<std::string, std::string> env;
    bool runs;
    const char* why;
  };
  const rootCase cases[] = {
      {"root alone",
       {{"DISPLAY", ":0"}, {"HOME", "/root"}},
       false,
       "the browser never runs as root"},
      {"sudo from root", {{"DISPLAY", ":0"}, {"SUDO_UID", "0"}}, false, "never runs as root"},
      {"bad SUDO_UID", {{"DISPLAY", ":0"}, {"SUDO_UID", "1000x"}}, false, "never runs as root"},
      {"unknown user", {{"DISPLAY", ":0"}, {"SUDO_UID", "4242"}}, false, "4242 is not known"},
      {"sudo", {{"DISPLAY", ":1"}, {"SUDO_UID", "1000"}, {"XAUTHORITY", "/run/x/auth"}}, true, ""},
      {"pkexec, Wayland", {{"WAYLAND_DISPLAY", "wayland-0"}, {"PKEXEC_UID", "1000"}}, true, ""},
      {"no display", {{"SUDO_UID", "1000"}}, false, "no display"},
  };
  for (const rootCase& c : cases) {
    SCOPED_TRACE(c.name);
    env = c.env;
    env["HOME"] = "/root";
    env["XDG_CONFIG_HOME"] = "/root/.config";
    browserPlan p = plan(0);
    EXPECT_EQ(!p.program.empty(), c.runs);
    EXPECT_NE(p.whyNot.find(c.why), std::string::npos) << p.whyNot;
    if (!c.runs) continue;
    ASSERT_TRUE(p.user);
    EXPECT_EQ(p.user->uid, 1000u);
    EXPECT_EQ(p.profile, "/home/admin/.config/zelvar/chromium");
    auto has = [&](const std::string& entry) {
      return std::find(p.environment.begin(), p.environment.end(), entry) != p.environment.end();
    };
    EXPECT_TRUE(has("HOME=/home/admin"));
    EXPECT_TRUE(has("USER=admin"));
    EXPECT_TRUE(has("XDG_RUNTIME_DIR=/run/user/1000"));
    EXPECT_EQ(has("DISPLAY=:1"), c.env.count("DISPLAY") == 1);
    EXPECT_EQ(has("XAUTHORITY=/run/x/auth"), c.env.count("XAUTHORITY") == 1);
    EXPECT_EQ(has("WAYLAND_DISPLAY=wayland-0"), c.env.count("WAYLAND_DISPLAY") == 1);
    for (const std::string& e : p.environment) EXPECT_EQ(e.find("/root"), std::string::npos) << e;
  }
}

constexpr const char* summaryHtml = "<h1 id=title>Zelvar Center</h1>";

std::unique_ptr<document> summary() {
  auto doc = std::make_unique<document>();
  doc->load(summaryHtml);
  return doc;
}

// The close control asks the leave check; only when leaving is allowed does the window
// close and the loop end with exit code 0.
TEST(MainWindow, CloseControlEndsTheLoopAfterTheLeaveCheck) {
  fakeClock clock;
  eventLoop loop(clock);
  test::loopWatchdog guard(loop);
  windowHost windows(loop);
  recordingHost browser(windows);
  bool mayLeave = false;
  int asked = 0;
  windowId main = openMainWindow(windows, loop, summary(), [&] {
    ++asked;
    return mayLeave;
  });
  browser.attach();
  loop.pump();
  EXPECT_EQ(browser.window(main)->title, "Zelvar Center");

  browser.closeWindow(main);
  loop.pump();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(windows.isOpen(main));
  EXPECT_FALSE(loop.quitRequested());

  mayLeave = true;
  browser.closeWindow(main);
  EXPECT_EQ(loop.run(), 0);
  EXPECT_EQ(asked, 2);
  EXPECT_FALSE(windows.isOpen(main));
  EXPECT_TRUE(browser.shownWindows().empty());
}

// Restores the signal mask of the thread when the test ends.
class signalMaskGuard {
 public:
  signalMaskGuard() { pthread_sigmask(SIG_SETMASK, nullptr, &saved_); }
  ~signalMaskGuard() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

 private:
  sigset_t saved_;
};

// While the console runs, message boxes and the internal-error box are its windows over
// the main window; SIGTERM ends the loop with exit code 0 and takes the boxes down.
TEST(ConsoleUi, BoxesAreWindowsWhileItRunsAndSigtermEndsIt) {
  test::logCapture log;
  signalMaskGuard mask;
  blockStopSignals();  // before any thread of the test starts
  eventLoop loop;
  test::loopWatchdog guard(loop);
  consoleUiOptions options;
  options.port = 0;
  options.openBrowser = false;
  consoleUi ui(loop, options);
  ASSERT_TRUE(ui.createMainWindow(summary()));
  EXPECT_NE(ui.newLaunchUrl().find("http://127.0.0.1:"), std::string::npos);
  recordingHost browser(ui.windows());  // stands in for the browser from here on
  browser.attach();
  loop.pump();
  windowId main = ui.windows().mainWindow();
  ASSERT_NE(browser.window(main), nullptr);

  browser.answerBox("Сохранить", boxAnswer::no);
  EXPECT_EQ(messageBox("Сохранить изменения?", "Zelvar", boxButtons::yesNoCancel), boxAnswer::no);
  browser.answerBox("INTERNAL ERROR", boxAnswer::retry);
  internalErrorBox("a.cpp", 12, "open");  // returns on Retry
  ASSERT_EQ(browser.boxes().size(), 2u);
  EXPECT_EQ(browser.framesOf("window")[1]["owner"], main);
  EXPECT_EQ(browser.boxes()[1].caption, "INTERNAL ERROR");

  loop.postTask([] { ::kill(::getpid(), SIGTERM); });
  EXPECT_EQ(ui.runMessageLoop(), 0);
  EXPECT_TRUE(log.contains("SIGTERM received"));
  // Without the user interface a box is answered by the console default.
  EXPECT_EQ(messageBox("Сохранить изменения?", "Zelvar", boxButtons::yesNoCancel), boxAnswer::yes);
  EXPECT_EQ(browser.boxes().size(), 2u);
}

// Started for a script, the loop does not wait; a port that is taken fails the main
// window.
TEST(ConsoleUi, ExitAfterStartAndTakenPort) {
  test::logCapture log;
  eventLoop loop;
  consoleUiOptions options;
  options.port = 0;
  options.openBrowser = false;
  options.exitAfterStart = true;
  consoleUi ui(loop, options);
  ASSERT_TRUE(ui.createMainWindow(summary()));
  EXPECT_EQ(ui.runMessageLoop(), 0);

  std::string url = ui.newLaunchUrl();
  std::size_t colon = url.find(':', url.find("127.0.0.1"));
  options.port = *parsePort(url.substr(colon + 1, url.find('/', colon) - colon - 1));
  consoleUi second(loop, options);
  EXPECT_FALSE(second.createMainWindow(summary()));
  EXPECT_TRUE(log.contains("cannot listen"));
}

}  // namespace
}  // namespace zv
