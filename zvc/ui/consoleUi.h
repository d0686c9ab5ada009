#pragma once
// The console's user interface: the browser host on a loopback port, the window host
// with the main window, the browser's app window, the message boxes and the message
// loop.
//
// consoleMain makes one for the run. createMainWindow (start-up step 20) starts the
// browser host, prints the address to open, opens the main window and the browser;
// runMessageLoop (step 21) runs the loop until the main window's close control is
// used (after the leave check) or SIGINT or SIGTERM arrives, and gives its exit code.
// While the user interface exists, message boxes (zvc/ui/messageBox.h) and the
// internal-error box are windows of it.
//
// User-interface thread only. blockStopSignals() must run before any thread starts, so
// that SIGINT and SIGTERM reach the loop instead of ending the process mid-write.

#include "htmlview/messageBoxWindow.h"
#include "htmlview/webHost.h"
#include "htmlview/windowHost.h"
#include "platform/detachedProcess.h"
#include "platform/eventLoop.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zv {

constexpr std::uint16_t defaultConsolePort = 8779;

struct consoleUiOptions {
  std::uint16_t port = defaultConsolePort;
  bool openBrowser = true;
  // Returns from runMessageLoop at once (scripts and tests start and stop the console).
  bool exitAfterStart = false;
  std::string skinDirectory;  // served at /skin/
  std::string docsDirectory;  // fonts served at /docs/fonts/
  // The browser's app window: its position (none: the window system places it) and size.
  std::optional<std::pair<int, int>> windowPosition;
  int windowWidth = 1200;
  int windowHeight = 950;
};

// A port number 1 to 65535 in decimal; nullopt for anything else.
std::optional<std::uint16_t> parsePort(std::string_view text);

using environmentLookup = std::function<const char*(const char* name)>;
using identityLookup = std::function<std::optional<spawnIdentity>(uid_t uid)>;

// How the console's browser window is started, decided before its launch address is
// made (the address opens only from the browser's uid).
//
// The browser never runs as root. A console running as root through sudo or pkexec
// (SUDO_UID, else PKEXEC_UID, names the invoking user) starts it as that desktop user:
// their uid, groups and home, a fresh environment with their display (DISPLAY,
// WAYLAND_DISPLAY, XAUTHORITY, defaulting to HOME/.Xauthority; XDG_RUNTIME_DIR
// /run/user/UID) and their own profile HOME/.config/zelvar/chromium. As another user
// the browser keeps the console's environment and the profile is XDG_CONFIG_HOME (or
// HOME/.config) + "/zelvar/chromium". Without a display, a chromium (chromium, then
// chromium-browser) or such a user, `program` is empty and `whyNot` says why.
struct browserPlan {
  std::string program;
  std::string profile;
  std::optional<spawnIdentity> user;     // set when the console is root
  std::vector<std::string> environment;  // the browser's whole environment, with `user`
  std::string whyNot;
};
browserPlan planAppBrowser(const environmentLookup& env, uid_t euid, const identityLookup& users);

// The command that opens `url` in an app window of the plan's browser; the window's
// size and position, when given, are passed to it.
std::vector<std::string> appBrowserCommand(const std::string& url, const browserPlan& plan,
                                           const consoleUiOptions* window = nullptr);

// Opens the main window ("Zelvar Center") with the document. Its close control asks
// `leaveCheck` (empty: leaving is allowed); when leaving, the window is closed and
// the loop ends with exit code 0. wm::closeAtOnce (the instance listener's) ends the loop
// with exit code 0 at once, without the leave check.
windowId openMainWindow(windowHost& windows, eventLoop& loop, std::unique_ptr<document> doc,
                        std::function<bool()> leaveCheck, std::vector<std::string> css = {});

// Blocks SIGINT and SIGTERM in the calling thread and the threads it starts later;
// runMessageLoop takes them over.
void blockStopSignals();

class consoleUi {
 public:
  consoleUi(eventLoop& loop, consoleUiOptions options);
  ~consoleUi();
  consoleUi(const consoleUi&) = delete;
  consoleUi& operator=(const consoleUi&) = delete;

  // Where the browser's app window opens (before createMainWindow).
  void setBrowserWindow(std::optional<std::pair<int, int>> position, int width, int height) {
    options_.windowPosition = position;
    options_.windowWidth = width;
    options_.windowHeight = height;
  }
  // False, with the reason on standard error and in the diagnostic log, when the
  // browser host cannot listen. `css` are the main window's style sheets ("/skin/…").
  bool createMainWindow(std::unique_ptr<document> doc, std::vector<std::string> css = {});
  int runMessageLoop();

  windowHost& windows() { return windows_; }
  // A fresh one-time address of the console (empty before createMainWindow); any thread.
  std::string newLaunchUrl() { return host_ ? host_->launchUrl() : std::string(); }
  // Asked before the main window closes; empty allows leaving.
  std::function<bool()> leaveCheck;

 private:
  void installBoxes();
  void removeBoxes();

  eventLoop& loop_;
  consoleUiOptions options_;
  windowHost windows_;  // before the browser host, which calls it until destroyed
  std::unique_ptr<webHost> host_;
  internalErrorWindow errorUi_;
  bool boxesInstalled_ = false;
};

}  // namespace zv
