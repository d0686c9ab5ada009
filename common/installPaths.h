#pragma once
// The installation's directories, found through the registry once at start-up.
//
// Two roots come from HKLM Software\Zelvar: `Programs` (or the key's default value
// when `Programs` is missing) and `Data` (required). Every other directory is derived
// from them. All paths are POSIX paths ending with '/', so callers append a file name
// directly.
//
// The set is computed once on the user-interface thread before any other thread
// starts and never changes afterwards; reading it is then safe from every thread.

#include <string>

namespace zv {

class registryStore;

struct installationPaths {
  std::string programDir;       // Programs
  std::string binDir;           // Programs/Bin/
  std::string skinDir;          // Programs/Bin/skin/
  std::string docsDir;          // Programs/Docs/
  std::string tftpRoot;         // Programs/TFTPDROOT/
  std::string dataDir;          // Data
  std::string connectionsDir;   // Data/Connections/
  std::string everyoneDir;      // Data/Everyone/
  std::string logsDir;          // Data/Logs/
  std::string templatesDir;     // Data/Templates/
  std::string terminalsDir;     // Data/Terminals/
  std::string keysDir;          // Data/Keys/
  std::string dhcpDir;          // Data/DHCP/
  std::string graphicDir;       // Data/Graphic/
  std::string updateImagesDir;  // Data/UpdateImages/
};

// Derives every directory from the two roots (a missing trailing '/' is added).
installationPaths derivePaths(std::string programDir, std::string dataDir);

// Reads the roots from the given HKLM store. False when the key cannot be opened, or
// neither `Programs` nor the default value, or `Data`, can be read as a string.
bool readInstallationPaths(registryStore& localMachine, installationPaths& paths);

// Computes the process-wide set from registryStore::localMachine() the first time;
// true on success or when it was already computed (the registry is not read again).
// Also points the diagnostic log at the logs directory.
bool resolveInstallationPaths();

// The process-wide set; empty strings until resolved.
const installationPaths& paths();

// Installs a set directly, without the registry (tests, the demo maker), pointing the
// diagnostic log at its logs directory; or forgets the resolved set.
void setInstallationPaths(const installationPaths& paths);
void resetInstallationPaths();

}  // namespace zv
