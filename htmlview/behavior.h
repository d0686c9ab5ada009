#pragma once
// Behaviours: the program's interactive controls that the style sheets attach to
// elements by name ("behavior: tabs").
//
// A behaviour is one object for the whole process with a name and the groups of events
// it wants (events.h). It keeps nothing per element unless it says so: every call
// names the element it is attached to. The registry is a singly linked list, newest at
// the head, that lives for the whole process; the standard behaviours (tabs,
// expandable-list, collapsible-list, grid, sortable-grid, sel-grid, x-form, logview)
// are in it from the first look-up on, and a later module may add its own with
// registerBehaviour.
//
// The event router (eventRouter.h) decides which elements carry which behaviours and
// calls them.
//
// Thread safety: the registry is filled once and then only read; the behaviours' calls
// belong to the documents' thread.

#include "htmlview/events.h"

#include <functional>
#include <string>
#include <string_view>

namespace zv {

class eventRouter;

// Method numbers of the application's own methods are counted from here.
constexpr unsigned firstApplicationMethod = 0x100;

// The sel-grid's methods.
namespace selGridMethod {
constexpr unsigned setCurrentRow = firstApplicationMethod + 1;  // row: the row to make current
constexpr unsigned clearCurrentRow = firstApplicationMethod + 2;
constexpr unsigned currentRow = firstApplicationMethod + 3;  // row: gets the current row
}  // namespace selGridMethod

// A call of a behaviour's method: by name ("select") or by number.
struct methodCall {
  std::string name;
  unsigned number = 0;
  std::string argument;  // "select": the panel's name
  elementRef row;        // sel-grid: in for setCurrentRow, out for currentRow

  static methodCall named(std::string name, std::string argument = {}) {
    methodCall c;
    c.name = std::move(name);
    c.argument = std::move(argument);
    return c;
  }
  static methodCall numbered(unsigned number, elementRef row = {}) {
    methodCall c;
    c.number = number;
    c.row = std::move(row);
    return c;
  }
};

class behavior {
 public:
  behavior(const behavior&) = delete;
  behavior& operator=(const behavior&) = delete;

  const std::string& name() const { return name_; }
  unsigned groups() const { return groups_; }
  bool wants(eventGroup group) const { return (groups_ & group) != 0; }
  behavior* next() const { return next_; }

  // The element got this behaviour, or lost it (left the document, or its style no
  // longer names it). Every behaviour gets these two calls.
  virtual void attached(element& self, eventRouter& router);
  virtual void detached(element& self, eventRouter& router);
  // An event of one of its groups on its way from the target up through `self`;
  // true when handled, which ends the event's way.
  virtual bool handleEvent(element& self, uiEvent& event, eventRouter& router);
  virtual bool callMethod(element& self, methodCall& call, eventRouter& router);

 protected:
  // Adds the behaviour at the head of the registry.
  behavior(std::string name, unsigned groups);
  ~behavior() = default;

 private:
  std::string name_;
  unsigned groups_;
  behavior* next_ = nullptr;
};

// The behaviour with exactly this name, or nullptr.
behavior* findBehaviour(std::string_view name);
// The head of the registry (the standard behaviours are registered first).
behavior* firstBehaviour();

// The log view of the log module hooks in here: an element of the "logview" behaviour
// (every element whose type attribute is "logview") is handed to `attached` when the
// behaviour attaches and to `detached` when it goes. Either may be empty.
struct logViewHooks {
  std::function<void(element&)> attached;
  std::function<void(element&)> detached;
};
void setLogViewHooks(logViewHooks hooks);

}  // namespace zv
