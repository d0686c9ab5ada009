#pragma once
// Edits of a terminal's configuration that the configuration panels and zvctl share:
// setting and removing general options with the options editor's checks, editing the
// template list, and copying a configuration onto another terminal.
//
// Every edit works on the configuration in memory and either succeeds whole or leaves
// it exactly as it was, with the message the editor shows. Writing the file is the
// caller's part. User-interface thread only (specifications are asked).

#include "common/GUIConfigFile.h"
#include "platform/files.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// The editor's messages.
constexpr const char* invalidValueMessage = "Указано неверное значение";
constexpr const char* invalidRowsMessage =
    "Указаны некорректные названия параметров и\\или значения параметров. ";
constexpr const char* emptySourceMessage =
    "Конфигурационный файл для выбранного терминала не создан. Невозможно копировать "
    "конфигурацию в другой терминал.";

// Limits of the free rows: a key input and a value input.
constexpr std::size_t maxFreeKey = 128;
constexpr std::size_t maxFreeValue = 1024;

// One general option to set (with a value) or to remove (without).
struct optionEdit {
  std::string key;
  std::optional<std::u16string> value;
};

enum class editOutcome { set, removed, unchanged };

struct editChange {
  std::string key;
  editOutcome outcome = editOutcome::unchanged;
  std::u16string value;  // the value stored, for `set`
};

struct editResult {
  bool ok = true;
  std::string error;                // the message of the first refused edit
  std::string key;                  // its key
  std::vector<editChange> changes;  // one per edit, in order, when ok
  bool changed() const;
};

// Where in a configuration an option list stands: screen and connection -1 are the
// general options, otherwise one connection's corrective options.
struct optionScope {
  int screen = -1;
  int connection = -1;
  monitor which = monitor::first;
  bool general() const { return screen < 0 && connection < 0; }
};

// The value in effect for `key` at the scope (effectiveValue for the general scope).
effectiveOption effectiveAt(const GUIConfigFile& config, const optionScope& scope,
                            std::string_view key, const versionSpec* spec);

enum class commitOutcome { unchanged, invalid, set, removed };

// The options editor's rule for one new value of a known option, on the list of the
// scope. With a configuration, which must hold `list` at the scope, the value is compared
// with the one in effect there, and the configuration follows the list; without one,
// with the own value, else the default. Equal (ASCII case aside): unchanged. A value the
// processor refuses, or that a file could not carry: invalid, nothing changed. The
// default removes the own value, unless a template or connection then sets another one,
// when the default stays explicitly (set). Any other value is set under the
// specification's spelling of the key.
commitOutcome commitOptionValue(optionList& list, GUIConfigFile* config, const optionScope& scope,
                                const versionSpec* spec, const zvOptionSpecRecord& record,
                                std::u16string_view value);

// Applies the edits in order to the general options. With a specification a value is
// checked as the options editor commits it: the key must be one of the specification's
// listed general options and its processor must accept the value; a value equal (ASCII
// case aside) to the one in effect changes nothing; the default removes the own value,
// unless a template then sets another one, when the default stays explicitly. Without
// one the free rows' rules hold: keys of letters, digits and '_' that the rename rule
// allows, values within the input limits. The first refusal leaves `config` unchanged.
editResult applyOptionEdits(GUIConfigFile& config, const versionSpec* spec,
                            const std::vector<optionEdit>& edits);

// Appends a template of the library (matched without ASCII case; stored under the
// library's name) to the template list. Empty on success or when it is already listed
// (`added` false then); otherwise the reason, the configuration unchanged.
std::string addTemplate(GUIConfigFile& config, std::string_view name, bool& added);
// Removes the template from the list. Empty on success; otherwise the reason.
std::string removeTemplate(GUIConfigFile& config, std::string_view name);

// Makes `target` a normalised copy of `source`. Refused (the reason returned, `target`
// unchanged) when the source is empty.
std::string copyConfiguration(const GUIConfigFile& source, GUIConfigFile& target);

// A configuration file as an edit read it, so that the edit can tell just before writing
// whether another program changed it meanwhile: still missing, or still these bytes.
class fileSnapshot {
 public:
  // Reads the file (a regular file of at most textFileLimit bytes). False when it exists
  // but cannot be read so: not a regular file, too large or unreadable.
  bool take(const std::string& path);
  const std::string& path() const { return path_; }
  bool exists() const { return read_.ok(); }
  // True when the file is still missing or holds exactly the bytes read.
  bool unchanged() const;

 private:
  std::string path_;
  fileContents read_;
};

}  // namespace zv
