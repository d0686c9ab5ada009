#include "zvc/cli/versionsCommands.h"

#include "common/installPaths.h"
#include "platform/textConv.h"
#include "zvc/cli/output.h"
#include "zvc/register/versions.h"

namespace zv::cli {

int versionsCommand(std::ostream& out) {
  if (!resolveInstallationPaths()) return fail(out, installationError);
  installedVersions versions;
  versions.scanVersions(paths());
  versions.loadSpecifications(paths());
  json list = json::array();
  for (const versionEntry& e : versions.entries())
    list.push_back(json{{"name", e.name},
                        {"display", toUtf8(versionDisplayName(e.name))},
                        {"beta", isBetaVersion(e.version)},
                        {"kind", int(e.kind)},
                        {"hasSpec", versions.findVersionSpec(e.name) != nullptr}});
  json specs = json::array();
  for (const auto& spec : versions.specs())
    specs.push_back(json{{"name", spec->name},
                         {"options", spec->count()},
                         {"video", spec->video != nullptr},
                         {"updateImages", spec->generateUpdateImages != nullptr}});
  print(out, json{{"ok", true},
                  {"current", currentVersion},
                  {"versions", std::move(list)},
                  {"specifications", std::move(specs)}});
  return 0;
}

}  // namespace zv::cli
