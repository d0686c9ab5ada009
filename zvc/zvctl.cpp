#include "zvc/zvctl.h"

#include "common/installPaths.h"
#include "common/textConfigFile.h"
#include "platform/textConv.h"

#include <nlohmann/json.hpp>

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
         "       zvctl config parse FILE\n";
  return 2;
}

int pathsCommand(std::ostream& out) {
  if (!resolveInstallationPaths()) return fail(out, "Zelvar установлена некорректно.");
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

}  // namespace

int runZvctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && args[0] == "paths") return pathsCommand(out);
  if (args.size() == 3 && args[0] == "config" && args[1] == "parse")
    return configParseCommand(args[2], out);
  return usage(err);
}

}  // namespace zv
