#include "zvc/shell/configurator.h"

#include "common/installPaths.h"

#include <functional>

namespace zv {
namespace {

void run(const std::function<void()>& step) {
  if (step) step();
}

}  // namespace

int runConfigurator(const startupSteps& steps) {
  if (!resolveInstallationPaths()) {
    startupMessageBox("Zelvar установлена некорректно.", criticalCaption);
    return 1;
  }
  // Sockets need no start-up call here.
  run(steps.scanInterfaces);
  run(steps.readBindIp);
  run(steps.rebuildProbeAddresses);
  if (steps.claimInstance && !steps.claimInstance()) return 0;
  run(steps.startInstanceListener);
  run(steps.readWindowSettings);
  run(steps.scanVersions);
  run(steps.loadSpecifications);
  run(steps.readBootMode);
  run(steps.loadDhcpDefaults);
  run(steps.loadGroups);
  run(steps.loadConnections);
  run(steps.loadTemplates);
  run(steps.loadTerminals);
  if (steps.registerLogViewClass && !steps.registerLogViewClass()) {
    startupMessageBox("LoggingRegisterClass failed.", criticalCaption);
    return 2;
  }
  if (steps.registerMainWindowClass && !steps.registerMainWindowClass()) {
    startupMessageBox("MyRegisterClass failed.", criticalCaption);
    return 2;
  }
  if (steps.createMainWindow && !steps.createMainWindow()) {
    startupMessageBox("InitInstance failed.", criticalCaption);
    return 3;
  }
  int exitCode = steps.runMessageLoop ? steps.runMessageLoop() : 0;
  run(steps.closeInstance);
  run(steps.closeViewers);
  return exitCode;
}

}  // namespace zv
