#include "htmlview/events.h"

#include "htmlview/eventTesting.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace zv {
namespace {

// Client frames become input events with their elements found by uid; frames that are
// no input, or name elements the document no longer holds, become none.
TEST(Events, ClientFramesBecomeInputEvents) {
  document doc;
  doc.load("<ul id=list><li id=row>a</li></ul><input id=in><p id=gone>x</p>");
  auto uid = [&](const char* id) { return doc.byId(id)->uid(); };
  const std::uint64_t goneUid = uid("gone");
  doc.byId("gone")->remove();
  doc.byId("in")->focus();
  using nlohmann::json;
  const json mods = {{"ctrl", true}, {"shift", false}, {"alt", true}};
  struct frameCase {
    json frame;
    const char* event;  // describe(), or "" for none
  };
  const frameCase cases[] = {
      {{{"t", "click"}, {"u", uid("row")}, {"mods", mods}, {"x", 3.7}, {"y", -2}}, "click row"},
      {{{"t", "dblclick"}, {"u", uid("row")}, {"mods", mods}}, "dblclick row"},
      {{{"t", "key"}, {"u", uid("list")}, {"key", "Enter"}, {"mods", mods}}, "key list"},
      {{{"t", "key"}, {"u", 0}, {"key", "Tab"}, {"mods", mods}}, "key in"},
      {{{"t", "input"}, {"u", uid("in")}, {"v", "abc"}}, "input in"},
      {{{"t", "select"}, {"u", uid("list")}, {"row", uid("row")}}, "select row from list"},
      {{{"t", "contextmenu"}, {"u", uid("row")}, {"x", 1}, {"y", 2}}, "contextmenu row"},
      {{{"t", "menuitem"}, {"u", uid("row")}}, "menuitem row"},
      {{{"t", "popupDismissed"}, {"u", uid("list")}}, "popupClosed list"},
      {{{"t", "drop"}, {"u", uid("row")}, {"target", uid("list")}, {"index", 4}},
       "drop list from row #4"},
      {{{"t", "scroll"}, {"u", uid("list")}, {"top", 120}}, "scroll list"},
      {{{"t", "click"}, {"u", goneUid}, {"mods", mods}, {"x", 0}, {"y", 0}}, ""},
      {{{"t", "select"}, {"u", uid("list")}, {"row", goneUid}}, ""},
      {{{"t", "rows"}, {"u", uid("list")}, {"from", 0}, {"to", 1}}, ""},
      {{{"t", "closeWindow"}}, ""},
  };
  for (const frameCase& c : cases) {
    SCOPED_TRACE(c.frame.dump());
    std::optional<uiEvent> e = eventFromClientFrame(c.frame, doc);
    EXPECT_EQ(e ? test::describe(*e) : "", c.event);
  }
  uiEvent click = *eventFromClientFrame(cases[0].frame, doc);
  EXPECT_EQ(click.mods, (keyModifiers{true, false, true}));
  EXPECT_EQ(click.x, 3);
  EXPECT_EQ(click.y, -2);
  EXPECT_FALSE(click.href);
  json link = cases[0].frame;
  link["href"] = "#topic";
  link["x"] = 1e300;
  uiEvent linkClick = *eventFromClientFrame(link, doc);
  EXPECT_EQ(linkClick.href, "#topic");
  EXPECT_EQ(linkClick.x, 1000000000);
  EXPECT_EQ(eventFromClientFrame(cases[2].frame, doc)->key, "Enter");
  EXPECT_EQ(eventFromClientFrame(cases[2].frame, doc)->index, -1);
  // Page Up/Down tell how many rows the view shows; a absurd count is bounded.
  json page = cases[2].frame;
  page["key"] = "PageDown";
  page["page"] = 17;
  EXPECT_EQ(eventFromClientFrame(page, doc)->index, 17);
  page["page"] = 1u << 30;
  EXPECT_EQ(eventFromClientFrame(page, doc)->index, 10000);
  EXPECT_EQ(eventFromClientFrame(cases[4].frame, doc)->value, "abc");
  EXPECT_EQ(eventFromClientFrame(cases[10].frame, doc)->y, 120);
}

}  // namespace
}  // namespace zv
