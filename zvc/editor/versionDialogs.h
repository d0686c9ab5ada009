#pragma once
// Two modal windows of the configuration editor that stand beside the options editor:
//
// - the incompatible-version window "ZVCenterIncompatibleVersion": which options of a
//   list, which templates and which connections of a configuration do not fit a
//   version's specification; the user removes them, chooses another version or stops;
// - the copy-to window "ZVCOPYTO": copies the current terminal's configuration to
//   another terminal of the register.
//
// User-interface thread only. The calls run a nested modal loop until the window is gone.

#include "common/GUIConfigFile.h"
#include "common/optionList.h"
#include "htmlview/windowHost.h"

#include <functional>

namespace zv {

class installedVersions;
class terminalRegister;
struct terminal;

// The four outcomes the options editor needs.
enum class versionFit {
  fits = 0,          // nothing to report: no window was shown
  otherVersion = 1,  // another version was chosen; `spec` holds it (null: "Без версии")
  removed = 2,       // the offending options, templates and connections were removed
  cancelled = 3,     // stop editing
};

// Checks `config` (validateConfiguration) or, without one, `list` (validateOptions)
// against `spec`, and when anything fails asks in the window. "deleteParams" removes what
// was listed (from `config`'s general options, templates and connections, or from
// `list`); "options_version" hands back another version that fits (or "Без версии"). A
// window that cannot be opened counts as cancelled.
versionFit incompatibleVersionDialog(windowHost& windows, windowId owner,
                                     const installedVersions& versions, const versionSpec*& spec,
                                     GUIConfigFile* config, optionList& list);

// "terminal_copyto": asks for the terminal to copy `source`'s configuration to (an empty
// source is refused with its message). The target becomes a normalised copy and is
// written with `saveTarget`. True when a configuration was copied.
bool copyConfigDialog(windowHost& windows, windowId owner, terminalRegister& terminals,
                      const terminal& source, const std::function<bool(terminal&)>& saveTarget);

}  // namespace zv
