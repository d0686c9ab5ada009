// zvdemo: lays out a demo installation under a root directory, with registry files
// that point at it, so the console and zvctl have something real to work on.
//
//   zvdemo ROOT    creates ROOT/registry/hklm.conf, ROOT/registry/hkcu.conf,
//                  ROOT/Zelvar (program directory) and ROOT/ZelvarData (data directory)
//
// Running it again keeps what is there and adds what is missing. Terminals are
// registered through the console's own code, so their files and the terminal change
// log are exactly what the console itself writes.
#include "common/fstream.h"
#include "common/installPaths.h"
#include "common/terminalID.h"
#include "platform/files.h"
#include "platform/registry.h"

#include <arpa/inet.h>
#include <cstdio>
#include <string>

using namespace zv;

namespace {

struct demoTerminal {
  const char* mac;
  const char* ip;
  const char* host;
  const char* version;
  uint32_t platform;
  const char16_t* lastLogin;
};

constexpr demoTerminal demoTerminals[] = {
    {"00:1A:2B:3C:4D:01", "192.168.10.21", "reception", "6.2.63", platformX86, u"Иванова"},
    {"00:1A:2B:3C:4D:02", "192.168.10.22", "accounting-1", "6.2.63", platformUefi, u"petrov"},
    {"00:1A:2B:3C:4D:03", "192.168.10.23", "accounting-2", "6.2.63", platformUefi, u""},
    {"00:1A:2B:3C:4D:04", "192.168.10.24", "", "6.2.63", platformX86, u""},
    {"B8:27:EB:11:22:33", "192.168.10.40", "kiosk-pi", "6.2.63", platformPi2B, u"kiosk"},
    {"DC:A6:32:44:55:66", "192.168.10.41", "hall-pi4", "6.1.10", platformPi64bit, u""},
    {"00:50:56:AA:BB:CC", "192.168.10.50", "director", "6.1.10", platformWindows, u"Сидоров"},
    {"08:00:27:00:00:01", "", "", "", 0, u""},
    {"08:00:27:00:00:02", "192.168.10.61", "lab-02", "", 0, u""},
};

bool makeLayout(const installationPaths& p) {
  for (const std::string* dir : {&p.binDir, &p.skinDir, &p.docsDir, &p.tftpRoot, &p.connectionsDir,
                                 &p.everyoneDir, &p.logsDir, &p.templatesDir, &p.terminalsDir,
                                 &p.keysDir, &p.dhcpDir, &p.graphicDir, &p.updateImagesDir})
    if (!makeDirectories(*dir)) {
      std::fprintf(stderr, "zvdemo: cannot create %s\n", dir->c_str());
      return false;
    }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zvdemo ROOT\n");
    return 2;
  }
  std::string root = argv[1];
  if (root.empty() || root.front() != '/') {
    std::fprintf(stderr, "zvdemo: ROOT must be an absolute path\n");
    return 2;
  }
  installationPaths p = derivePaths(root + "/Zelvar", root + "/ZelvarData");
  if (!makeLayout(p)) return 1;

  registryStore hklm(root + "/registry/hklm.conf");
  if (!hklm.set("Software\\Zelvar", "Programs", regValue::string(p.programDir)) ||
      !hklm.set("Software\\Zelvar", "Data", regValue::string(p.dataDir)) ||
      !hklm.set("Software\\Zelvar", "httpboot", regValue::dword(0))) {
    std::fprintf(stderr, "zvdemo: cannot write %s\n", hklm.path().c_str());
    return 1;
  }
  registryStore hkcu(root + "/registry/hkcu.conf");
  if (!hkcu.createKey("Software\\Zelvar\\ZVCenter")) return 1;

  setInstallationPaths(p);
  int made = 0;
  for (const demoTerminal& t : demoTerminals) {
    auto mac = parseMac(std::string_view(t.mac), ':');
    if (!mac) continue;
    terminalID id(*mac);
    if (*t.ip) parseIpv4(t.ip, id.ip);
    id.host = t.host;
    id.version = t.version;
    id.platform = t.platform;
    id.runsProduct = *t.version != 0;
    id.lastLogin = t.lastLogin;
    if (id.storeIdentity(*t.version != 0)) ++made;
  }
  // The default configurations of boot media have directories of their own.
  for (const char* pseudo : {"CD.CD.CD.CD.CD.CD", "BB.BB.BB.BB.BB.BB", "5D.5D.5D.5D.5D.5D"})
    makeDirectories(p.terminalsDir + pseudo);
  std::printf("demo installation in %s (%d terminals)\n", root.c_str(), made);
  return 0;
}
