#pragma once
// Everything the console loads at start-up and keeps for the run: the installed
// versions with their specifications, the default DHCP options, the groups, the
// template and connection libraries and the register of terminals. zvcenter and zvctl
// load it the same way.
//
// User-interface thread only.

#include "common/configLibrary.h"
#include "common/groups.h"
#include "common/optionsDHCP.h"
#include "zvc/register/terminals.h"
#include "zvc/register/versions.h"
#include "zvc/ui/startup.h"

#include <memory>

namespace zv {

struct consoleState {
  installedVersions versions;
  std::unique_ptr<dhcpDefaults> dhcp;  // made when the installation paths are known
  groupList groups;
  configLibraries libraries;
  terminalRegister terminals{libraries};
  // The installation's boot mode: 1 TFTP, 2 HTTP ("httpboot" reads 1).
  uint32_t bootMode = 1;

  consoleState();
  consoleState(const consoleState&) = delete;
  consoleState& operator=(const consoleState&) = delete;

  // Fills the loading steps of start-up (versions to terminals).
  void wireStartup(startupSteps& steps);
  // Runs those steps in start-up order, for programs without a window (zvctl). The
  // installation paths must be resolved.
  void loadAll();
};

}  // namespace zv
