#include "zvc/register/consoleState.h"

#include "common/bindIPsList.h"
#include "common/netInterfaces.h"
#include "platform/registry.h"

#include "common/installPaths.h"

namespace zv {

consoleState::consoleState() {
  terminals.findSpec = [this](std::string_view name) { return versions.findVersionSpec(name); };
  terminals.groupNumbers = [this] {
    std::vector<int> numbers;
    for (const terminalGroup& g : groups.groups()) numbers.push_back(g.number);
    return numbers;
  };
}

void consoleState::wireStartup(startupSteps& steps) {
  steps.scanVersions = [this] { versions.scanVersions(paths()); };
  steps.loadSpecifications = [this] { versions.loadSpecifications(paths()); };
  steps.loadDhcpDefaults = [this] {
    dhcp = std::make_unique<dhcpDefaults>(paths().dhcpDir);
    dhcp->load();
  };
  steps.loadGroups = [this] { groups.load(groupsPath()); };
  steps.loadConnections = [this] { libraries.loadConnections(paths().connectionsDir); };
  steps.loadTemplates = [this] {
    libraries.loadTemplates(paths().templatesDir);
    libraries.loadAllTerminals(paths().everyoneDir);
  };
  steps.loadTerminals = [this] { terminals.loadAllTerminals(); };
  steps.scanInterfaces = [] { startupInterfaceScan(); };
  steps.readBindIp = [] { loadBindList(); };
  steps.readBootMode = [this] {
    uint32_t http = 0;
    bool read = registryStore::localMachine().queryDword("Software\\Zelvar", "httpboot", http) ==
                regStatus::ok;
    bootMode = read && http == 1 ? 2 : 1;
  };
}

void consoleState::loadAll() {
  startupSteps steps;
  wireStartup(steps);
  for (auto* step : {&steps.scanVersions, &steps.loadSpecifications, &steps.readBootMode,
                     &steps.loadDhcpDefaults, &steps.loadGroups, &steps.loadConnections,
                     &steps.loadTemplates, &steps.loadTerminals})
    if (*step) (*step)();
}

}  // namespace zv
