#include "zvc/cli/configEditCommands.h"

#include "common/mac.h"
#include "common/misc3.h"
#include "common/terminalID.h"
#include "common/textConfigFile.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "zvc/cli/installation.h"
#include "zvc/cli/output.h"
#include "zvc/editor/configEdits.h"
#include "zvc/editor/configText.h"

#include <memory>
#include <string_view>

namespace zv::cli {
namespace {

constexpr const char* configName = "config.zvc";

// One terminal's configuration as an edit found it: the file's bytes and what they load to.
struct editTarget {
  terminal* t = nullptr;
  std::string path;
  fileSnapshot read;
  std::unique_ptr<GUIConfigFile> config;
  std::u16string failure;  // why the file did not load; empty when it did or is missing
};

// The terminal named on the command line, its file read afresh. Null with the error
// printed when the terminal is unknown or the file cannot be read.
std::unique_ptr<editTarget> openTarget(consoleState& state, const std::string& macText,
                                       std::ostream& out) {
  if (!findTerminal(state, macText, out)) return nullptr;
  auto target = std::make_unique<editTarget>();
  target->t = state.terminals.findByMac(*parseMac(std::string_view(macText), ':'));
  std::string directory = existingTerminalDirectory(target->t->mac);
  if (directory.empty()) {
    fail(out, installationError);
    return nullptr;
  }
  target->path = directory + configName;
  if (!target->read.take(target->path)) {
    fail(out, "Cannot read " + target->path + ".");
    return nullptr;
  }
  target->config = std::make_unique<GUIConfigFile>(state.libraries);
  if (target->read.exists() &&
      !target->config->read(target->path, target->t->spec, target->failure) &&
      target->failure.empty())
    target->failure = u"Failed to load file.";
  return target;
}

// openTarget for an edit of the configuration: it must load, and a terminal whose file
// was set aside is corrected through its text first.
std::unique_ptr<editTarget> openEditable(consoleState& state, const std::string& macText,
                                         std::ostream& out) {
  auto target = openTarget(state, macText, out);
  if (!target) return nullptr;
  if (!target->failure.empty()) {
    fail(out, toUtf8(target->failure));
    return nullptr;
  }
  if (!target->read.exists() && configStatus(*target->t) == 2) {
    fail(out, "The configuration of " + target->t->mac.logText() +
                  " was set aside as config.zvc.broken; correct its text first.");
    return nullptr;
  }
  return target;
}

int saveFailed(std::ostream& out, const std::string& name) {
  return fail(out, "Невозможно сохранить файл " + name +
                       ". Убедитесь, что у вас достаточно прав для доступа к файлу.");
}

// True when the file is still the one that was read; otherwise the error is printed.
bool unchangedOnDisk(const editTarget& target, std::ostream& out) {
  if (target.read.unchanged()) return true;
  fail(out, "The configuration of " + target.t->mac.logText() +
                " was changed by another program while it was edited; nothing was written.");
  return false;
}

// Writes the edited configuration when the file is still the one that was read; false
// with the error printed otherwise.
bool writeTarget(editTarget& target, std::ostream& out) {
  if (!unchangedOnDisk(target, out)) return false;
  target.t->config = *target.config;
  if (!saveConfiguration(*target.t)) {
    saveFailed(out, configName);
    return false;
  }
  return true;
}

const char* outcomeName(editOutcome outcome) {
  switch (outcome) {
    case editOutcome::set:
      return "set";
    case editOutcome::removed:
      return "removed";
    case editOutcome::unchanged:
      return "unchanged";
  }
  return "unchanged";
}

json templatesJson(const GUIConfigFile& config) {
  json list = json::array();
  for (const std::string& name : config.templateNames()) list.push_back(name);
  return list;
}

}  // namespace

int configSetCommand(const std::vector<std::string>& args, bool unset, std::ostream& out,
                     std::ostream& err) {
  if (args.size() < 4) return usage(err);
  std::vector<optionEdit> edits;
  for (std::size_t i = 3; i < args.size(); ++i) {
    if (unset) {
      edits.push_back({args[i], std::nullopt});
      continue;
    }
    std::size_t equals = args[i].find('=');
    if (equals == std::string::npos) return usage(err);
    std::string value = args[i].substr(equals + 1);
    edits.push_back({args[i].substr(0, equals), fromUtf8(value)});
    // Bytes that are not UTF-8 would be stored as U+FFFD: refused rather than altered.
    if (toUtf8(*edits.back().value) != value)
      return fail(out, "The value of " + edits.back().key + " is not valid UTF-8.");
  }
  auto lock = lockRegister(out);
  if (!lock) return 1;
  auto state = loadInstallation();
  if (!state) return fail(out, installationError);
  auto target = openEditable(*state, args[2], out);
  if (!target) return 1;
  editResult result = applyOptionEdits(*target->config, target->t->spec, edits);
  if (!result.ok) {
    print(out, json{{"ok", false}, {"error", result.error}, {"key", result.key}});
    return 1;
  }
  bool write = result.changed();
  if (write && !writeTarget(*target, out)) return 1;
  json changes = json::array();
  for (const editChange& c : result.changes) {
    json change{{"key", c.key}, {"change", outcomeName(c.outcome)}};
    if (c.outcome == editOutcome::set) change["value"] = toUtf8(c.value);
    changes.push_back(std::move(change));
  }
  print(out, json{{"ok", true},
                  {"mac", target->t->mac.logText()},
                  {"specification", target->t->spec ? target->t->spec->name : ""},
                  {"changes", std::move(changes)},
                  {"written", write}});
  return 0;
}

int configTemplatesCommand(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err) {
  if (args.size() != 3 && args.size() != 5) return usage(err);
  bool add = args.size() == 5 && args[3] == "--add";
  bool remove = args.size() == 5 && args[3] == "--remove";
  if (args.size() == 5 && !add && !remove) return usage(err);
  std::unique_ptr<registerLock> lock;
  if (add || remove) {
    lock = lockRegister(out);
    if (!lock) return 1;
  }
  auto state = loadInstallation();
  if (!state) return fail(out, installationError);
  auto target = openEditable(*state, args[2], out);
  if (!target) return 1;
  bool changed = false;
  if (add || remove) {
    std::string error = add ? addTemplate(*target->config, args[4], changed)
                            : removeTemplate(*target->config, args[4]);
    if (!error.empty()) return fail(out, error);
    if (remove) changed = true;
    if (changed && !writeTarget(*target, out)) return 1;
  }
  print(out, json{{"ok", true},
                  {"mac", target->t->mac.logText()},
                  {"templates", templatesJson(*target->config)},
                  {"written", changed}});
  return 0;
}

int configCopyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 4 && !(args.size() == 5 && args[4] == "--force")) return usage(err);
  bool force = args.size() == 5;
  auto lock = lockRegister(out);
  if (!lock) return 1;
  auto state = loadInstallation();
  if (!state) return fail(out, installationError);
  auto source = openTarget(*state, args[2], out);
  if (!source) return 1;
  if (!source->failure.empty()) return fail(out, toUtf8(source->failure));
  if (source->config->isEmpty()) return fail(out, emptySourceMessage);
  auto target = openTarget(*state, args[3], out);
  if (!target) return 1;
  if (source->t == target->t)
    return fail(out, "A configuration cannot be copied onto its own terminal.");
  bool existing = !target->failure.empty() || !target->config->isEmpty();
  if (existing && !force)
    return fail(out, "The terminal " + target->t->mac.logText() +
                         " already has a configuration; --force replaces it.");
  std::string error = copyConfiguration(*source->config, *target->config);
  if (!error.empty()) return fail(out, error);
  if (!writeTarget(*target, out)) return 1;
  print(out, json{{"ok", true},
                  {"from", source->t->mac.logText()},
                  {"to", target->t->mac.logText()},
                  {"replaced", existing}});
  return 0;
}

int configTextCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 5 || (args[3] != "--test" && args[3] != "--save")) return usage(err);
  bool save = args[3] == "--save";
  fileContents file = readFileLimited(args[4], textFileLimit, linkRule::follow);
  if (!file.ok()) return fail(out, "Failed to open file.");
  std::u16string text = decodeTextBytes(file.bytes);
  // The panel holds no more; a longer text is refused rather than cut.
  if (text.size() > maxWholeText)
    return fail(out, "The text is longer than " + std::to_string(maxWholeText) +
                         " characters, the most a configuration text holds.");
  std::unique_ptr<registerLock> lock;
  if (save) {
    lock = lockRegister(out);
    if (!lock) return 1;
  }
  auto state = loadInstallation();
  if (!state) return fail(out, installationError);
  auto target = openTarget(*state, args[2], out);
  if (!target) return 1;
  textCheck check = checkConfigText(text, state->libraries, target->t->spec);
  if (!check.written) return saveFailed(out, "1.zvc");
  if (!check.loads) {
    print(out, json{{"ok", false}, {"error", brokenTextMessage}, {"reason", toUtf8(check.reason)}});
    return 1;
  }
  bool removedBroken = false;
  if (save) {
    std::string directory = terminalDirectory(target->t->mac);
    if (directory.empty() || directory + configName != target->path)
      return saveFailed(out, configName);
    if (!unchangedOnDisk(*target, out)) return 1;
    if (!writeFileAtomically(target->path, configTextBytes(text)))
      return saveFailed(out, configName);
    std::string broken = target->path + ".broken";
    removedBroken = fileExists(broken);
    if (removedBroken && !removeIfPresent(broken))
      return fail(out, "The text was saved, but " + broken + " could not be removed.");
  }
  json document{{"ok", true},
                {"mac", target->t->mac.logText()},
                {"specification", target->t->spec ? target->t->spec->name : ""},
                {"compatible", check.compatible},
                {"message", check.compatible ? textCheckedMessage : incompatibleTextMessage}};
  if (save) {
    document["written"] = true;
    document["removedBroken"] = removedBroken;
  }
  print(out, document);
  return 0;
}

}  // namespace zv::cli
