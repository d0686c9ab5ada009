#pragma once
// The file-name window: asks for the name of a new template or library connection. It
// shows the file the name will give ("…/Templates/NAME.zvc"), refuses an empty name
// and a name the library holds already (ASCII case ignored; "all" is the all-terminals
// template), and returns the name chosen.
//
// User-interface thread only. The call runs a nested modal loop until its window is
// gone.

#include "common/configLibrary.h"
#include "htmlview/windowHost.h"
#include "zvc/editor/libraryCommands.h"

#include <string>

namespace zv {

// The window's document for a proposed name; `directory` is the library's directory.
std::string fileNameDialogHtml(const std::string& directory, const std::string& proposed);

// The name chosen (at most 64 characters of 0-9, a-z, A-Z, '_' and '-'), or empty when
// the window was cancelled, closed or could not be opened.
std::string runFileNameDialog(windowHost& windows, windowId owner, const configLibraries& libraries,
                              libraryKind kind, const std::string& proposed);

}  // namespace zv
