#include "zvc/ui/consoleUi.h"

#include "htmlview/webRoutes.h"
#include "platform/detachedProcess.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/windowMessages.h"
#include "zvc/ui/messageBox.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <thread>

namespace zv {
namespace {

constexpr const char* mainWindowTitle = "Zelvar Center";
// The main window's size until the stored geometry is applied.
constexpr int mainWindowWidth = 1200;
constexpr int mainWindowHeight = 900;

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

// Waits for SIGINT or SIGTERM and ends the loop. The signals are blocked in every
// thread, so they wait here; the watch looks every tenth of a second whether it
// should end.
class stopSignalWatch {
 public:
  explicit stopSignalWatch(eventLoop& loop) : loop_(loop), thread_([this] { watch(); }) {}
  ~stopSignalWatch() {
    finished_ = true;
    thread_.join();
  }
  stopSignalWatch(const stopSignalWatch&) = delete;
  stopSignalWatch& operator=(const stopSignalWatch&) = delete;

 private:
  void watch() {
    sigset_t set = stopSignals();
    const timespec tick{0, 100'000'000};
    while (!finished_) {
      int received = sigtimedwait(&set, nullptr, &tick);
      if (received < 0) continue;  // time-out or interruption
      logMessage("Zelvar Center: %s received; the console closes.",
                 received == SIGINT ? "SIGINT" : "SIGTERM");
      loop_.quit(0);
    }
  }

  eventLoop& loop_;
  std::atomic<bool> finished_{false};
  std::thread thread_;  // last: it starts when everything else is ready
};

}  // namespace

std::optional<std::uint16_t> parsePort(std::string_view text) {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value == 0 || value > 65535)
    return std::nullopt;
  return std::uint16_t(value);
}

browserPlan planAppBrowser(const environmentLookup& env, uid_t euid, const identityLookup& users) {
  auto set = [&](const char* name) -> const char* {
    const char* value = env(name);
    return value && *value ? value : nullptr;
  };
  browserPlan plan;
  const char* display = set("DISPLAY");
  const char* wayland = set("WAYLAND_DISPLAY");
  if (!display && !wayland) {
    plan.whyNot = "there is no display (DISPLAY, WAYLAND_DISPLAY)";
    return plan;
  }
  std::string searchPath;
  if (euid == 0) {
    std::optional<uid_t> invoker;
    for (const char* name : {"SUDO_UID", "PKEXEC_UID"}) {
      const char* text = set(name);
      if (!text) continue;
      unsigned long value = 0;
      std::string_view digits(text);
      auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
      if (error == std::errc() && end == digits.data() + digits.size() && value > 0 &&
          value < 0xFFFFFFFFul)
        invoker = uid_t(value);
      break;
    }
    if (!invoker) {
      plan.whyNot =
          "the console runs as root and no desktop user started it through sudo or pkexec "
          "(SUDO_UID, PKEXEC_UID); the browser never runs as root";
      return plan;
    }
    plan.user = users(*invoker);
    if (!plan.user) {
      plan.whyNot = "the invoking user " + std::to_string(*invoker) + " is not known";
      return plan;
    }
    const spawnIdentity& u = *plan.user;
    std::string runtime = "/run/user/" + std::to_string(u.uid);
    searchPath = "/usr/local/bin:/usr/bin:/bin";
    plan.environment = {"PATH=" + searchPath,
                        "HOME=" + u.directory,
                        "USER=" + u.name,
                        "LOGNAME=" + u.name,
                        "XDG_RUNTIME_DIR=" + runtime,
                        "DBUS_SESSION_BUS_ADDRESS=unix:path=" + runtime + "/bus"};
    if (display) {
      plan.environment.push_back(std::string("DISPLAY=") + display);
      const char* xauthority = set("XAUTHORITY");
      plan.environment.push_back(
          "XAUTHORITY=" + (xauthority ? std::string(xauthority) : u.directory + "/.Xauthority"));
    }
    if (wayland) plan.environment.push_back(std::string("WAYLAND_DISPLAY=") + wayland);
    for (const char* name : {"LANG", "LC_ALL"})
      if (const char* value = set(name))
        plan.environment.push_back(std::string(name) + "=" + value);
    plan.profile = u.directory + "/.config/zelvar/chromium";
  } else {
    const char* path = set("PATH");
    searchPath = path ? path : "/usr/bin:/bin";
    if (const char* config = set("XDG_CONFIG_HOME")) {
      plan.profile = std::string(config) + "/zelvar/chromium";
    } else if (const char* home = set("HOME")) {
      plan.profile = std::string(home) + "/.config/zelvar/chromium";
    } else {
      plan.whyNot = "there is no home directory (HOME) for the browser's profile";
      return plan;
    }
  }
  plan.program = findProgram("chromium", searchPath);
  if (plan.program.empty()) plan.program = findProgram("chromium-browser", searchPath);
  if (plan.program.empty()) plan.whyNot = "chromium was not found";
  return plan;
}

std::vector<std::string> appBrowserCommand(const std::string& url, const browserPlan& plan,
                                           const consoleUiOptions* window) {
  if (plan.program.empty()) return {};
  std::vector<std::string> command = {plan.program,
                                      "--app=" + url,
                                      "--user-data-dir=" + plan.profile,
                                      "--no-first-run",
                                      "--disable-background-networking",
                                      "--disable-component-update",
                                      "--disable-sync"};
  if (window) {
    command.push_back("--window-size=" + std::to_string(window->windowWidth) + "," +
                      std::to_string(window->windowHeight));
    if (window->windowPosition)
      command.push_back("--window-position=" + std::to_string(window->windowPosition->first) + "," +
                        std::to_string(window->windowPosition->second));
  }
  return command;
}

windowId openMainWindow(windowHost& windows, eventLoop& loop, std::unique_ptr<document> doc,
                        std::function<bool()> leaveCheck, std::vector<std::string> css) {
  windowSpec spec;
  spec.css = std::move(css);
  spec.title = mainWindowTitle;
  spec.width = mainWindowWidth;
  spec.height = mainWindowHeight;
  windowId main = windows.openWindow(std::move(spec), std::move(doc));
  if (main == 0) return 0;
  windows.setCloseHandler(main, [&windows, &loop, main, leaveCheck = std::move(leaveCheck)] {
    if (leaveCheck && !leaveCheck()) return;
    windows.closeWindow(main);
    loop.quit(0);
  });
  // Another console took over: end at once, without the leave check and without saving.
  windows.setProcedure(main, [&loop](message& m) -> std::intptr_t {
    if (m.id != wm::closeAtOnce) return 0;
    logMessage("Zelvar Center: another console takes over; this one ends.");
    loop.quit(0);
    return 0;
  });
  return main;
}

void blockStopSignals() {
  sigset_t set = stopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

consoleUi::consoleUi(eventLoop& loop, consoleUiOptions options)
    : loop_(loop), options_(std::move(options)), windows_(loop), errorUi_(windows_) {
  // The windows' sheets are the skin's files as the browser gets them: their behaviour
  // declarations attach the behaviours.
  windows_.setStyleSheetSource(
      [skin = options_.skinDirectory](const std::string& url) -> std::optional<std::string> {
        constexpr std::string_view prefix = "/skin/";
        if (skin.empty() || !url.starts_with(prefix)) return std::nullopt;
        std::optional<std::string> name = safeRelativePath(url.substr(prefix.size()));
        if (!name) return std::nullopt;
        return readFileBeneath(skin, *name);
      });
}

consoleUi::~consoleUi() {
  removeBoxes();
  // The browser host goes first: its thread calls the window host until it is stopped.
  host_.reset();
}

bool consoleUi::createMainWindow(std::unique_ptr<document> doc, std::vector<std::string> css) {
  webHostConfig config;
  config.port = options_.port;
  config.skinDirectory = options_.skinDirectory;
  config.docsDirectory = options_.docsDirectory;
  host_ = std::make_unique<webHost>(config, windows_);
  if (!host_->start()) {
    std::cerr << "zvcenter: cannot listen on 127.0.0.1 port " << options_.port
              << " (see the diagnostic log)\n";
    host_.reset();
    return false;
  }
  windows_.setSender([host = host_.get()](const nlohmann::json& frame) { host->send(frame); });
  windowId main = openMainWindow(
      windows_, loop_, std::move(doc), [this] { return !leaveCheck || leaveCheck(); },
      std::move(css));
  if (main == 0) return false;
  installBoxes();
  logMessage("Zelvar Center: the console is at http://127.0.0.1:%u/", unsigned(host_->port()));

  // The address printed here opens the console once; the browser gets one of its own
  // that opens only from the browser's uid, so reading the browser's command line from
  // the process table gives another user nothing.
  browserPlan plan;
  if (options_.openBrowser) {
    plan = planAppBrowser([](const char* name) { return std::getenv(name); }, ::geteuid(),
                          identityOfUser);
    if (!plan.program.empty()) {
      uid_t browserUid = plan.user ? plan.user->uid : ::geteuid();
      std::vector<std::string> command =
          appBrowserCommand(host_->launchUrl(browserUid), plan, &options_);
      if (spawnDetached(command, plan.user ? &*plan.user : nullptr,
                        plan.user ? &plan.environment : nullptr)) {
        std::cout << "  address:           http://127.0.0.1:" << host_->port()
                  << "/ (opened in a browser window; another address: zvctl console url)"
                  << std::endl;
        return true;
      }
      plan.whyNot = "the browser did not start";
    }
  }
  std::cout << "  address:           " << host_->launchUrl() << std::endl;
  if (options_.openBrowser)
    std::cerr << "zvcenter: no browser window opens: " << plan.whyNot
              << ". Open the address above, once, in a browser of your desktop user; "
                 "\"zvctl console url\" gives another.\n";
  return true;
}

int consoleUi::runMessageLoop() {
  if (options_.exitAfterStart) {
    loop_.pump();
    removeBoxes();
    return 0;
  }
  blockStopSignals();
  int exitCode = 0;
  {
    stopSignalWatch signals(loop_);
    exitCode = loop_.run();
  }
  removeBoxes();
  return exitCode;
}

void consoleUi::installBoxes() {
  setMessageBoxHandler([this](const std::string& text, const std::string& caption,
                              boxButtons buttons, boxIcon icon) {
    return showMessageBox(windows_, windows_.activeWindow(), text, caption, buttons, icon);
  });
  setInternalErrorUi(&errorUi_);
  boxesInstalled_ = true;
}

void consoleUi::removeBoxes() {
  if (!boxesInstalled_) return;
  setMessageBoxHandler(nullptr);
  setInternalErrorUi(nullptr);
  boxesInstalled_ = false;
}

}  // namespace zv
