// Lists that open one item at a time: expandable-list and collapsible-list.
//
// The element's children are the items. On attaching, the last item with the default
// attribute becomes current and expanded and every other one collapsed. Selecting an
// item (a click on its caption, "li > .caption", or Up and Down) closes the open one
// (elementCollapsed) and opens it (elementExpanded). A collapsible list also closes
// the open item when it is selected again, leaving none open, and scrolls the
// selected item into view.
#include "htmlview/eventRouter.h"
#include "htmlview/rows.h"
#include "htmlview/standardBehaviors.h"

namespace zv {
namespace {

std::vector<element*> itemsOf(element& list) {
  std::vector<element*> items;
  for (std::size_t i = 0; i < list.childCount(); ++i) items.push_back(list.child(i));
  return items;
}

// The item whose caption holds `e`.
element* itemOfCaption(element& list, element& e) {
  for (element* at = &e; at && at != &list; at = at->parent()) {
    element* item = at->parent();
    if (item && item->parent() == &list && item->tag() == "li" && at->matches(".caption")) {
      return item;
    }
  }
  return nullptr;
}

class itemList final : public behavior {
 public:
  itemList(const char* name, bool collapsible)
      : behavior(name, groupMouse | groupKey | groupBehaviorEvents), collapsible_(collapsible) {}

  void attached(element& self, eventRouter&) override {
    std::vector<element*> items = itemsOf(self);
    element* chosen = nullptr;
    for (std::size_t i = items.size(); i-- > 0 && !chosen;) {
      if (items[i]->hasAttribute("default")) chosen = items[i];
    }
    for (element* item : items) {
      if (chosen && item == chosen) {
        item->setStates(stateCurrent | stateExpanded, stateCollapsed);
      } else {
        item->setStates(stateCollapsed, chosen ? stateExpanded | stateCurrent : stateExpanded);
      }
    }
  }

  bool handleEvent(element& self, uiEvent& event, eventRouter& router) override {
    if (event.kind == eventKind::click) {
      element* item = itemOfCaption(self, *event.target);
      if (!item) return false;
      select(self, *item, router);
      return true;
    }
    if (event.kind == eventKind::key && !event.mods.ctrl && !event.mods.alt &&
        (event.key == "ArrowUp" || event.key == "ArrowDown")) {
      std::vector<element*> items = itemsOf(self);
      element* next = movedRow(items, firstWithState(items, stateCurrent),
                               event.key == "ArrowUp" ? rowMove::previous : rowMove::next);
      if (next) select(self, *next, router);
      return true;
    }
    return false;
  }

 private:
  void select(element& self, element& item, eventRouter& router) const {
    std::vector<element*> items = itemsOf(self);
    if (item.hasState(stateExpanded)) {
      if (!collapsible_) return;
      item.setStates(stateCollapsed, stateExpanded);
      router.postEvent(uiEvent::behavior(eventKind::elementCollapsed, item));
      item.scrollIntoView();
      return;
    }
    element* oldCurrent = firstWithState(items, stateCurrent);
    element* oldExpanded = firstWithState(items, stateExpanded);
    if (oldCurrent && oldCurrent != &item) oldCurrent->setStates(0, stateCurrent);
    if (oldExpanded) {
      oldExpanded->setStates(stateCollapsed, stateCurrent | stateExpanded);
      router.postEvent(uiEvent::behavior(eventKind::elementCollapsed, *oldExpanded));
    }
    item.setStates(stateCurrent | stateExpanded, stateCollapsed);
    router.postEvent(uiEvent::behavior(eventKind::elementExpanded, item));
    if (collapsible_) item.scrollIntoView();
  }

  bool collapsible_;
};

}  // namespace

behavior& expandableListBehavior() {
  static itemList instance("expandable-list", false);
  return instance;
}

behavior& collapsibleListBehavior() {
  static itemList instance("collapsible-list", true);
  return instance;
}

}  // namespace zv
