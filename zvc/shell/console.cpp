#include "zvc/shell/console.h"

#include "common/installPaths.h"
#include "htmlview/dom.h"
#include "platform/controlSocket.h"
#include "platform/diagnostics.h"
#include "platform/eventLoop.h"
#include "zvc/register/consoleState.h"
#include "zvc/shell/configurator.h"
#include "zvc/shell/consoleSession.h"
#include "zvc/shell/gallery.h"
#include "zvc/shell/instanceGuard.h"
#include "zvc/ui/consoleUi.h"
#include "zvc/ui/messageBox.h"

#include <nlohmann/json.hpp>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

// Where `--gallery` finds the style sheets without an installation: the skin of the
// source tree the program was built from.
#ifndef ZV_SKIN_SOURCE_DIR
#define ZV_SKIN_SOURCE_DIR ""
#endif

namespace zv {
namespace {

void printUsage() {
  std::cout << "usage: zvcenter [--no-browser] [--exit-after-start] [--gallery [--skin DIR]]\n"
               "Reads the installation from ZELVAR_HKLM (default /etc/zelvar/registry.conf)\n"
               "and serves the console on 127.0.0.1, port ZELVAR_PORT (default "
            << defaultConsolePort
            << ").\n"
               "  --no-browser        do not open a browser window; open the printed address\n"
               "  --exit-after-start  start, print what was found and the address, then exit\n"
               "  --gallery           show the gallery of controls instead of the console;\n"
               "                      needs no installation, only the skin's style sheets\n"
               "  --skin DIR          the skin directory of the gallery (default: the source\n"
               "                      tree's skin/, "
            << (*ZV_SKIN_SOURCE_DIR ? ZV_SKIN_SOURCE_DIR : "not known") << ")\n";
}

// One request of zvctl on the control socket: {"command":"url"} gives a fresh one-time
// address of the console.
std::string answerControl(consoleUi& ui, const std::string& text) {
  using json = nlohmann::json;
  json request = json::parse(text, nullptr, false);
  if (request.is_object() && request.value("command", json()) == "url") {
    std::string url = ui.newLaunchUrl();
    if (!url.empty()) return json{{"ok", true}, {"url", url}}.dump();
    return json{{"ok", false}, {"error", "No address could be made."}}.dump();
  }
  return json{{"ok", false}, {"error", "Unknown request."}}.dump();
}

}  // namespace

int consoleMain(int argc, char** argv) {
  consoleUiOptions options;
  bool gallery = false;
  std::string skin;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      printUsage();
      return 0;
    }
    if (std::strcmp(argv[i], "--no-browser") == 0) {
      options.openBrowser = false;
    } else if (std::strcmp(argv[i], "--exit-after-start") == 0) {
      options.exitAfterStart = true;
    } else if (std::strcmp(argv[i], "--gallery") == 0) {
      gallery = true;
    } else if (std::strcmp(argv[i], "--skin") == 0 && i + 1 < argc) {
      skin = argv[++i];
    } else {
      std::cerr << "zvcenter: unknown option " << argv[i] << "\n";
      return 2;
    }
  }
  if (const char* port = std::getenv("ZELVAR_PORT"); port && *port) {
    if (auto parsed = parsePort(port)) {
      options.port = *parsed;
    } else {
      std::cerr << "zvcenter: ZELVAR_PORT \"" << port << "\" is not a port; using "
                << defaultConsolePort << "\n";
    }
  }
  if (gallery) {
    // The gallery shows only the engine's controls: no installation, no start-up steps.
    options.skinDirectory = skin.empty() ? std::string(ZV_SKIN_SOURCE_DIR) : skin;
    if (!options.skinDirectory.empty() && options.skinDirectory.back() != '/')
      options.skinDirectory += '/';
    return runGallery(std::move(options));
  }
  if (!skin.empty()) {
    std::cerr << "zvcenter: --skin goes with --gallery; the console uses the installation's skin\n";
    return 2;
  }
  // Before any thread starts, so that they all leave the signals to the loop.
  blockStopSignals();

  eventLoop loop;
  instanceGuard instance(loop, instanceTimingFromEnvironment());
  consoleState state;
  std::unique_ptr<consoleUi> ui;
  std::unique_ptr<consoleSession> session;
  std::unique_ptr<controlServer> control;
  startupSteps steps;
  state.wireStartup(steps);
  steps.claimInstance = [&] {
    if (instance.claimInstance()) return true;
    // No window exists yet. An administrator who started the console from a terminal
    // answers the question there; otherwise it takes its default button (Yes): the
    // request only asks the other console's user, who can refuse it.
    bool onTerminal = ::isatty(STDIN_FILENO) == 1;
    if (onTerminal) {
      setMessageBoxHandler(
          [](const std::string& text, const std::string& caption, boxButtons buttons, boxIcon) {
            logMessage("%s: %s", caption.c_str(), text.c_str());
            if (buttons == boxButtons::ok)
              return terminalMessageBox(text, caption, buttons, std::cin, std::cerr);
            // Ctrl+C at the question ends the console, which holds nothing yet.
            sigset_t stop;
            sigemptyset(&stop);
            sigaddset(&stop, SIGINT);
            sigaddset(&stop, SIGTERM);
            pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
            boxAnswer answer = terminalMessageBox(text, caption, buttons, std::cin, std::cerr);
            pthread_sigmask(SIG_BLOCK, &stop, nullptr);
            return answer;
          });
    }
    windowHost waiting(loop);
    bool obtained = instance.askRunningInstance(waiting);
    if (onTerminal) setMessageBoxHandler(nullptr);
    return obtained;
  };
  steps.startInstanceListener = [&] {
    if (!instance.startInstanceListener()) std::exit(1);
  };
  steps.closeInstance = [&] { instance.closeInstance(); };
  steps.createMainWindow = [&] {
    const installationPaths& p = paths();
    logMessage("Zelvar Center started: program directory %s, data directory %s, %d terminals.",
               p.programDir.c_str(), p.dataDir.c_str(), int(state.terminals.size()));
    std::cout << "Zelvar Center\n"
              << "  program directory: " << p.programDir << "\n"
              << "  data directory:    " << p.dataDir << "\n"
              << "  terminals:         " << state.terminals.size() << "\n"
              << "  groups:            " << state.groups.groups().size() << "\n"
              << "  diagnostic log:    " << diagnosticLogPath() << "\n";
    options.skinDirectory = p.skinDir;
    options.docsDirectory = p.docsDir;
    ui = std::make_unique<consoleUi>(loop, options);
    session = std::make_unique<consoleSession>(ui->windows(), loop, state,
                                               registryStore::currentUser(), p.skinDir);
    ui->leaveCheck = [&session] { return session->main().closeRequested(); };
    bool opened = session->open([&ui](std::unique_ptr<document> doc, const screenRect& place) {
      ui->setBrowserWindow(place.x == cwUseDefault ? std::nullopt
                                                   : std::optional<std::pair<int, int>>(
                                                         std::in_place, place.x, place.y),
                           place.width, place.height);
      return ui->createMainWindow(std::move(doc)) ? ui->windows().mainWindow() : windowId(0);
    });
    if (!opened) return false;
    instance.setMainWindow(ui->windows().mainWindow());
    control = std::make_unique<controlServer>(
        consoleControlName,
        [&ui](const std::string& request) { return answerControl(*ui, request); });
    return true;
  };
  steps.runMessageLoop = [&] { return ui->runMessageLoop(); };
  int exitCode = runConfigurator(steps);
  control.reset();
  session.reset();
  ui.reset();
  return exitCode;
}

}  // namespace zv
