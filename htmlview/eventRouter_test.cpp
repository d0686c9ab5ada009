#include "htmlview/eventTesting.h"

#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace zv {
namespace {

using test::eventBench;

// What the probe behaviours saw, across tests.
std::vector<std::string>& probeLog() {
  static std::vector<std::string> log;
  return log;
}

std::string takeProbeLog() {
  std::string out;
  for (const std::string& s : probeLog()) out += (out.empty() ? "" : "; ") + s;
  probeLog().clear();
  return out;
}

// Writes down what reaches it; handles an event when its element has the attribute
// "stop".
class probe final : public behavior {
 public:
  probe(const char* name, unsigned groups) : behavior(name, groups) {}
  void attached(element& self, eventRouter&) override {
    probeLog().push_back(name() + " on " + test::label(&self));
  }
  void detached(element& self, eventRouter&) override {
    probeLog().push_back(name() + " off " + test::label(&self));
  }
  bool handleEvent(element& self, uiEvent& event, eventRouter&) override {
    probeLog().push_back(name() + " " + eventKindName(event.kind) + " at " + test::label(&self));
    return self.hasAttribute("stop");
  }
};

probe mouseProbe("probe", groupMouse | groupBehaviorEvents);
probe keyProbe("key-probe", groupKey);

constexpr std::string_view nested = R"(<style>
  .p { behavior: probe }
  .k { behavior: key-probe probe }
</style>
<div id=a class=p><div id=b class=k><span id=c class=p>text</span></div></div>)";

// An event goes from the target up; each behaviour that wants its group sees it, and
// one that handles it ends the way before the application.
TEST(EventRouter, EventsBubbleUntilHandled) {
  eventBench b(nested, true);
  takeProbeLog();
  EXPECT_FALSE(b.click("c"));
  EXPECT_EQ(takeProbeLog(), "probe click at c; probe click at b; probe click at a");
  EXPECT_EQ(b.events(), "click c");
  b.key("c", "x");
  EXPECT_EQ(takeProbeLog(), "key-probe key at b");
  EXPECT_EQ(b.events(), "key c");
  b.at("b").setAttribute("stop", "");
  EXPECT_TRUE(b.click("c"));
  EXPECT_EQ(takeProbeLog(), "probe click at c; probe click at b");
  EXPECT_EQ(b.events(), "");
  // Behaviour events take the same way.
  EXPECT_TRUE(b.router.sendEvent(uiEvent::behavior(eventKind::elementExpanded, b.at("c"))));
  EXPECT_EQ(takeProbeLog(), "probe elementExpanded at c; probe elementExpanded at b");
}

// Posted events wait for the event being handled and those posted before them; sent
// events are handled at once.
TEST(EventRouter, PostedEventsComeInOrderAfterTheCurrentOne) {
  eventBench b("<div id=x><span id=y></span></div>", true);
  element& x = b.at("x");
  element& y = b.at("y");
  std::vector<std::string> order;
  b.router.setApplicationHandler([&](uiEvent& e) {
    order.push_back(test::describe(e));
    if (e.kind == eventKind::click) {
      b.router.postEvent(uiEvent::behavior(eventKind::popupReady, x));
      b.router.postEvent(uiEvent::behavior(eventKind::menuItemClick, y));
      bool handled = b.router.sendEvent(uiEvent::behavior(eventKind::elementExpanded, y));
      order.push_back(handled ? "sent: handled" : "sent: not handled");
    }
    if (e.kind == eventKind::popupReady) {
      b.router.postEvent(uiEvent::behavior(eventKind::elementCollapsed, x));
    }
    return e.kind == eventKind::elementExpanded;
  });
  EXPECT_FALSE(b.click("y"));
  EXPECT_EQ(b.router.postedCount(), 0u);
  const std::vector<std::string> expected = {
      "click y",      "elementExpanded y", "sent: handled",
      "popupReady x", "menuItemClick y",   "elementCollapsed x",
  };
  EXPECT_EQ(order, expected);
}

// Posted with no event being handled: the scheduler delivers them, once for a burst;
// without one they wait for the next dispatch. A task that outlives its router does
// nothing.
TEST(EventRouter, PostsOutsideAnEventGoThroughTheScheduler) {
  std::vector<std::function<void()>> tasks;
  {
    eventBench b("<p id=p></p><i id=i></i>");
    b.router.setScheduler([&](std::function<void()> task) { tasks.push_back(std::move(task)); });
    b.router.postEvent(uiEvent::behavior(eventKind::buttonClick, b.at("p")));
    b.router.postEvent(uiEvent::behavior(eventKind::buttonClick, b.at("i")));
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(b.events(), "");
    tasks[0]();
    EXPECT_EQ(b.events(), "buttonClick p; buttonClick i");
    b.router.postEvent(uiEvent::behavior(eventKind::buttonClick, b.at("p")));
    EXPECT_EQ(tasks.size(), 2u);
    b.router.setScheduler(nullptr);
    tasks[1]();
    b.router.postEvent(uiEvent::behavior(eventKind::buttonClick, b.at("i")));
    EXPECT_EQ(b.events(), "buttonClick p");
    b.click("p");
    EXPECT_EQ(b.events(), "buttonClick i");
    b.router.setScheduler([&](std::function<void()> task) { tasks.push_back(std::move(task)); });
    b.router.postEvent(uiEvent::behavior(eventKind::buttonClick, b.at("p")));
  }
  ASSERT_EQ(tasks.size(), 3u);
  tasks[2]();  // the router is gone
}

// An event for an element that left the document goes nowhere.
TEST(EventRouter, EventsForRemovedElementsAreDropped) {
  eventBench b("<p id=p></p>", true);
  elementRef p = &b.at("p");
  b.router.postEvent(uiEvent::behavior(eventKind::buttonClick, *p));
  p->remove();
  b.router.deliverPosted();
  EXPECT_FALSE(b.router.sendEvent(uiEvent::behavior(eventKind::buttonClick, *p)));
  EXPECT_EQ(b.events(), "");
}

// Behaviours follow the tree: inserted content gets them before its batch goes out,
// content taken out loses them.
TEST(EventRouter, BehavioursFollowTheTree) {
  eventBench b("<style>.p { behavior: probe }</style><div id=host></div>");
  takeProbeLog();
  element& host = b.at("host");
  host.setInnerHtml("<i id=n1 class=p></i><b><i id=n2 class=p></i></b>");
  EXPECT_EQ(takeProbeLog(), "");  // not yet: only noted
  b.doc.takeBatch();
  EXPECT_EQ(takeProbeLog(), "probe on n1; probe on n2");
  elementRef n1 = &b.at("n1");
  b.at("host").append(n1);  // moved within the tree: kept
  host.child(0)->remove();
  b.router.settle();
  EXPECT_EQ(takeProbeLog(), "probe off n2");
  host.setAttribute("class", "p");
  b.router.restyle(host);
  EXPECT_EQ(takeProbeLog(), "probe on host");
  b.doc.load("<p>gone</p>");
  b.router.settle();
  std::vector<std::string> off = probeLog();
  probeLog().clear();
  std::sort(off.begin(), off.end());
  EXPECT_EQ(off, (std::vector<std::string>{"probe off host", "probe off n1"}));
  EXPECT_TRUE(b.router.behaviorsOf(*n1).empty());
}

// Rules come from the document's style elements, added sheets and style attributes; the
// cascade picks one declaration per element.
TEST(EventRouter, StyleSheetsPickBehaviours) {
  test::logCapture log;
  eventBench b(R"(<style>
    div { behavior: grid }
    .c { behaviour: x-form }
    div.c { behavior: tabs }
    #x, a:hover, span { behavior: sel-grid }
    em { behavior: no-such-thing }
  </style>
  <div id=d></div><div id=dc class=c></div><p id=pc class=c></p><div id=x class=c></div>
  <span id=s></span><div id=inline class=c style="behavior: collapsible-list"></div>
  <div id=none class=c style="behavior: none"></div><em id=e></em><widget id=log type=logview></widget>)");
  auto names = [&](const char* id) {
    std::string out;
    for (behavior* h : b.router.behaviorsOf(b.at(id))) out += (out.empty() ? "" : " ") + h->name();
    return out;
  };
  EXPECT_EQ(names("d"), "grid");
  EXPECT_EQ(names("dc"), "tabs");
  EXPECT_EQ(names("pc"), "x-form");
  EXPECT_EQ(names("x"), "sel-grid");
  EXPECT_EQ(names("s"), "sel-grid");  // the unsupported selector left out, not its rule
  EXPECT_EQ(names("inline"), "collapsible-list");
  EXPECT_EQ(names("none"), "");
  EXPECT_EQ(names("e"), "");
  EXPECT_EQ(names("log"), "logview");
  EXPECT_TRUE(log.contains("a:hover"));
  EXPECT_TRUE(log.contains("no-such-thing"));
  b.router.addStyleSheet("p.c { behavior: expandable-list } widget { behavior: grid }");
  EXPECT_EQ(names("pc"), "expandable-list");
  EXPECT_EQ(names("log"), "grid");  // an author's rule wins over the built-in one
}

// The log view's hooks see the element come and go.
TEST(EventRouter, LogViewHooksFollowTheElement) {
  std::vector<std::string> seen;
  setLogViewHooks({[&](element& e) { seen.push_back("in " + test::label(&e)); },
                   [&](element& e) { seen.push_back("out " + test::label(&e)); }});
  {
    eventBench b("<div id=panel><widget id=log1 type=logview></widget></div>");
    b.at("panel").setInnerHtml("<widget id=log2 type=logview></widget>");
    b.router.settle();
  }
  setLogViewHooks({});
  const std::vector<std::string> expected = {"in log1", "out log1", "in log2", "out log2"};
  EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace zv
