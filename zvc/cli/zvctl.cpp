#include "zvc/cli/zvctl.h"

#include "common/GUIConfigFile.h"
#include "common/fstream.h"
#include "common/installPaths.h"
#include "common/terminalDHCP.h"
#include "common/textConfigFile.h"
#include "platform/controlSocket.h"
#include "platform/registerLock.h"
#include "platform/textConv.h"
#include "zvc/editor/configReport.h"
#include "zvc/register/consoleState.h"
#include "zvc/register/terminalForms.h"
#include "zvc/shell/console.h"
#include "zvc/ui/messageBox.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <map>

namespace zv {
namespace {

using json = nlohmann::ordered_json;

void print(std::ostream& out, const json& document) {
  out << document.dump(-1, ' ', false, json::error_handler_t::replace) << "\n";
}

int fail(std::ostream& out, const std::string& error) {
  print(out, json{{"ok", false}, {"error", error}});
  return 1;
}

int usage(std::ostream& err) {
  err << "usage: zvctl paths\n"
         "       zvctl versions\n"
         "       zvctl terminals\n"
         "       zvctl config parse FILE\n"
         "       zvctl config show MAC\n"
         "       zvctl config validate MAC\n"
         "       zvctl dhcp show MAC|defaults\n"
         "       zvctl terminal add MAC [--ip A] [--host H] [--comment C] [--version V]\n"
         "       zvctl terminal hide|unhide|remove MAC\n"
         "       zvctl find [--mac M] [--ip A] [--host H] [--comment C]\n"
         "       zvctl console url\n";
  return 2;
}

const char* installationError = "Zelvar установлена некорректно.";

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

// Reads the file with the configuration reader's rules (continuations joined) and
// reports the pairs. Unlike loading a configuration it never moves the file aside.
int configParseCommand(const std::string& path, std::ostream& out) {
  textSource source;
  if (!source.open(path)) return fail(out, "Failed to open file.");
  json pairs = json::array();
  std::u16string failedLine;
  auto take = [&](const std::string& key, const std::u16string& value) {
    pairs.push_back(json::array({key, toUtf8(value)}));
    return true;
  };
  if (!readPairs(source, take, failedLine))
    return fail(out, "Failed to load line: " + toUtf8(failedLine));
  print(out, json{{"ok", true}, {"pairs", std::move(pairs)}});
  return 0;
}

// The installation loaded as the console loads it at start-up, without changing a file:
// damage is reported in the log, nothing is set aside or created.
std::unique_ptr<consoleState> loadInstallation() {
  if (!resolveInstallationPaths()) return nullptr;
  auto state = std::make_unique<consoleState>();
  state->terminals.readOnly = true;
  state->libraries.readOnly = true;
  state->loadAll();
  return state;
}

json pairsJson(const std::vector<configOption>& options) {
  json list = json::array();
  for (const configOption& o : options) list.push_back(json::array({o.key, toUtf8(o.value)}));
  return list;
}

const char* sourceName(valueSource source) {
  switch (source) {
    case valueSource::specDefault:
      return "default";
    case valueSource::allTerminals:
      return "all";
    case valueSource::terminalTemplate:
      return "template";
    case valueSource::libraryConnection:
      return "connection";
    case valueSource::ownConnection:
      return "own connection";
    case valueSource::ownGeneral:
      return "own";
    case valueSource::none:
      return "none";
  }
  return "none";
}

json effectiveJson(const std::vector<effectiveEntry>& entries) {
  json list = json::array();
  for (const effectiveEntry& e : entries)
    list.push_back(json{{"key", e.key},
                        {"value", toUtf8(e.effective.value)},
                        {"source", int(e.effective.source)},
                        {"sourceName", sourceName(e.effective.source)},
                        {"from", e.effective.from}});
  return list;
}

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

int terminalsCommand(std::ostream& out) {
  auto state = loadInstallation();
  if (!state) return fail(out, installationError);
  json list = json::array();
  for (const terminal* t : state->terminals.all()) list.push_back(terminalJson(*t, state->groups));
  print(out, json{{"ok", true}, {"terminals", std::move(list)}});
  return 0;
}

// The registered terminal named on the command line, or the error already printed.
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

int configShowCommand(const std::string& macText, std::ostream& out) {
  auto state = loadInstallation();
  if (!state) return fail(out, installationError);
  const terminal* t = findTerminal(*state, macText, out);
  if (!t) return 1;
  if (!t->configError.empty()) return fail(out, toUtf8(t->configError));
  configReport report = describeConfiguration(t->config, t->spec);
  json screens = json::array();
  for (const screenReport& s : report.screens) {
    json connections = json::array();
    for (const connectionReport& c : s.connections)
      connections.push_back(json{{"name", c.name},
                                 {"linked", c.linked},
                                 {"displayName", toUtf8(c.displayName)},
                                 {"options", pairsJson(c.options)},
                                 {"effective", effectiveJson(c.effective)}});
    screens.push_back(json{{"monitor", s.which == monitor::first ? 1 : 2},
                           {"index", s.index},
                           {"hidden", s.hidden},
                           {"connections", std::move(connections)}});
  }
  print(out, json{{"ok", true},
                  {"mac", t->mac.logText()},
                  {"version", t->version},
                  {"specification", t->spec ? t->spec->name : ""},
                  {"configStatus", configStatus(*t)},
                  {"general", pairsJson(report.general)},
                  {"templates", report.templates},
                  {"screens", std::move(screens)},
                  {"effective", effectiveJson(report.effective)}});
  return 0;
}

json problemsJson(const optionProblems& p) {
  return json{{"unknown", pairsJson(p.unknown)},
              {"wrongSection", pairsJson(p.wrongSection)},
              {"invalid", pairsJson(p.invalid)}};
}

int configValidateCommand(const std::string& macText, std::ostream& out) {
  auto state = loadInstallation();
  if (!state) return fail(out, installationError);
  const terminal* t = findTerminal(*state, macText, out);
  if (!t) return 1;
  if (!t->configError.empty()) return fail(out, toUtf8(t->configError));
  configurationProblems problems;
  bool valid = validateConfiguration(t->config, t->spec, problems);
  json templates = json::array();
  for (const auto& entry : problems.templates) templates.push_back(entry->name());
  json connections = json::array();
  for (const connectionProblems& c : problems.connections)
    connections.push_back(json{{"screen", c.screen},
                               {"connection", c.connection},
                               {"monitor", c.which == monitor::first ? 1 : 2},
                               {"libraryConnectionFails", c.libraryConnectionFails},
                               {"corrective", problemsJson(c.corrective)}});
  print(out, json{{"ok", true},
                  {"mac", t->mac.logText()},
                  {"specification", t->spec ? t->spec->name : ""},
                  {"valid", valid},
                  {"general", problemsJson(problems.general)},
                  {"templates", std::move(templates)},
                  {"connections", std::move(connections)}});
  return 0;
}

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

// --- commands that change the installation -----------------------------------------

// The register lock for a command that changes the register, taken before the
// installation is loaded so that its checks see every terminal written before. Empty
// when the paths are not known or the lock stays held (the error is printed then).
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

// hide, unhide and remove: the row commands of the list, for one terminal by MAC.
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

// A fresh one-time address of the running console, asked over its control socket
// (root and the console's own user only).
int consoleUrlCommand(std::ostream& out) {
  std::optional<std::string> answer = controlRequest(consoleControlName, R"({"command":"url"})");
  json reply = answer ? json::parse(*answer, nullptr, false) : json();
  if (!reply.is_object() || !reply.contains("ok"))
    return fail(out,
                "The console is not running, or it serves another user (run zvctl as root or "
                "as the console's user).");
  print(out, reply);
  return reply["ok"] == true ? 0 : 1;
}

}  // namespace

int runZvctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && args[0] == "paths") return pathsCommand(out);
  if (args.size() == 1 && args[0] == "versions") return versionsCommand(out);
  if (args.size() == 1 && args[0] == "terminals") return terminalsCommand(out);
  if (args.size() == 3 && args[0] == "config" && args[1] == "parse")
    return configParseCommand(args[2], out);
  if (args.size() == 3 && args[0] == "config" && args[1] == "show")
    return configShowCommand(args[2], out);
  if (args.size() == 3 && args[0] == "config" && args[1] == "validate")
    return configValidateCommand(args[2], out);
  if (args.size() == 3 && args[0] == "dhcp" && args[1] == "show")
    return dhcpShowCommand(args[2], out);
  if (args.size() >= 3 && args[0] == "terminal" && args[1] == "add")
    return terminalAddCommand(args, out, err);
  if (args.size() == 3 && args[0] == "terminal" &&
      (args[1] == "hide" || args[1] == "unhide" || args[1] == "remove"))
    return terminalRowCommand(args[1], args[2], out);
  if (!args.empty() && args[0] == "find") return findCommand(args, out, err);
  if (args.size() == 2 && args[0] == "console" && args[1] == "url") return consoleUrlCommand(out);
  return usage(err);
}

}  // namespace zv
