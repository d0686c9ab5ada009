#include "htmlview/eventTesting.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

using test::ctrl;
using test::ctrlShift;
using test::eventBench;

constexpr std::string_view tabSet = R"(<html><head><style>
  div.tabs { behavior: tabs }
</style></head><body>
<div class=tabs id=set>
  <div class=strip id=strip>
    <span id=t1 panel=p1>One</span>
    <span id=t2 panel=p2 selected>Two</span>
    <span id=t3 panel=p3>Three</span>
    <span id=t4 panel=p4 disabled>Four</span>
  </div>
  <div name=p1 id=p1><input id=in1></div>
  <div name=p2 id=p2 selected><input id=in2></div>
  <div name=p3 id=p3><span id=deep>x</span></div>
  <div name=p4 id=p4></div>
</div>
<div class=tabs id=gap>
  <div class=strip id=gstrip><span id=g1 panel=q1 selected>A</span><span id=g2 panel=nowhere>B</span></div>
  <div name=q1 id=q1></div>
</div>
</body></html>)";

// On attaching, the selected tab and the strip become current and the tab's panel expanded.
TEST(Tabs, AttachingMarksTheSelectedTabAndItsPanel) {
  eventBench b(tabSet);
  EXPECT_EQ(b.ids(":current"), "strip t2 gstrip g1");
  EXPECT_EQ(b.ids(":expanded"), "p2 q1");
  EXPECT_EQ(b.events(), "");
}

// Selecting a tab moves the selected attribute and the states, and posts collapsed for
// the old tab and expanded for the new one; the current tab again changes nothing.
TEST(Tabs, MouseSelectsTheTabItIsPressedOn) {
  eventBench b(tabSet);
  EXPECT_TRUE(b.click("t1"));
  EXPECT_EQ(b.events(), "elementCollapsed t2; elementExpanded t1");
  EXPECT_EQ(b.ids("#set > .strip > :current"), "t1");
  EXPECT_EQ(b.ids("#set [selected]"), "t1 p1");
  EXPECT_EQ(b.ids("#set > :expanded"), "p1");
  EXPECT_EQ(b.ids("#set > :collapsed"), "p2");
  EXPECT_TRUE(b.dblclick("t3"));
  EXPECT_EQ(b.events(), "elementCollapsed t1; elementExpanded t3");
  EXPECT_TRUE(b.click("t3"));
  EXPECT_EQ(b.events(), "");
  EXPECT_FALSE(b.click("deep"));  // inside a panel: not the tab set's
  EXPECT_TRUE(b.click("t4"));     // disabled
  EXPECT_EQ(b.ids("#set > .strip > :current"), "t3");
}

// A tab naming a panel that does not exist leaves the tab set as it was.
TEST(Tabs, TabOfMissingPanelKeepsThePreviousPanel) {
  eventBench b(tabSet);
  b.click("g2");
  EXPECT_EQ(b.events(), "");
  EXPECT_EQ(b.ids("#gap .strip > :current"), "g1");
  EXPECT_EQ(b.ids("#gap > :expanded"), "q1");
  EXPECT_EQ(b.ids("#gap [selected]"), "g1");
}

// Keys: Ctrl+Tab anywhere in the set; arrows, Home and End while the strip or a tab has
// the focus. Disabled tabs are skipped and nothing wraps around.
TEST(Tabs, KeysMoveAmongEnabledTabs) {
  struct keyCase {
    const char* start;  // the tab clicked first
    const char* focus;
    const char* key;
    keyModifiers mods;
    const char* current;
  };
  const keyCase cases[] = {
      {"t2", "in2", "Tab", ctrl, "t3"},       {"t2", "in2", "Tab", ctrlShift, "t1"},
      {"t3", "deep", "Tab", ctrl, "t3"},  // the only later tab is disabled
      {"t1", "in1", "Tab", ctrlShift, "t1"},  {"t2", "t2", "ArrowRight", {}, "t3"},
      {"t2", "strip", "ArrowLeft", {}, "t1"}, {"t3", "t3", "ArrowRight", {}, "t3"},
      {"t3", "t3", "Home", {}, "t1"},         {"t1", "strip", "End", {}, "t3"},
      {"t2", "in2", "ArrowRight", {}, "t2"},  // focus in a panel
      {"t2", "t2", "Tab", {}, "t2"},          // Tab alone is the browser's
  };
  for (const keyCase& c : cases) {
    SCOPED_TRACE(std::string(c.start) + " " + c.key + " on " + c.focus);
    eventBench b(tabSet);
    b.click(c.start);
    b.events();
    b.key(c.focus, c.key, c.mods);
    EXPECT_EQ(b.ids("#set > .strip > :current"), c.current);
    EXPECT_EQ(b.ids("#set > :expanded"), "p" + std::string(c.current + 1));
  }
}

// activateChild selects the tab holding the source, or the tab of the panel holding it.
TEST(Tabs, ActivateChildSelectsTheTabOfItsSource) {
  eventBench b(tabSet);
  EXPECT_TRUE(b.router.sendEvent(uiEvent::behavior(eventKind::activateChild, b.at("deep"))));
  EXPECT_EQ(b.ids("#set > .strip > :current"), "t3");
  b.router.postEvent(uiEvent::behavior(eventKind::activateChild, b.at("t1")));
  b.router.deliverPosted();
  EXPECT_EQ(b.ids("#set > .strip > :current"), "t1");
  EXPECT_EQ(b.events(),
            "elementCollapsed t2; elementExpanded t3; elementCollapsed t3; elementExpanded t1");
}

// The method "select" takes a panel's name.
TEST(Tabs, SelectMethodTakesAPanelName) {
  eventBench b(tabSet);
  methodCall call = methodCall::named("select", "p3");
  EXPECT_TRUE(b.router.callMethod(b.at("set"), call));
  EXPECT_EQ(b.ids("#set > :expanded"), "p3");
  call.argument = "p9";
  EXPECT_FALSE(b.router.callMethod(b.at("set"), call));
  call.name = "open";
  call.argument = "p1";
  EXPECT_FALSE(b.router.callMethod(b.at("set"), call));
  EXPECT_EQ(b.ids("#set > :expanded"), "p3");
}

}  // namespace
}  // namespace zv
