#include "zvc/console.h"

#include "common/groups.h"
#include "common/installPaths.h"
#include "common/mac.h"
#include "platform/diagnostics.h"
#include "zvc/configurator.h"

#include <dirent.h>
#include <cstring>
#include <iostream>

namespace zv {
namespace {

// Counts the terminal directories (names in the "00.1A.2B.3C.4D.5E" form).
int countTerminalDirectories(const std::string& directory) {
  DIR* dir = ::opendir(directory.c_str());
  if (!dir) return 0;
  int count = 0;
  while (dirent* entry = ::readdir(dir))
    if (parseMac(std::string_view(entry->d_name), '.')) ++count;
  ::closedir(dir);
  return count;
}

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

  int terminals = 0;
  // The terminal groups, read once at start-up and replaced by the groups page.
  groupList groups;
  startupSteps steps;
  steps.loadGroups = [&] { groups.load(groupsPath()); };
  steps.loadTerminals = [&] { terminals = countTerminalDirectories(paths().terminalsDir); };
  steps.createMainWindow = [&] {
    const installationPaths& p = paths();
    logMessage("Zelvar Center started: program directory %s, data directory %s, %d terminals.",
               p.programDir.c_str(), p.dataDir.c_str(), terminals);
    std::cout << "Zelvar Center\n"
              << "  program directory: " << p.programDir << "\n"
              << "  data directory:    " << p.dataDir << "\n"
              << "  terminals:         " << terminals << "\n"
              << "  groups:            " << groups.groups().size() << "\n"
              << "  diagnostic log:    " << diagnosticLogPath() << "\n";
    return true;
  };
  return runConfigurator(steps);
}

}  // namespace zv
