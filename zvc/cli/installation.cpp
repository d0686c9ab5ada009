#include "zvc/cli/installation.h"

#include "common/installPaths.h"
#include "common/mac.h"
#include "zvc/cli/output.h"

#include <cerrno>
#include <string_view>

namespace zv::cli {

std::unique_ptr<consoleState> loadInstallation() {
  if (!resolveInstallationPaths()) return nullptr;
  auto state = std::make_unique<consoleState>();
  state->terminals.readOnly = true;
  state->libraries.readOnly = true;
  state->loadAll();
  return state;
}

std::unique_ptr<registerLock> lockRegister(std::ostream& out) {
  if (!resolveInstallationPaths()) {
    fail(out, installationError);
    return nullptr;
  }
  auto lock = std::make_unique<registerLock>();
  if (lock->take(paths().dataDir)) return lock;
  fail(out,
       errno == EWOULDBLOCK
           ? "The terminal register is being changed by another program (" + paths().dataDir +
                 registerLockFileName + "); try again later."
           : "Cannot lock the terminal register (" + paths().dataDir + registerLockFileName + ").");
  return nullptr;
}

const terminal* findTerminal(const consoleState& state, const std::string& text,
                             std::ostream& out) {
  auto mac = parseMac(std::string_view(text), ':');
  if (!mac) {
    fail(out, "Invalid MAC address: " + text);
    return nullptr;
  }
  const terminal* t = state.terminals.findByMac(*mac);
  if (!t) fail(out, "Unknown terminal: " + mac->logText());
  return t;
}

}  // namespace zv::cli
