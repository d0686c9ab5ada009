#pragma once
// What a dialog window's event handler asks of an event: which button it clicked, and
// whether it is Enter or Escape. User-interface thread only.

#include "htmlview/controlActions.h"
#include "htmlview/events.h"

#include <string>

namespace zv {

// The id of the button an event is about, or empty.
inline std::string buttonOf(const uiEvent& e) {
  if (e.kind != eventKind::buttonClick || !e.source) return {};
  return std::string(e.source->attribute("id").value_or(""));
}

// Enter chooses the window's first button, unless a button has the focus: the browser
// clicks that one itself.
inline bool isEnter(const uiEvent& e) {
  return e.kind == eventKind::key && e.key == "Enter" && !(e.target && isButton(*e.target));
}

inline bool isEscape(const uiEvent& e) {
  return e.kind == eventKind::key && e.key == "Escape";
}

}  // namespace zv
