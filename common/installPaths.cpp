#include "common/installPaths.h"

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/registry.h"

namespace zv {
namespace {

installationPaths resolved;
bool isResolved = false;

constexpr std::string_view zelvarKey = "Software\\Zelvar";

std::string withSlash(std::string path) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path;
}

}  // namespace

installationPaths derivePaths(std::string programDir, std::string dataDir) {
  installationPaths p;
  p.programDir = withSlash(std::move(programDir));
  p.binDir = p.programDir + "Bin/";
  p.skinDir = p.binDir + "skin/";
  p.docsDir = p.programDir + "Docs/";
  p.tftpRoot = p.programDir + "TFTPDROOT/";
  p.dataDir = withSlash(std::move(dataDir));
  p.connectionsDir = p.dataDir + "Connections/";
  p.everyoneDir = p.dataDir + "Everyone/";
  p.logsDir = p.dataDir + "Logs/";
  p.templatesDir = p.dataDir + "Templates/";
  p.terminalsDir = p.dataDir + "Terminals/";
  p.keysDir = p.dataDir + "Keys/";
  p.dhcpDir = p.dataDir + "DHCP/";
  p.graphicDir = p.dataDir + "Graphic/";
  p.updateImagesDir = p.dataDir + "UpdateImages/";
  return p;
}

bool readInstallationPaths(registryStore& localMachine, installationPaths& paths) {
  if (!localMachine.keyExists(zelvarKey)) return false;
  std::string program;
  std::string data;
  // The key's default value stands in for a missing Programs value.
  if (localMachine.queryString(zelvarKey, "Programs", program) != regStatus::ok &&
      localMachine.queryString(zelvarKey, "@", program) != regStatus::ok)
    return false;
  if (localMachine.queryString(zelvarKey, "Data", data) != regStatus::ok) return false;
  if (program.empty() || data.empty()) return false;
  paths = derivePaths(std::move(program), std::move(data));
  return true;
}

bool resolveInstallationPaths() {
  if (isResolved) return true;
  installationPaths found;
  if (!readInstallationPaths(registryStore::localMachine(), found)) return false;
  resolved = std::move(found);
  isResolved = true;
  // The first report on a fresh installation creates the logs directory with the log.
  makeDirectories(resolved.logsDir);
  setLogDirectory(resolved.logsDir);
  return true;
}

const installationPaths& paths() {
  return resolved;
}

void setInstallationPaths(const installationPaths& p) {
  resolved = p;
  isResolved = true;
  setLogDirectory(p.logsDir);
}

void resetInstallationPaths() {
  resolved = {};
  isResolved = false;
}

}  // namespace zv
