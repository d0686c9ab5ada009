#include "zvc/cli/dhcpCommands.h"

#include "common/installPaths.h"
#include "common/mac.h"
#include "common/optionsDHCP.h"
#include "common/terminalDHCP.h"
#include "common/terminalID.h"
#include "platform/textConv.h"
#include "zvc/cli/installation.h"
#include "zvc/cli/output.h"
#include "zvc/services/dhcpValues.h"

#include <optional>
#include <string_view>
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

namespace {

// The option code of a command line: 1-255 in decimal; 0 otherwise.
int32_t optionCodeArgument(const std::string& text) {
  if (text.empty() || text.size() > 3) return 0;
  int32_t code = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    code = code * 10 + (c - '0');
  }
  return code <= 255 ? code : 0;
}

// The list a dhcp edit changes: the defaults or one terminal's own options.
struct dhcpTarget {
  terminal* t = nullptr;  // null for the defaults
  dhcpOptionList list;
};

std::optional<dhcpTarget> openDhcpTarget(consoleState& state, const std::string& which,
                                         std::ostream& out) {
  dhcpTarget target;
  if (which == "defaults") {
    target.list = state.dhcp->options();
    return target;
  }
  if (!findTerminal(state, which, out)) return std::nullopt;
  target.t = state.terminals.findByMac(*parseMac(std::string_view(which), ':'));
  target.list = target.t->dhcp;
  return target;
}

// Saves the edited list where it came from, as the DHCP options window does: a
// terminal's list into its directory, then read back so that option 12 becomes its host.
bool saveDhcpTarget(consoleState& state, dhcpTarget& target) {
  if (!target.t) return state.dhcp->save(target.list);
  std::string directory = terminalDirectory(target.t->mac);
  if (directory.empty() || !saveOptions(target.list, directory)) return false;
  return readTerminalDhcp(*target.t, target.t->dhcp, target.t->bootType);
}

int dhcpEdit(const std::string& which, int32_t code, std::optional<dhcpTypedValue> value,
             int32_t type, std::ostream& out) {
  auto lock = lockRegister(out);
  if (!lock) return 1;
  auto state = loadInstallation();
  if (!state || !state->dhcp) return fail(out, installationError);
  auto target = openDhcpTarget(*state, which, out);
  if (!target) return 1;
  const dhcpOption* existing = findOption(target->list, code);
  std::string change = "unchanged";
  if (!value || value->off) {
    if (existing && existing->isSet()) change = "removed";
    removeOption(target->list, code);
  } else {
    std::u16string name = existing ? existing->name : std::u16string();
    // The type named on the command line wins over a stored record of another type:
    // its file of the old type is removed when the list is saved.
    if (existing && existing->type != type) removeOption(target->list, code);
    bool changed = false;
    if (!putOption(target->list, code, value->bytes, type, false, name, changed))
      return fail(out, invalidDhcpValueMessage);
    if (changed) change = "set";
  }
  bool write = change != "unchanged";
  if (write && !saveDhcpTarget(*state, *target))
    return fail(out,
                "Невозможно сохранить параметры DHCP. Убедитесь, что у вас достаточно прав "
                "для доступа к файлам.");
  json document{{"ok", true}};
  document[target->t ? "mac" : "target"] = target->t ? target->t->mac.logText() : "defaults";
  document["code"] = code;
  if (value && !value->off) document["type"] = std::string(optionTypeName(type));
  document["change"] = change;
  document["written"] = write;
  print(out, document);
  return 0;
}

}  // namespace

int dhcpSetCommand(const std::vector<std::string>& args, bool unset, std::ostream& out,
                   std::ostream& err) {
  if (args.size() != (unset ? 4u : 6u)) return usage(err);
  int32_t code = optionCodeArgument(args[3]);
  if (code == 0) return fail(out, "Invalid option code: " + args[3] + " (1-255).");
  if (unset) return dhcpEdit(args[2], code, std::nullopt, dhcpTypeNone, out);
  int32_t type = dhcpTypeNamed(args[4]);
  if (type == dhcpTypeNone)
    return fail(out, "Invalid option type: " + args[4] + " (ip, iplist, str, u8, u16, u32, bin).");
  if (const predefinedDhcpOption* p = predefinedOption(code); p && p->type != type)
    return fail(out, "Option " + std::to_string(code) + " has the type " +
                         std::string(optionTypeName(p->type)) + ".");
  // Option 18 holds a password digest: a secret that has no place on a command line.
  if (code == 18) return fail(out, "Option 18 holds a password; set it in the console.");
  std::optional<dhcpTypedValue> value = parseDhcpValue(type, args[5]);
  if (!value) return fail(out, invalidDhcpValueMessage);
  return dhcpEdit(args[2], code, value, type, out);
}

}  // namespace zv::cli
