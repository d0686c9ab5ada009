#include "zvc/cli/configCommands.h"

#include "common/GUIConfigFile.h"
#include "common/textConfigFile.h"
#include "platform/textConv.h"
#include "zvc/cli/installation.h"
#include "zvc/cli/output.h"
#include "zvc/editor/configReport.h"

#include <vector>

namespace zv::cli {
namespace {

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

json problemsJson(const optionProblems& p) {
  return json{{"unknown", pairsJson(p.unknown)},
              {"wrongSection", pairsJson(p.wrongSection)},
              {"invalid", pairsJson(p.invalid)}};
}

}  // namespace

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

}  // namespace zv::cli
