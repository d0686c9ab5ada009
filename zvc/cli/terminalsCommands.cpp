#include "zvc/cli/terminalsCommands.h"

#include "common/installPaths.h"
#include "common/terminalDHCP.h"
#include "common/terminalID.h"
#include "platform/ipv4.h"
#include "platform/sockets.h"
#include "platform/textConv.h"
#include "zvc/cli/installation.h"
#include "zvc/cli/output.h"
#include "zvc/control/wakeOnLan.h"
#include "zvc/register/terminalForms.h"
#include "zvc/services/terminalAddress.h"
#include "zvc/ui/messageBox.h"

#include <algorithm>
#include <map>
#include <optional>

namespace zv::cli {
namespace {

const char* bootTypeName(uint32_t bootType) {
  return bootType == bootTypeTftp ? "TFTP" : bootType == bootTypeHttp ? "HTTP" : "";
}

json terminalJson(const terminal& t, const groupList& groups) {
  json j{{"mac", t.mac.logText()},
         {"ip", t.ip ? ipv4Text(t.ip) : ""},
         {"host", t.host},
         {"version", t.version},
         {"hasSpec", t.spec != nullptr},
         {"platform", t.platform ? std::string(platformName(t.platform)) : ""},
         {"platformCode", t.platform},
         {"runsProduct", t.runsProduct},
         {"lastLogin", toUtf8(t.lastLogin)},
         {"hidden", t.hidden},
         {"comment", toUtf8(t.comment)},
         {"wolPort", t.wolPort},
         {"configStatus", configStatus(t)},
         {"bootType", bootTypeName(t.bootType)},
         {"pseudo", t.mac.isPseudo()}};
  if (t.mac.isPseudo()) j["name"] = toUtf8(pseudoTerminalName(t.mac, groups.nameLookup()));
  return j;
}

// Options "--name value" after the positional arguments; false for an unknown name, a
// repeated one or a name without value.
bool readOptions(const std::vector<std::string>& args, std::size_t from,
                 const std::vector<std::string>& names,
                 std::map<std::string, std::string>& values) {
  for (std::size_t i = from; i < args.size(); i += 2) {
    const std::string& name = args[i];
    if (name.rfind("--", 0) != 0 || i + 1 >= args.size()) return false;
    std::string key = name.substr(2);
    if (std::find(names.begin(), names.end(), key) == names.end() || values.count(key))
      return false;
    values[key] = args[i + 1];
  }
  return true;
}

// The boxes of the forms and of the register, answered without a user: a question is
// answered Yes (running the command is the consent), any other box is the failure the
// command reports. Installed for the life of one command.
class unattendedBoxes {
 public:
  unattendedBoxes() {
    setMessageBoxHandler([this](const std::string& text, const std::string& caption,
                                boxButtons buttons,
                                boxIcon) { return answer(text, caption, buttons); });
  }
  ~unattendedBoxes() { setMessageBoxHandler({}); }
  unattendedBoxes(const unattendedBoxes&) = delete;
  unattendedBoxes& operator=(const unattendedBoxes&) = delete;

  formBox box() {
    return [this](const std::string& text, const std::string& caption, boxButtons buttons) {
      return answer(text, caption, buttons);
    };
  }
  // The text of the last box that was not a question.
  const std::string& message() const { return message_; }

 private:
  boxAnswer answer(const std::string& text, const std::string&, boxButtons buttons) {
    if (buttons == boxButtons::yesNo || buttons == boxButtons::yesNoCancel) return boxAnswer::yes;
    message_ = text;
    return boxAnswer::ok;
  }
  std::string message_;
};

terminalFormText formOf(const std::map<std::string, std::string>& values) {
  auto field = [&](const char* name) {
    auto found = values.find(name);
    return found == values.end() ? std::u16string() : fromUtf8(found->second);
  };
  return {field("mac"), field("ip"), field("host"), field("comment")};
}

}  // namespace

int terminalsCommand(std::ostream& out) {
  auto state = loadInstallation();
  if (!state) return fail(out, installationError);
  json list = json::array();
  for (const terminal* t : state->terminals.all()) list.push_back(terminalJson(*t, state->groups));
  print(out, json{{"ok", true}, {"terminals", std::move(list)}});
  return 0;
}

int terminalAddCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::map<std::string, std::string> values;
  if (!readOptions(args, 3, {"ip", "host", "comment", "version"}, values)) return usage(err);
  values["mac"] = args[2];
  auto lock = lockRegister(out);
  if (!lock) return 1;
  auto state = loadInstallation();
  if (!state) return fail(out, installationError);
  // The version selector starts at the default version, or "Без версии" without it.
  std::u16string version = state->versions.defaultSpec()
                               ? fromUtf8(state->versions.defaultSpec()->name)
                               : std::u16string(noVersionCaption);
  if (auto chosen = values.find("version"); chosen != values.end())
    version =
        chosen->second == "noversion" ? std::u16string(noVersionCaption) : fromUtf8(chosen->second);
  unattendedBoxes boxes;
  terminal* t =
      addFromForm(state->terminals, state->versions, formOf(values), version, boxes.box()).added;
  if (!t)
    return fail(out, boxes.message().empty() ? "Failed to save the terminal." : boxes.message());
  print(out, json{{"ok", true}, {"terminal", terminalJson(*t, state->groups)}});
  return 0;
}

namespace {

// What terminal set was asked to change, every value checked.
struct terminalChanges {
  std::optional<uint32_t> ip;  // 0: clear the address
  std::optional<std::string> host;
  std::optional<std::u16string> comment;
  std::optional<uint32_t> bootType;
};

// Checks every option before anything is written; the refusal's text, empty when the
// changes are good.
std::string checkChanges(const consoleState& state, const terminal& t,
                         const std::map<std::string, std::string>& values, bool force,
                         terminalChanges& changes) {
  if (auto ip = values.find("ip"); ip != values.end()) {
    if (ip->second.empty()) {
      changes.ip = 0;
    } else {
      std::optional<uint32_t> address = parseIpv4Text(ip->second);
      if (!address) return invalidAddressText;
      addressVerdict verdict =
          checkTerminalAddress(state.terminals, t, *address, scanInterfaces(), force);
      if (verdict != addressVerdict::accepted) return addressVerdictText(verdict);
      changes.ip = *address;
    }
  }
  if (auto host = values.find("host"); host != values.end()) {
    if (!validHostText(fromUtf8(host->second))) return hostFormatText;
    changes.host = host->second;
  }
  if (auto comment = values.find("comment"); comment != values.end()) {
    std::u16string text = fromUtf8(comment->second);
    if (!validCommentText(text)) return commentFormatText;
    changes.comment = std::move(text);
  }
  if (auto boot = values.find("boot-type"); boot != values.end()) {
    if (boot->second == "tftp") {
      changes.bootType = bootTypeTftp;
    } else if (boot->second == "http") {
      changes.bootType = bootTypeHttp;
    } else if (boot->second == "default") {
      changes.bootType = bootTypeNone;
    } else {
      return "Unknown boot type: " + boot->second + " (tftp, http or default).";
    }
  }
  return {};
}

// Writes the checked changes the way the panel and the change-address window store them.
bool applyChanges(terminal& t, const terminalChanges& changes) {
  bool ok = true;
  if (changes.ip) {
    if (*changes.ip == 0) {
      t.clearIp();
    } else {
      t.ip = *changes.ip;
      ok = t.storeIp() && ok;
    }
  }
  bool writeDhcp = false;
  if (changes.bootType) {
    if (*changes.bootType == bootTypeNone) {
      ok = clearTerminalBootType(t, t.bootType) && ok;
    } else {
      t.bootType = *changes.bootType;
      writeDhcp = true;
    }
  }
  if (changes.host) {
    if (changes.host->empty()) {
      t.clearHost();
    } else {
      t.setHostFromDhcp(*changes.host);
      ok = t.storeHost() && ok;
    }
    writeDhcp = followHostInOption12(t.dhcp, t.host) || writeDhcp;
  }
  if (writeDhcp) ok = writeTerminalDhcp(t, t.dhcp, t.bootType) && ok;
  if (changes.comment) {
    t.comment = *changes.comment;
    ok = saveComment(t) && ok;
  }
  return ok;
}

}  // namespace

int terminalSetCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  // "--force" takes no value: it is taken out, the other options stay in pairs.
  std::vector<std::string> rest(args.begin(), args.begin() + std::min<std::size_t>(3, args.size()));
  bool force = false;
  for (std::size_t i = 3; i < args.size();) {
    if (args[i] == "--force") {
      force = true;
      ++i;
      continue;
    }
    rest.push_back(args[i++]);
    if (i < args.size()) rest.push_back(args[i++]);
  }
  std::map<std::string, std::string> values;
  if (rest.size() < 3 || !readOptions(rest, 3, {"ip", "host", "comment", "boot-type"}, values) ||
      values.empty())
    return usage(err);
  auto lock = lockRegister(out);
  if (!lock) return 1;
  auto state = loadInstallation();
  if (!state) return fail(out, installationError);
  if (!findTerminal(*state, rest[2], out)) return 1;
  terminal* t = state->terminals.findByMac(*parseMac(std::string_view(rest[2]), ':'));
  if (t->mac.isPseudo()) return fail(out, "Not a terminal: " + t->mac.logText());
  terminalChanges changes;
  if (std::string refusal = checkChanges(*state, *t, values, force, changes); !refusal.empty())
    return fail(out, refusal);
  if (!applyChanges(*t, changes)) return fail(out, "Failed to save the terminal.");
  print(out, json{{"ok", true}, {"terminal", terminalJson(*t, state->groups)}});
  return 0;
}

// The row commands of the list, for one terminal by MAC.
int terminalRowCommand(const std::string& command, const std::string& macText, std::ostream& out) {
  auto lock = lockRegister(out);
  if (!lock) return 1;
  auto state = loadInstallation();
  if (!state) return fail(out, installationError);
  if (!findTerminal(*state, macText, out)) return 1;
  terminal* t = state->terminals.findByMac(*parseMac(std::string_view(macText), ':'));
  // Pseudo-terminals stand for default configurations: the list never hides or
  // removes them.
  if (t->mac.isPseudo()) return fail(out, "Not a terminal: " + t->mac.logText());
  unattendedBoxes boxes;
  if (command == "remove") {
    if (!deleteTerminal(*t))
      return fail(out,
                  boxes.message().empty() ? "Failed to remove the terminal." : boxes.message());
    state->terminals.remove(t);
    print(out, json{{"ok", true}, {"mac", t->mac.logText()}, {"removed", true}});
    return 0;
  }
  t->hidden = command == "hide";
  if (!saveHidden(*t)) return fail(out, "Failed to save the terminal.");
  print(out, json{{"ok", true}, {"mac", t->mac.logText()}, {"hidden", t->hidden}});
  return 0;
}

// Reads the register only: the packet changes nothing on disk.
int terminalWakeCommand(const std::string& macText, std::ostream& out) {
  auto state = loadInstallation();
  if (!state) return fail(out, installationError);
  if (!findTerminal(*state, macText, out)) return 1;
  terminal* t = state->terminals.findByMac(*parseMac(std::string_view(macText), ':'));
  if (t->mac.isPseudo()) return fail(out, "Not a terminal: " + t->mac.logText());
  int sent = wakeTerminal(*t, scanInterfaces());
  if (sent == 0) return fail(out, "The wake-on-LAN packet was sent on no interface.");
  print(out, json{{"ok", true},
                  {"mac", t->mac.logText()},
                  {"port", wakePort(t->wolPort)},
                  {"interfaces", sent}});
  return 0;
}

int findCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::map<std::string, std::string> values;
  if (!readOptions(args, 1, {"mac", "ip", "host", "comment"}, values)) return usage(err);
  auto state = loadInstallation();
  if (!state) return fail(out, installationError);
  unattendedBoxes boxes;
  terminal* t = findFromForm(state->terminals, formOf(values), boxes.box());
  if (!t) return fail(out, boxes.message());
  print(out, json{{"ok", true}, {"terminal", terminalJson(*t, state->groups)}});
  return 0;
}

}  // namespace zv::cli
