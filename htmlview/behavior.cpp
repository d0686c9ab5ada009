// The behaviour registry, the base of every behaviour, and the log view's attachment
// point.
#include "htmlview/behavior.h"

#include "htmlview/standardBehaviors.h"

namespace zv {
namespace {

constinit behavior* registryHead = nullptr;

void registerStandardBehaviors() {
  static const bool done = [] {
    tabsBehavior();
    expandableListBehavior();
    collapsibleListBehavior();
    gridBehavior();
    sortableGridBehavior();
    selGridBehavior();
    xFormBehavior();
    logViewBehavior();
    return true;
  }();
  (void)done;
}

logViewHooks& hooks() {
  static logViewHooks h;
  return h;
}

// An element of type "logview": the log module's view is put in and taken out.
class logView final : public behavior {
 public:
  logView() : behavior("logview", groupInitialization) {}
  void attached(element& self, eventRouter&) override {
    if (hooks().attached) hooks().attached(self);
  }
  void detached(element& self, eventRouter&) override {
    if (hooks().detached) hooks().detached(self);
  }
};

}  // namespace

behavior::behavior(std::string name, unsigned groups)
    : name_(std::move(name)), groups_(groups), next_(registryHead) {
  registryHead = this;
}

void behavior::attached(element&, eventRouter&) {}
void behavior::detached(element&, eventRouter&) {}

bool behavior::handleEvent(element&, uiEvent&, eventRouter&) {
  return false;
}

bool behavior::callMethod(element&, methodCall&, eventRouter&) {
  return false;
}

behavior* firstBehaviour() {
  registerStandardBehaviors();
  return registryHead;
}

behavior* findBehaviour(std::string_view name) {
  for (behavior* b = firstBehaviour(); b; b = b->next()) {
    if (b->name() == name) return b;
  }
  return nullptr;
}

void setLogViewHooks(logViewHooks h) {
  hooks() = std::move(h);
}

behavior& logViewBehavior() {
  static logView instance;
  return instance;
}

}  // namespace zv
