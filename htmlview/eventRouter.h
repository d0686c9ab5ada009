#pragma once
// The events of one document: which elements carry which behaviours, and the way every
// event takes.
//
// Behaviours are named by `behavior` (or `behaviour`) declarations of the style sheets:
// the document's own <style> elements, the sheets given with addStyleSheet, and an
// element's style attribute; the cascade decides as CSS does (the style attribute, then
// specificity, then the later rule). Every element whose type is "logview" gets the
// logview behaviour unless a sheet names another. Attachment follows the tree by
// itself: content inserted later (setInnerHtml, insert, load) gets its behaviours and
// content taken out loses them, at the next settle — which comes before every event is
// routed, after each dispatch, and before the document hands out a batch or a snapshot.
// Code that inserts content and at once relies on what a behaviour does on attaching
// calls settle() itself.
//
// The way of an event (dispatch, sendEvent, postEvent):
// 1. From the target up through its ancestors to the root: each element's behaviours
//    that want the event's group get it, in the order the style names them. A
//    behaviour that handles it ends the way.
// 2. The application handler (the window's, set by the console) gets it; true ends it.
// 3. An input event nobody handled gets its control's own action (controlActions.h),
//    which may raise behaviour events.
// Behaviour events take the same way; the application handler tells them apart by the
// source's id. Posted events wait in the router's queue and are delivered, in order,
// after the event being handled and the events posted before them; a dispatch ends
// when the queue is empty. Posted with no event being handled, they are delivered by the
// scheduler (the window puts a task on its event loop) or by the next dispatch.
//
// Ownership: the router belongs to the window that owns the document, observes the
// document's tree and must be destroyed before it. Elements carrying behaviours are held
// until they leave.
//
// Thread safety: the document's thread only.

#include "htmlview/behavior.h"
#include "htmlview/events.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zv {

class behaviorRules;

class eventRouter : private treeObserver {
 public:
  using applicationHandler = std::function<bool(uiEvent&)>;
  // Runs the task later on the document's thread.
  using scheduler = std::function<void(std::function<void()>)>;

  explicit eventRouter(document& doc);
  ~eventRouter();
  eventRouter(const eventRouter&) = delete;
  eventRouter& operator=(const eventRouter&) = delete;

  document& doc() { return doc_; }
  void setApplicationHandler(applicationHandler handler) { app_ = std::move(handler); }
  void setScheduler(scheduler s) { schedule_ = std::move(s); }

  // Style sheets beyond the document's own, in cascade order (later wins at equal
  // specificity). Behaviours are attached anew throughout the document.
  void addStyleSheet(std::string_view css);
  // Attaches what is due and detaches what left; see above.
  void settle();
  // Evaluates the style again for an element and its descendants (after a change of
  // class or id that should change their behaviours).
  void restyle(element& top);
  // The behaviours attached to the element, in order.
  std::vector<behavior*> behaviorsOf(const element& e) const;

  // An event from the browser: routed at once, then the queue is delivered. True when a
  // behaviour or the application handled it (a control's own action counts).
  bool dispatch(uiEvent event);
  // Routed at once, also from inside a handler; true when handled.
  bool sendEvent(uiEvent event);
  // Queued; see above.
  void postEvent(uiEvent event);
  // Delivers the queue now (the scheduler's task does this).
  void deliverPosted();
  std::size_t postedCount() const { return posted_.size(); }

  // Calls a method of the element's behaviours; true when one of them took it.
  bool callMethod(element& e, methodCall& call);

 private:
  struct attachment {
    elementRef self;
    std::vector<behavior*> behaviors;
  };

  void subtreeJoined(element& top) override;
  void subtreeLeft(element& top) override;
  void beforeTaking() override;

  bool route(uiEvent& event);
  void drain();
  void attach(element& e, std::vector<behavior*> wanted);
  void detachAll(attachment& a);
  void sweep();
  void rebuildRules();

  document& doc_;
  applicationHandler app_;
  scheduler schedule_;
  std::unique_ptr<behaviorRules> rules_;
  std::vector<std::string> extraSheets_;
  std::unordered_map<const element*, attachment> attached_;
  std::vector<elementRef> joined_;
  bool left_ = false;
  bool styleChanged_ = false;
  bool settling_ = false;
  std::deque<uiEvent> posted_;
  int dispatching_ = 0;
  bool scheduled_ = false;
  std::shared_ptr<bool> alive_;  // scheduled tasks check that the router is still there
};

}  // namespace zv
