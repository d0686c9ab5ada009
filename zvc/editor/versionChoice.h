#pragma once
// The version selector "options_version" of the options editor and the
// incompatible-version window: which version its current option names, read as the
// add-terminal window reads it, with the boxes over the window that shows it.
//
// User-interface thread only.

#include "htmlview/windowHost.h"
#include "zvc/register/terminalForms.h"

namespace zv {

class installedVersions;

constexpr const char* versionSelectId = "options_version";

// Message boxes over `window` (its dialog icon chosen from the caption and buttons).
formBox boxesOver(windowHost& windows, windowId window);

// The specification the selector names: none for "Без версии". False when the page has
// no selector (internal error) or the version has no library (the user was told); `spec`
// is then unchanged.
bool readVersionSelector(windowHost& windows, windowId window, const installedVersions& versions,
                         const versionSpec*& spec);

// Puts the selector back on `spec` (none: "Без версии"), after a choice that failed.
void showVersionChoice(document& doc, const versionSpec* spec);

}  // namespace zv
