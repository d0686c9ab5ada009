#pragma once
// The engine's events: what the browser reports and what behaviours and controls raise.
//
// Input events come from the browser's frames (htmlview/wire.md, "Browser → console");
// eventFromClientFrame turns a checked frame into one, resolving uids in the document.
// Behaviour events are raised by behaviours and by the controls' own actions
// (htmlview/eventRouter.h) and go to the application handler of the window, which tells
// them apart by the source element's id.
//
// Which element is which, per kind:
//
// | Kind | target (routing starts here) | source | other fields |
// |---|---|---|---|
// | click, dblclick, contextmenu | the element under the pointer | the same | mods, x, y, href
// (click on a link) | | key | the focused element (else the document's focused one, else the root)
// | the same | key (DOM key name), mods, index: the rows shown whole in the list's view
// (Page Up/Down; -1: not told) | | input | the text control | the same | value | | select
// | the chosen row | the list | | | menuitem | the menu item | the same | | | popupClosed | the
// popup the user closed | the same | | | drop | the drop zone (list, trash) | the dragged element |
// index: drop position | | scroll | the scrolled element | the same | y: scroll top | | resized
// | the element the user sized | the same | x: its new width | | buttonClick
// | the button (or link) | the same | href for a link | | editValueChanged | the control | the same
// | value | | selectionChanged | the new current row | the list | | | popupReady, popupDismissed |
// the popup | the element that owns it (a menu button, or the popup itself) | | | menuItemClick |
// the item | the same | | | tableRowClick, tableRowDoubleClick | the row | the table | index: the
// row's index among the table's rows, header rows counted | | tableHeaderClick | the header cell |
// the table | index: the cell's column | | elementExpanded, elementCollapsed | the tab or item |
// the same | | | activateChild | any element inside a tab set | the same | |
//
// Thread safety: events hold element handles; they belong to the document's thread.

#include "htmlview/dom.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zv {

enum class eventKind : std::uint8_t {
  // Input from the browser.
  click,
  dblclick,
  key,
  input,
  select,
  contextmenu,
  menuitem,
  popupClosed,  // the wire's popupDismissed frame: the user closed a popup
  drop,
  scroll,
  resized,  // the user dragged an element's sizing handle
  // Behaviour events.
  buttonClick,
  editValueChanged,
  selectionChanged,
  popupReady,
  popupDismissed,
  menuItemClick,
  tableRowClick,
  tableRowDoubleClick,
  tableHeaderClick,
  elementExpanded,
  elementCollapsed,
  activateChild,
};

// The groups of events a behaviour asks for.
enum eventGroup : unsigned {
  groupInitialization = 1,  // attached and detached
  groupMouse = 2,           // click, dblclick, contextmenu, drop
  groupKey = 4,
  groupScroll = 8,
  groupControl = 16,  // input, select, menuitem, popupClosed
  groupBehaviorEvents = 32,
  groupMethodCalls = 64,
};

bool isBehaviorEvent(eventKind kind);
eventGroup groupOf(eventKind kind);
const char* eventKindName(eventKind kind);

struct keyModifiers {
  bool ctrl = false;
  bool shift = false;
  bool alt = false;
  friend bool operator==(const keyModifiers&, const keyModifiers&) = default;
};

struct uiEvent {
  eventKind kind = eventKind::click;
  elementRef target;
  elementRef source;
  keyModifiers mods;
  std::string key;
  std::string value;
  std::int64_t index = -1;
  int x = 0;
  int y = 0;
  std::optional<std::string> href;

  // A behaviour event raised by `source` and sent to `target`.
  static uiEvent behavior(eventKind kind, element& target, element& source,
                          std::int64_t index = -1);
  // A behaviour event whose target is its source.
  static uiEvent behavior(eventKind kind, element& self, std::int64_t index = -1) {
    return behavior(kind, self, self, index);
  }
};

// The input event of a checked client frame; nullopt for frames that are not input
// (rows, geometry, closeWindow) and for uids the document does not hold (the element
// went away while the frame was on its way).
std::optional<uiEvent> eventFromClientFrame(const nlohmann::json& frame, document& doc);

}  // namespace zv
