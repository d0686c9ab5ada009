#include "zvc/console.h"

#include "common/installPaths.h"
#include "htmlview/dom.h"
#include "platform/diagnostics.h"
#include "platform/eventLoop.h"
#include "zvc/configurator.h"
#include "zvc/consoleState.h"
#include "zvc/consoleUi.h"
#include "zvc/gallery.h"

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

// The main window until the real one exists: the title and what was loaded.
std::unique_ptr<document> summaryDocument(const consoleState& state) {
  auto doc = std::make_unique<document>();
  doc->load(
      "<html><head><style>"
      "body{font:14px sans-serif;margin:24px}th{text-align:left;padding-right:16px}"
      "td,th{padding:3px 0}"
      "</style></head><body><h1>Zelvar Center</h1><table id=summary>"
      "<tr><th>Каталог программы</th><td id=programDir></td></tr>"
      "<tr><th>Каталог данных</th><td id=dataDir></td></tr>"
      "<tr><th>Терминалы</th><td id=terminals></td></tr>"
      "<tr><th>Группы</th><td id=groups></td></tr>"
      "<tr><th>Журнал диагностики</th><td id=diagnosticLog></td></tr>"
      "</table></body></html>");
  const installationPaths& p = paths();
  doc->byId("programDir")->setText(p.programDir);
  doc->byId("dataDir")->setText(p.dataDir);
  doc->byId("terminals")->setText(std::to_string(state.terminals.size()));
  doc->byId("groups")->setText(std::to_string(state.groups.groups().size()));
  doc->byId("diagnosticLog")->setText(diagnosticLogPath());
  return doc;
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
  consoleState state;
  std::unique_ptr<consoleUi> ui;
  startupSteps steps;
  state.wireStartup(steps);
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
    return ui->createMainWindow(summaryDocument(state));
  };
  steps.runMessageLoop = [&] { return ui->runMessageLoop(); };
  int exitCode = runConfigurator(steps);
  ui.reset();
  return exitCode;
}

}  // namespace zv
