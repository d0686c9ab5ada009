#include "zvc/console.h"

#include "common/installPaths.h"
#include "platform/diagnostics.h"
#include "zvc/configurator.h"
#include "zvc/consoleState.h"

#include <cstring>
#include <iostream>

namespace zv {
namespace {

void printUsage() {
  std::cout << "usage: zvcenter [--no-browser]\n"
               "Reads the installation from ZELVAR_HKLM (default /etc/zelvar/registry.conf).\n";
}

}  // namespace

int consoleMain(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      printUsage();
      return 0;
    }
    if (std::strcmp(argv[i], "--no-browser") != 0) {
      std::cerr << "zvcenter: unknown option " << argv[i] << "\n";
      return 2;
    }
  }

  consoleState state;
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
    return true;
  };
  return runConfigurator(steps);
}

}  // namespace zv
