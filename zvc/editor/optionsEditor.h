#pragma once
// The options editor: the modal window "ZVCenterOptions" in which one option list is
// edited — a terminal's general options, the corrective options of one connection, a
// template, a library connection or the all-terminals template.
//
// With a specification the window shows the grid "terminal_options" of every option
// that may stand in the list, the editor the specification renders for the current
// option ("option_editor"), its manual ("option_manual") and, when a terminal's
// configuration is edited, where the value in effect comes from. Without one (free
// text: "Без версии" chosen, or the caller has none) the list is shown as key/value rows.
// Every edit goes to a working copy; the caller's list is replaced by it when the window
// closes, and the caller writes the files.
//
// User-interface thread only. The calls run a nested modal loop until the window is gone.

#include "common/GUIConfigFile.h"
#include "common/configFile.h"
#include "common/optionList.h"
#include "htmlview/windowHost.h"

#include <functional>
#include <string>
#include <vector>

namespace zv {

class installedVersions;
class registryStore;

// The file kinds of the editor: what the list is, for the save question.
constexpr int optionsOfConfiguration = 1;  // a terminal's configuration (general or connection)
constexpr int optionsOfTemplate = 2;       // a template file: the terminals naming it are listed
constexpr int optionsOfConnection = 3;     // a library connection: the terminals using it

// What one opening of the editor edits. With a configuration, every edit is written into
// it at the scope as well, so that the values in effect follow the list.
struct optionsEditorTarget {
  optionList* list = nullptr;       // replaced by the working list when the window opened
  GUIConfigFile* config = nullptr;  // the terminal's configuration edited, or none
  // The scope in `config`: screen and connection -1 mean the general options.
  int screen = -1;
  int connection = -1;
  monitor which = monitor::first;
  int fileKind = optionsOfConfiguration;
  std::string title;  // the caller's title text: the terminal's MAC text or the file name
  bool readOnly = false;
};

// What the editor asks of the rest of the console. Every member may be empty.
struct optionsEditorHooks {
  // The MAC texts (display form) of the terminals whose configuration names the template
  // (optionsOfTemplate) or has a connection of that name on a screen (optionsOfConnection).
  std::function<std::vector<std::string>(int fileKind, const std::string& name)> affectedTerminals;
  // A terminal's configuration is edited and the user chose another version for it
  // (nullptr: "Без версии"), in the incompatible-version window at the opening or with
  // the editor's version selector: the terminal takes that version.
  std::function<void(const versionSpec*)> versionChosen;
  // Where the placement "options" is kept (the per-user store); none: not kept. The window
  // opens at the stored size (at least 1000 × 600) and stores the placement it opened
  // with when it closes: the browser reports no placement of the windows in its page.
  registryStore* userStore = nullptr;
};

// The editor with a specification, starting on the option `initialKey` (empty, unknown or
// unlisted: the specification's first option). A missing specification is an internal
// error; the result is then false. False also when the window did not open (the list is
// left alone); otherwise the list holds the working list and the result is true when it
// was changed or saved.
bool showOptionsEditor(windowHost& windows, windowId owner, const installedVersions& versions,
                       optionsEditorTarget& target, const versionSpec* spec,
                       const std::string& initialKey, const optionsEditorHooks& hooks);

// The same in free text, starting on the row of `initialKey` (empty: the first).
bool showFreeOptionsEditor(windowHost& windows, windowId owner, const installedVersions& versions,
                           optionsEditorTarget& target, const std::string& initialKey,
                           const optionsEditorHooks& hooks);

}  // namespace zv
