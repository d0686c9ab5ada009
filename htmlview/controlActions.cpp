// The controls' own actions on input events; the rules are listed in the header.
#include "htmlview/controlActions.h"

#include "htmlview/eventRouter.h"
#include "htmlview/rows.h"
#include "platform/textConv.h"

#include <array>

namespace zv {
namespace {

std::string_view typeOf(const element& e) {
  return e.attribute("type").value_or("");
}

bool isMenuOrPopup(const element& e) {
  return e.tag() == "menu" || e.tag() == "popup";
}

// The menu or popup a menu button holds as a direct child.
element* heldPopup(element& button) {
  for (std::size_t i = 0; i < button.childCount(); ++i) {
    if (isMenuOrPopup(*button.child(i))) return button.child(i);
  }
  return nullptr;
}

void checkRadio(element& radio) {
  radio.setStates(stateChecked, 0);
  std::optional<std::string_view> name = radio.attribute("name");
  if (!name) return;
  // The group: radios of the same name and the same form, or of no form at all.
  elementRef form = radio.closest("form");
  element& within = form ? *form : radio.ownerDocument()->root();
  for (elementRef& other : within.selectAll("button, input")) {
    if (other.get() == &radio || !equalsNoCase(typeOf(*other), "radio") ||
        other->attribute("name") != name || other->closest("form") != form) {
      continue;
    }
    other->setStates(0, stateChecked);
  }
}

bool clickAction(uiEvent& event, eventRouter& router) {
  element* control = nullptr;
  for (element* e = event.target.get(); e; e = e->parent()) {
    if (isButton(*e) || e->hasAttribute("href")) {
      control = e;
      break;
    }
    if (e->hasState(statePopup)) break;  // a click in an open menu is not its button's
  }
  if (!control || control->hasState(stateDisabled)) return false;
  if (!isButton(*control)) {
    uiEvent click = uiEvent::behavior(eventKind::buttonClick, *control);
    click.href = event.href ? *event.href : std::string(control->attribute("href").value_or(""));
    router.postEvent(std::move(click));
    return true;
  }
  std::string_view type = typeOf(*control);
  if (equalsNoCase(type, "checkbox")) {
    switchStates(*control, stateChecked, !control->hasState(stateChecked));
  } else if (equalsNoCase(type, "radio")) {
    checkRadio(*control);
  } else if (element* popup = heldPopup(*control)) {
    bool shown = popup->hasState(statePopup);
    switchStates(*popup, statePopup, !shown);
    router.postEvent(uiEvent::behavior(shown ? eventKind::popupDismissed : eventKind::popupReady,
                                       *popup, *control));
    return true;
  }
  router.postEvent(uiEvent::behavior(eventKind::buttonClick, *control));
  return true;
}

bool inputAction(uiEvent& event, eventRouter& router) {
  element& control = *event.target;
  bool textControl = control.tag() == "textarea" || control.tag() == "plaintext" ||
                     (control.tag() == "input" && !isButton(control));
  if (!textControl || control.hasState(stateDisabled) || control.hasState(stateReadonly) ||
      control.hasAttribute("readonly")) {
    return false;
  }
  control.setValue(event.value);
  uiEvent changed = uiEvent::behavior(eventKind::editValueChanged, control);
  changed.value = control.value();
  router.postEvent(std::move(changed));
  return true;
}

// Makes `row` the list's current row; false when it already was.
bool makeCurrent(element& list, element& row, const std::vector<element*>& rows) {
  element* old = firstWithState(rows, stateCurrent);
  if (old == &row) return false;
  if (old) old->setStates(0, stateCurrent);
  row.setStates(stateCurrent, 0);
  if (list.hasValue()) {
    std::optional<std::string_view> v = row.attribute("value");
    if (v) {
      list.setValue(*v);
    } else if (row.tag() == "option") {
      if (document* doc = row.ownerDocument()) doc->fillRow(row);  // a row built when needed
      list.setValue(row.text());
    }
  }
  return true;
}

bool selectAction(uiEvent& event, eventRouter& router) {
  element& list = *event.source;
  element& row = *event.target;
  if (!isList(list) && list.tag() != "select") return false;
  if (listRowOf(list, row) != &row || row.hasState(stateDisabled)) return false;
  if (makeCurrent(list, row, listRows(list))) {
    router.postEvent(uiEvent::behavior(eventKind::selectionChanged, row, list));
  }
  return true;
}

bool keyAction(uiEvent& event, eventRouter& router) {
  element& list = *event.target;
  std::optional<rowMove> move = rowMoveForKey(event.key);
  if (!isList(list) || !move || event.mods.ctrl || event.mods.alt) return false;
  std::vector<element*> rows = listRows(list);
  element* row = movedRow(rows, firstWithState(rows, stateCurrent), *move, pageRows(event.index));
  if (row && makeCurrent(list, *row, rows)) {
    row->scrollIntoView();
    router.postEvent(uiEvent::behavior(eventKind::selectionChanged, *row, list));
  }
  return true;
}

bool menuItemAction(uiEvent& event, eventRouter& router) {
  element& item = *event.target;
  if (item.hasState(stateDisabled)) return false;
  router.postEvent(uiEvent::behavior(eventKind::menuItemClick, item));
  for (element* e = &item; e; e = e->parent()) {
    if (!e->hasState(statePopup)) continue;
    e->setStates(0, statePopup);
    router.postEvent(uiEvent::behavior(eventKind::popupDismissed, *e, popupOwner(*e)));
  }
  return true;
}

bool popupClosedAction(uiEvent& event, eventRouter& router) {
  element& popup = *event.target;
  popup.setStates(0, statePopup);
  router.postEvent(uiEvent::behavior(eventKind::popupDismissed, popup, popupOwner(popup)));
  return true;
}

struct controlRule {
  eventKind kind;
  bool (*run)(uiEvent&, eventRouter&);
};

constexpr std::array<controlRule, 6> rules{{
    {eventKind::click, clickAction},
    {eventKind::input, inputAction},
    {eventKind::select, selectAction},
    {eventKind::key, keyAction},
    {eventKind::menuitem, menuItemAction},
    {eventKind::popupClosed, popupClosedAction},
}};

}  // namespace

bool isButton(const element& e) {
  if (e.tag() == "button") return true;
  if (e.tag() != "input") return false;
  std::string_view type = typeOf(e);
  for (std::string_view t : {"button", "checkbox", "radio", "submit", "reset"}) {
    if (equalsNoCase(type, t)) return true;
  }
  return false;
}

element& popupOwner(element& popup) {
  element* parent = popup.parent();
  return isMenuOrPopup(popup) && parent && isButton(*parent) ? *parent : popup;
}

bool runControlAction(uiEvent& event, eventRouter& router) {
  if (!event.target || !event.source) return false;
  for (const controlRule& r : rules) {
    if (r.kind == event.kind) return r.run(event, router);
  }
  return false;
}

}  // namespace zv
