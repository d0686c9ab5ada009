#include "zvc/console.h"

#include "common/groups.h"
#include "common/installPaths.h"
#include "platform/diagnostics.h"
#include "zvc/configurator.h"
#include "zvc/terminals.h"
#include "zvc/versions.h"

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

  terminalRegister terminals;
  installedVersions versions;
  // The terminal groups, read once at start-up and replaced by the groups page.
  groupList groups;
  terminals.findSpec = [&](std::string_view name) { return versions.findVersionSpec(name); };
  terminals.groupNumbers = [&] {
    std::vector<int> numbers;
    for (const terminalGroup& g : groups.groups()) numbers.push_back(g.number);
    return numbers;
  };
  startupSteps steps;
  steps.scanVersions = [&] { versions.scanVersions(paths()); };
  steps.loadSpecifications = [&] { versions.loadSpecifications(paths()); };
  steps.loadGroups = [&] { groups.load(groupsPath()); };
  steps.loadTerminals = [&] { terminals.loadAllTerminals(); };
  steps.createMainWindow = [&] {
    const installationPaths& p = paths();
    logMessage("Zelvar Center started: program directory %s, data directory %s, %d terminals.",
               p.programDir.c_str(), p.dataDir.c_str(), int(terminals.size()));
    std::cout << "Zelvar Center\n"
              << "  program directory: " << p.programDir << "\n"
              << "  data directory:    " << p.dataDir << "\n"
              << "  terminals:         " << terminals.size() << "\n"
              << "  groups:            " << groups.groups().size() << "\n"
              << "  diagnostic log:    " << diagnosticLogPath() << "\n";
    return true;
  };
  return runConfigurator(steps);
}

}  // namespace zv
