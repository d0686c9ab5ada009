#pragma once
// The edit context menus every window of the console declares in its document's head:
// "input-edit" for text inputs (commands "behavior:edit:…") and "text-edit" for text
// areas ("richtext:…"), each with undo, cut, copy, paste and select all. The browser
// client shows them at a right click in a text field and does the edit there
// (htmlview/wire.md, "Popups and menus").
//
// Pure functions; no thread affinity beyond the document's own.

#include <string>

namespace zv {

class document;

// Both menus, as the HTML of two menu elements.
std::string editMenusHtml();

// Fills the head's empty top-level menu with the edit menus. False, with an
// internal-error report, when the document has no such menu.
bool addEditMenus(document& doc);

}  // namespace zv
