#include "htmlview/selector.h"

#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

// The shapes the console's documents use: a tab set, a list of terminals, a form.
constexpr std::string_view fixture = R"(
<body>
<div id=main_tabs class="tabs main">
  <div class=strip>
    <span panel=p1 selected>One</span>
    <span panel=p2>Two</span>
    <span panel=p3 disabled>Three</span>
  </div>
  <div name=p1 class=panel>first <div name=inner>nested</div></div>
  <div name=p2 class=panel>second</div>
  <div name="panel-video">video</div>
</div>
<select id=options_version><option>1.0<option tlgID='00:1A:2B:3C:4D:5E'>2.0</select>
<div id=other><select id=options_version2></select></div>
<ul id=list>
  <li id=i1><span class=caption>a</span><span>x <span class=caption>deep</span></span>
  <li id=i2 default><span class="caption big">b</span>
</ul>
<form id=f><button role="default-button" id=b1>OK</button><input id=d1 default></form>
<table id=t><tr id=r0><th>h</th></tr><tr id=r1><td>1</td></tr><tr id=r2><td>2</td></tr></table>
</body>)";

std::string ids(const std::vector<elementRef>& found) {
  std::string out;
  for (const elementRef& e : found) {
    if (!out.empty()) out += ' ';
    std::optional<std::string_view> id = e->attribute("id");
    std::optional<std::string_view> name = e->attribute("name");
    std::optional<std::string_view> panel = e->attribute("panel");
    out += id      ? std::string(*id)
           : name  ? "name=" + std::string(*name)
           : panel ? "panel=" + std::string(*panel)
                   : "<" + e->tag() + ">";
  }
  return out;
}

class SelectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    doc.load(fixture);
    tabs = doc.byId("main_tabs");
    tabs->selectFirst("[panel=p2]")->setStates(stateCurrent, 0);
    tabs->selectFirst("[name=p2]")->setStates(stateExpanded, 0);
    doc.byId("r2")->setStates(stateCurrent, 0);
    doc.byId("i1")->setStates(stateCollapsed | stateVisited, 0);
  }
  document doc;
  elementRef tabs;
};

// Selectors within the tab set, where :root is the tab set itself.
TEST_F(SelectorTest, WithinAnElement) {
  struct row {
    const char* selector;
    const char* found;
  };
  const row rows[] = {
      {":root>.strip>[panel][selected]", "panel=p1"},
      {":root>[name=\"p2\"]", "name=p2"},
      {":root>[name]:expanded", "name=p2"},
      {":root>[name]", "name=p1 name=p2 name=panel-video"},
      {":root>.strip>[panel]:current", "panel=p2"},
      {":root>.strip>[panel=p2]", "panel=p2"},
      {":root>.strip>[panel=p4]", ""},
      {"div[name=panel-video]", "name=panel-video"},
      {":root [name]", "name=p1 name=inner name=p2 name=panel-video"},
      {"[name]", "name=p1 name=inner name=p2 name=panel-video"},
      {":root>[name]>[name]", "name=inner"},
      {":root", ""},  // the scope itself is not among its descendants
      {"#i1", ""},    // the id exists, but outside the scope
      {"SPAN[PANEL]:DISABLED", "panel=p3"},
  };
  for (const row& r : rows) EXPECT_EQ(ids(tabs->selectAll(r.selector)), r.found) << r.selector;
}

// Selectors over the whole document.
TEST_F(SelectorTest, WithinTheDocument) {
  struct row {
    const char* selector;
    const char* found;
  };
  const row rows[] = {
      {"select#options_version", "options_version"},
      {"#options_version", "options_version"},
      {"div #options_version2", "options_version2"},
      {"ul #options_version2", ""},
      {"option[tlgID='00:1A:2B:3C:4D:5E']", "<option>"},
      {"option[tlgid=\"00:1A:2B:3C:4D:5E\"]", "<option>"},
      {"option[tlgID=00:1A:2B:3C:4D:5E]", "<option>"},
      {"option[tlgID='00:1a:2b:3c:4d:5e']", ""},  // values keep their case
      {"[default],[role=\"default-button\"]", "i2 b1 d1"},
      {"li > .caption", "<span> <span>"},
      {"li .caption", "<span> <span> <span>"},
      {"ul > li > span > .caption", "<span>"},
      {".caption.big", "<span>"},
      {"tr:current", "r2"},
      {"tr:current, tr:first", ""},  // one bad alternative refuses the whole list
      {"li:collapsed:visited", "i1"},
      {"table tr > td", "<td> <td>"},
      {":root>body>ul>li", "i1 i2"},
      {"*[role]", "b1"},
      {"[class~=main]", "main_tabs"},
      {"[name^=panel-]", "name=panel-video"},
      {"[name$=video]", "name=panel-video"},
      {"[name*=el-v]", "name=panel-video"},
      {"[name|=panel]", "name=panel-video"},
      {"div.tabs span[selected]", "panel=p1"},
  };
  for (const row& r : rows) EXPECT_EQ(ids(doc.selectAll(r.selector)), r.found) << r.selector;
  EXPECT_EQ(ids({doc.selectFirst("li > .caption")}), "<span>");
  EXPECT_FALSE(doc.selectFirst("#nothing"));
}

// Bad selectors match nothing and say why in the log, without crashing.
TEST_F(SelectorTest, BadSelectorsAreRefused) {
  test::logCapture log;
  const char* bad[] = {"",  "[", "[a=",     "[a='x]", "div >",   "> div", "a,,b",  ":hover",
                       "#", ".", "a[b!=c]", "div)",   "[a=b c]", "a ~ b", ":root>"};
  for (const char* s : bad) {
    EXPECT_TRUE(doc.selectAll(s).empty()) << s;
    EXPECT_FALSE(doc.selectFirst(s)) << s;
    EXPECT_FALSE(selector::compile(s)) << s;
  }
  EXPECT_TRUE(log.contains("bad selector \"[a='x]\": unterminated string")) << log.text();
}

// Deep descendant chains are matched without backtracking blow-up.
TEST(Selector, DeepChainsStayLinear) {
  document doc;
  std::string html;
  for (int i = 0; i < 400; ++i) html += "<div>";
  html += "<b>x</b>";
  doc.load(html);
  EXPECT_EQ(doc.selectAll("div div div div div div div div div div b").size(), 1u);
  EXPECT_EQ(doc.selectAll("div div div div div div div div div div i").size(), 0u);
  EXPECT_EQ(doc.selectAll("html > div > div b").size(), 1u);
  EXPECT_EQ(doc.selectAll("b > div b").size(), 0u);
}

// The id fast path follows the index through mutations and keeps to the scope.
TEST_F(SelectorTest, IdPathFollowsTheIndex) {
  elementRef moved = doc.byId("options_version");
  doc.byId("other")->append(moved);
  EXPECT_EQ(ids(doc.byId("other")->selectAll("#options_version")), "options_version");
  moved->setAttribute("id", "renamed");
  EXPECT_TRUE(doc.selectAll("#options_version").empty());
  EXPECT_EQ(ids(doc.selectAll("select#renamed")), "renamed");
  moved->detach();
  EXPECT_TRUE(doc.selectAll("#renamed").empty());
  EXPECT_EQ(ids(moved->selectAll("option")), "<option> <option>");
}

// closest and matches use the same selectors from an element outwards.
TEST_F(SelectorTest, ClosestAndMatches) {
  elementRef deep = doc.selectFirst("li span span");
  EXPECT_EQ(ids({deep->closest("li")}), "i1");
  EXPECT_EQ(ids({deep->closest(".caption")}), "<span>");
  EXPECT_FALSE(deep->closest("table"));
  EXPECT_TRUE(deep->matches("ul .caption"));
  EXPECT_FALSE(deep->matches("li > .caption"));
}

}  // namespace
}  // namespace zv
