// Attaching behaviours as the style says, and the way events take through a document.
#include "htmlview/eventRouter.h"

#include "htmlview/behaviorRules.h"
#include "htmlview/controlActions.h"
#include "platform/diagnostics.h"
#include "platform/eventLoop.h"

#include <unordered_set>

namespace zv {
namespace {

// Behaviours that keep posting to each other would never let a dispatch end.
constexpr std::size_t maxPostedPerDelivery = 100000;

behavior* behaviorNamed(const std::string& name) {
  if (behavior* b = findBehaviour(name)) return b;
  // Style sheets name the browser's own controls too; say so once per name.
  static std::unordered_set<std::string> told;
  if (told.insert(name).second) logMessage("no behaviour is called \"%s\"", name.c_str());
  return nullptr;
}

bool holdsStyle(element& top) {
  std::vector<element*> stack{&top};
  while (!stack.empty()) {
    element* e = stack.back();
    stack.pop_back();
    if (e->tag() == "style") return true;
    for (std::size_t i = 0; i < e->childCount(); ++i) stack.push_back(e->child(i));
  }
  return false;
}

}  // namespace

eventRouter::eventRouter(document& doc)
    : doc_(doc), rules_(std::make_unique<behaviorRules>()), alive_(std::make_shared<bool>(true)) {
  doc_.setTreeObserver(this);
  joined_.emplace_back(&doc_.root());
}

eventRouter::~eventRouter() {
  doc_.setTreeObserver(nullptr);
  auto all = std::move(attached_);
  attached_.clear();
  for (auto& [e, a] : all) detachAll(a);
}

void eventRouter::addStyleSheet(std::string_view css) {
  extraSheets_.emplace_back(css);
  joined_.emplace_back(&doc_.root());  // restyled with the document's sheets at settle
  styleChanged_ = true;
  settle();
}

void eventRouter::rebuildRules() {
  auto rules = std::make_unique<behaviorRules>();
  for (elementRef& style : doc_.selectAll("style")) rules->addSheet(style->text());
  for (const std::string& css : extraSheets_) rules->addSheet(css);
  rules_ = std::move(rules);
}

void eventRouter::settle() {
  ZV_ASSERT_UI_THREAD();
  if (settling_) return;
  settling_ = true;
  while (left_ || !joined_.empty()) {
    if (left_) {
      left_ = false;
      sweep();
    }
    std::vector<elementRef> pending = std::move(joined_);
    joined_.clear();
    for (elementRef& top : pending) {
      // A new document (load) or new style elements may change any element's behaviours.
      if (styleChanged_ || !top->isConnected()) continue;
      styleChanged_ = top.get() == &doc_.root() || holdsStyle(*top);
    }
    if (styleChanged_) {
      styleChanged_ = false;
      rebuildRules();
      pending.assign(1, elementRef(&doc_.root()));
    }
    for (elementRef& top : pending) {
      if (top->isConnected()) restyle(*top);
    }
  }
  settling_ = false;
}

void eventRouter::restyle(element& top) {
  std::vector<elementRef> stack{elementRef(&top)};
  while (!stack.empty()) {
    elementRef e = std::move(stack.back());
    stack.pop_back();
    if (!e->isConnected()) continue;
    std::vector<behavior*> wanted;
    for (const std::string& name : rules_->namesFor(*e, doc_.root())) {
      if (behavior* b = behaviorNamed(name)) wanted.push_back(b);
    }
    attach(*e, std::move(wanted));
    for (std::size_t i = e->childCount(); i-- > 0;) stack.emplace_back(e->child(i));
  }
}

void eventRouter::attach(element& e, std::vector<behavior*> wanted) {
  auto it = attached_.find(&e);
  if (it != attached_.end()) {
    if (it->second.behaviors == wanted) return;
    attachment old = std::move(it->second);
    attached_.erase(it);
    detachAll(old);
  }
  if (wanted.empty()) return;
  attachment& a = attached_[&e];
  a.self = &e;
  a.behaviors = wanted;
  for (behavior* b : wanted) b->attached(e, *this);
}

void eventRouter::detachAll(attachment& a) {
  for (behavior* b : a.behaviors) b->detached(*a.self, *this);
}

void eventRouter::sweep() {
  std::vector<attachment> gone;
  for (auto it = attached_.begin(); it != attached_.end();) {
    if (it->second.self->isConnected()) {
      ++it;
    } else {
      gone.push_back(std::move(it->second));
      it = attached_.erase(it);
    }
  }
  for (attachment& a : gone) detachAll(a);
}

std::vector<behavior*> eventRouter::behaviorsOf(const element& e) const {
  auto it = attached_.find(&e);
  return it == attached_.end() ? std::vector<behavior*>{} : it->second.behaviors;
}

void eventRouter::subtreeJoined(element& top) {
  joined_.emplace_back(&top);
}

void eventRouter::subtreeLeft(element&) {
  left_ = true;
}

void eventRouter::beforeTaking() {
  settle();
}

bool eventRouter::route(uiEvent& event) {
  if (!event.target || !event.target->isConnected()) return false;
  if (!event.source) event.source = event.target;
  eventGroup group = groupOf(event.kind);
  // Handlers may change the tree under the event: the way is fixed before it starts.
  std::vector<elementRef> path;
  for (element* e = event.target.get(); e; e = e->parent()) path.emplace_back(e);
  for (elementRef& e : path) {
    auto it = attached_.find(e.get());
    if (it == attached_.end() || !e->isConnected()) continue;  // taken out on the way
    std::vector<behavior*> behaviors = it->second.behaviors;
    for (behavior* b : behaviors) {
      if (b->wants(group) && b->handleEvent(*e, event, *this)) return true;
    }
  }
  if (app_ && app_(event)) return true;
  if (isBehaviorEvent(event.kind)) return false;
  return runControlAction(event, *this);
}

void eventRouter::drain() {
  std::size_t delivered = 0;
  while (!posted_.empty()) {
    if (++delivered > maxPostedPerDelivery) {
      ZV_REPORT("%zu posted events dropped: behaviours keep posting", posted_.size());
      posted_.clear();
      break;
    }
    uiEvent e = std::move(posted_.front());
    posted_.pop_front();
    route(e);
  }
}

bool eventRouter::dispatch(uiEvent event) {
  settle();
  ++dispatching_;
  bool handled = route(event);
  drain();
  --dispatching_;
  settle();
  return handled;
}

bool eventRouter::sendEvent(uiEvent event) {
  settle();
  return route(event);
}

void eventRouter::postEvent(uiEvent event) {
  posted_.push_back(std::move(event));
  if (dispatching_ > 0 || scheduled_ || !schedule_) return;
  scheduled_ = true;
  std::weak_ptr<bool> alive = alive_;
  schedule_([this, alive] {
    if (alive.expired()) return;
    scheduled_ = false;
    deliverPosted();
  });
}

void eventRouter::deliverPosted() {
  settle();
  ++dispatching_;
  drain();
  --dispatching_;
  settle();
}

bool eventRouter::callMethod(element& e, methodCall& call) {
  settle();
  auto it = attached_.find(&e);
  if (it == attached_.end()) return false;
  std::vector<behavior*> behaviors = it->second.behaviors;
  for (behavior* b : behaviors) {
    if (b->wants(groupMethodCalls) && b->callMethod(e, call, *this)) return true;
  }
  return false;
}

}  // namespace zv
