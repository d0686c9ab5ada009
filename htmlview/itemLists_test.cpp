#include "htmlview/eventTesting.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace zv {
namespace {

using test::eventBench;

std::string listDocument(std::string_view behaviorName) {
  return "<style>ul { behavior: " + std::string(behaviorName) +
         " }</style>"
         "<ul id=list>"
         "<li id=a default><span class=caption id=ca>A</span><p id=pa>a</p></li>"
         "<li id=b><span class=caption id=cb>B</span></li>"
         "<li id=c default><span class=caption id=cc>C</span></li>"
         "<li id=d><b class=caption id=cd>D</b></li>"
         "</ul>";
}

// Whether the batch scrolls the element into view.
bool scrolls(document& doc, const element& e) {
  for (const nlohmann::json& op : doc.takeBatch()) {
    if (op.value("op", "") == "scroll" && op.value("u", std::uint64_t(0)) == e.uid()) return true;
  }
  return false;
}

// The later of two default items opens; every other item is collapsed.
TEST(ItemLists, LaterDefaultItemOpens) {
  for (const char* kind : {"expandable-list", "collapsible-list"}) {
    SCOPED_TRACE(kind);
    eventBench b(listDocument(kind));
    EXPECT_EQ(b.ids("li:current"), "c");
    EXPECT_EQ(b.ids("li:expanded"), "c");
    EXPECT_EQ(b.ids("li:collapsed"), "a b d");
  }
}

// A click on a caption selects its item: the open one closes, the new one opens; the
// rest of an item is not a caption.
TEST(ItemLists, CaptionClickSelects) {
  eventBench b(listDocument("expandable-list"));
  EXPECT_TRUE(b.click("ca"));
  EXPECT_EQ(b.events(), "elementCollapsed c; elementExpanded a");
  EXPECT_EQ(b.ids("li:current"), "a");
  EXPECT_EQ(b.ids("li:expanded"), "a");
  EXPECT_EQ(b.ids("li:collapsed"), "b c d");
  EXPECT_FALSE(b.click("pa"));
  EXPECT_TRUE(b.click("ca"));  // already open: an expandable list stays as it is
  EXPECT_EQ(b.events(), "");
  EXPECT_EQ(b.ids("li:expanded"), "a");
}

// Up and Down select the previous and next item.
TEST(ItemLists, ArrowsSelectNeighbours) {
  eventBench b(listDocument("expandable-list"));
  b.key("list", "ArrowDown");
  EXPECT_EQ(b.ids("li:expanded"), "d");
  b.key("list", "ArrowDown");  // the last item: nowhere to go
  EXPECT_EQ(b.ids("li:expanded"), "d");
  b.key("cd", "ArrowUp");
  b.key("cd", "ArrowUp");
  EXPECT_EQ(b.ids("li:current"), "b");
  EXPECT_EQ(b.events(),
            "elementCollapsed c; elementExpanded d; elementCollapsed d; elementExpanded c; "
            "elementCollapsed c; elementExpanded b");
}

// A collapsible list closes the open item when it is selected again, leaving none open,
// and scrolls the selected item into view.
TEST(ItemLists, CollapsibleListClosesTheOpenItem) {
  eventBench b(listDocument("collapsible-list"));
  b.doc.takeBatch();
  EXPECT_TRUE(b.click("cc"));
  EXPECT_EQ(b.events(), "elementCollapsed c");
  EXPECT_EQ(b.ids("li:expanded"), "");
  EXPECT_EQ(b.ids("li:collapsed"), "a b c d");
  EXPECT_TRUE(scrolls(b.doc, b.at("c")));
  b.click("cb");
  EXPECT_EQ(b.events(), "elementExpanded b");
  EXPECT_EQ(b.ids("li:current"), "b");
  EXPECT_TRUE(scrolls(b.doc, b.at("b")));
  b.click("cd");
  EXPECT_EQ(b.events(), "elementCollapsed b; elementExpanded d");
  EXPECT_EQ(b.ids("li:expanded"), "d");
}

}  // namespace
}  // namespace zv
