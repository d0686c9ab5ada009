#include "zvc/cli/dhcpCommands.h"

#include "common/installPaths.h"
#include "common/optionsDHCP.h"
#include "platform/textConv.h"
#include "zvc/cli/installation.h"
#include "zvc/cli/output.h"

#include <vector>

namespace zv::cli {
namespace {

const char* dhcpSourceName(optionSource source) {
  switch (source) {
    case optionSource::defaults:
      return "defaults";
    case optionSource::terminal:
      return "terminal";
    case optionSource::predefined:
      return "predefined";
    case optionSource::none:
      break;
  }
  return "none";
}

}  // namespace

int dhcpShowCommand(const std::string& which, std::ostream& out) {
  auto state = loadInstallation();
  if (!state) return fail(out, installationError);
  std::vector<dhcpOptionReport> reports;
  if (which == "defaults") {
    reports = reportDefaultOptions(state->dhcp->options());
  } else {
    const terminal* t = findTerminal(*state, which, out);
    if (!t) return 1;
    reports = reportTerminalOptions(t->dhcp, paths().dhcpDir);
  }
  json options = json::array();
  for (const dhcpOptionReport& r : reports) {
    if (!r.isSet) continue;
    options.push_back(json{{"code", r.code},
                           {"type", std::string(optionTypeName(r.effectiveType))},
                           {"auto", r.isAuto},
                           {"name", toUtf8(r.displayName)},
                           {"value", toUtf8(r.valueText)},
                           {"source", dhcpSourceName(r.source)}});
  }
  print(out, json{{"ok", true}, {"options", std::move(options)}});
  return 0;
}

}  // namespace zv::cli
