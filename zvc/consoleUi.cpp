#include "zvc/consoleUi.h"

#include "htmlview/webRoutes.h"
#include "platform/detachedProcess.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/windowMessages.h"
#include "zvc/messageBox.h"

#include <signal.h>

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

std::vector<std::string> appBrowserCommand(const std::string& url, const environmentLookup& env,
                                           const consoleUiOptions* window) {
  auto set = [&](const char* name) {
    const char* value = env(name);
    return value && *value ? value : nullptr;
  };
  if (!set("DISPLAY") && !set("WAYLAND_DISPLAY")) return {};
  const char* path = set("PATH");
  std::string program = findProgram("chromium", path ? path : "/usr/bin:/bin");
  if (program.empty()) program = findProgram("chromium-browser", path ? path : "/usr/bin:/bin");
  if (program.empty()) return {};
  std::string profile;
  if (const char* config = set("XDG_CONFIG_HOME")) {
    profile = config;
  } else if (const char* home = set("HOME")) {
    profile = std::string(home) + "/.config";
  } else {
    return {};
  }
  profile += "/zelvar/chromium";
  std::vector<std::string> command = {program,
                                      "--app=" + url,
                                      "--user-data-dir=" + profile,
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
        return readFileBytes(skin + *name);
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
  url_ = host_->url();
  windowId main = openMainWindow(
      windows_, loop_, std::move(doc), [this] { return !leaveCheck || leaveCheck(); },
      std::move(css));
  if (main == 0) return false;
  installBoxes();
  std::cout << "  address:           " << url_ << std::endl;
  logMessage("Zelvar Center: the console is at http://127.0.0.1:%u/", unsigned(host_->port()));

  if (!options_.openBrowser) return true;
  std::vector<std::string> command = appBrowserCommand(
      url_, [](const char* name) { return std::getenv(name); }, &options_);
  if (command.empty()) {
    if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY"))
      std::cerr << "zvcenter: chromium was not found; open the address in a browser\n";
    return true;
  }
  if (!spawnDetached(command))
    std::cerr << "zvcenter: the browser did not start; open the address in a browser\n";
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
