// The tab set: a strip of tabs (class "strip") whose tabs name their panels with the
// panel attribute, and the panels, direct children with a name attribute.
//
// One tab is current and its panel expanded; selecting another moves the selected
// attribute and the states to it and its panel, and posts elementCollapsed to the old
// tab and elementExpanded to the new one. A tab whose panel does not exist cannot be
// selected. The mouse selects the tab it is pressed on; Ctrl+Tab and Ctrl+Shift+Tab
// select the next and previous tab, and while the strip or a tab has the focus, Left,
// Right, Home and End do the same; the keys skip disabled and hidden tabs and do not
// wrap around. activateChild selects the tab holding the event's source (or the tab of
// the panel holding it); the method "select" selects the tab of the named panel.
#include "htmlview/eventRouter.h"
#include "htmlview/rows.h"
#include "htmlview/standardBehaviors.h"

namespace zv {
namespace {

element* stripOf(element& tabSet) {
  for (std::size_t i = 0; i < tabSet.childCount(); ++i) {
    element* k = tabSet.child(i);
    if (k->matches(".strip")) return k;
  }
  return nullptr;
}

std::vector<element*> tabsOf(element& tabSet) {
  std::vector<element*> tabs;
  for (elementRef& t : tabSet.selectAll(":root>.strip>[panel]")) tabs.push_back(t.get());
  return tabs;
}

element* panelNamed(element& tabSet, std::string_view name) {
  for (std::size_t i = 0; i < tabSet.childCount(); ++i) {
    element* k = tabSet.child(i);
    if (k->attribute("name") == name) return k;
  }
  return nullptr;
}

// The tab of this set that holds `e`, or nullptr.
element* tabHolding(element& tabSet, element& e) {
  for (element* at = &e; at && at != &tabSet; at = at->parent()) {
    element* strip = at->parent();
    if (at->hasAttribute("panel") && strip && strip->parent() == &tabSet &&
        strip->matches(".strip")) {
      return at;
    }
  }
  return nullptr;
}

class tabSet final : public behavior {
 public:
  tabSet() : behavior("tabs", groupMouse | groupKey | groupBehaviorEvents | groupMethodCalls) {}

  void attached(element& self, eventRouter&) override {
    if (element* strip = stripOf(self)) strip->setStates(stateCurrent, 0);
    elementRef tab = self.selectFirst(":root>.strip>[panel][selected]");
    if (!tab) return;
    tab->setStates(stateCurrent, 0);
    if (element* panel = panelNamed(self, tab->attribute("panel").value_or(""))) {
      panel->setStates(stateExpanded, stateCollapsed);
    }
  }

  bool handleEvent(element& self, uiEvent& event, eventRouter& router) override {
    switch (event.kind) {
      case eventKind::click:
      case eventKind::dblclick: {
        element* tab = tabHolding(self, *event.target);
        if (!tab) return false;
        if (!tab->hasState(stateDisabled)) select(self, *tab, router);
        return true;
      }
      case eventKind::key:
        return onKey(self, event, router);
      case eventKind::activateChild: {
        element* tab = tabHolding(self, *event.source);
        if (!tab) tab = tabOfPanelHolding(self, *event.source);
        if (!tab) return false;
        select(self, *tab, router);
        return true;
      }
      default:
        return false;
    }
  }

  bool callMethod(element& self, methodCall& call, eventRouter& router) override {
    if (call.name != "select") return false;
    for (element* tab : tabsOf(self)) {
      if (tab->attribute("panel") == call.argument) {
        select(self, *tab, router);
        return true;
      }
    }
    return false;
  }

 private:
  static element* tabOfPanelHolding(element& self, element& e) {
    for (element* at = &e; at && at != &self; at = at->parent()) {
      if (at->parent() != &self) continue;
      std::optional<std::string_view> name = at->attribute("name");
      if (!name) return nullptr;
      for (element* tab : tabsOf(self)) {
        if (tab->attribute("panel") == name) return tab;
      }
      return nullptr;
    }
    return nullptr;
  }

  static bool onKey(element& self, uiEvent& event, eventRouter& router) {
    rowMove move;
    if (event.key == "Tab" && event.mods.ctrl && !event.mods.alt) {
      move = event.mods.shift ? rowMove::previous : rowMove::next;
    } else {
      element* strip = stripOf(self);
      if (!strip || !strip->contains(*event.target) || event.mods.ctrl || event.mods.alt)
        return false;
      if (event.key == "ArrowLeft") {
        move = rowMove::previous;
      } else if (event.key == "ArrowRight") {
        move = rowMove::next;
      } else if (event.key == "Home") {
        move = rowMove::first;
      } else if (event.key == "End") {
        move = rowMove::last;
      } else {
        return false;
      }
    }
    std::vector<element*> tabs = tabsOf(self);
    element* current = firstWithState(tabs, stateCurrent);
    element* next = movedRow(tabs, current, move, 1);
    if (next && next != current) select(self, *next, router);
    return true;
  }

  static void select(element& self, element& tab, eventRouter& router) {
    if (tab.hasState(stateCurrent)) return;
    elementRef oldPanel = self.selectFirst(":root>[name]:expanded");
    elementRef oldTab = self.selectFirst(":root>.strip>[panel]:current");
    element* panel = panelNamed(self, tab.attribute("panel").value_or(""));
    if (!panel) return;
    if (oldPanel) {
      oldPanel->removeAttribute("selected");
      oldPanel->setStates(stateCollapsed, stateExpanded);
    }
    if (oldTab) {
      oldTab->removeAttribute("selected");
      oldTab->setStates(0, stateCurrent);
    }
    panel->setAttribute("selected", "");
    panel->setStates(stateExpanded, stateCollapsed);
    tab.setAttribute("selected", "");
    tab.setStates(stateCurrent, 0);
    if (oldTab) router.postEvent(uiEvent::behavior(eventKind::elementCollapsed, *oldTab));
    router.postEvent(uiEvent::behavior(eventKind::elementExpanded, tab));
  }
};

}  // namespace

behavior& tabsBehavior() {
  static tabSet instance;
  return instance;
}

}  // namespace zv
