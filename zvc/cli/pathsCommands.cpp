#include "zvc/cli/pathsCommands.h"

#include "common/installPaths.h"
#include "zvc/cli/output.h"

namespace zv::cli {

int pathsCommand(std::ostream& out) {
  if (!resolveInstallationPaths()) return fail(out, installationError);
  const installationPaths& p = paths();
  print(out, json{{"ok", true},
                  {"program", p.programDir},
                  {"bin", p.binDir},
                  {"skin", p.skinDir},
                  {"docs", p.docsDir},
                  {"tftproot", p.tftpRoot},
                  {"data", p.dataDir},
                  {"connections", p.connectionsDir},
                  {"everyone", p.everyoneDir},
                  {"logs", p.logsDir},
                  {"templates", p.templatesDir},
                  {"terminals", p.terminalsDir},
                  {"keys", p.keysDir},
                  {"dhcp", p.dhcpDir},
                  {"graphic", p.graphicDir},
                  {"updateimages", p.updateImagesDir}});
  return 0;
}

}  // namespace zv::cli
