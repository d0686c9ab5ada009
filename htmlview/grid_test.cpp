#include "htmlview/eventTesting.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

using test::ctrl;
using test::eventBench;
using test::shift;

// A grid with one header row; r3 is hidden, r5 disabled.
std::string gridDocument(std::string_view behaviorName, std::string_view tableAttributes = "") {
  return "<style>table { behavior: " + std::string(behaviorName) + " }</style>" +
         "<table id=t fixedrows=1 " + std::string(tableAttributes) +
         "><tr id=h><th id=h0>Name<th id=h1>Size</tr>"
         "<tr id=r1><td id=c1>one<td>1</tr>"
         "<tr id=r2><td id=c2>two<td><button id=b2 type=checkbox>x</button></tr>"
         "<tr id=r3 style='display:none'><td id=c3>three<td>3</tr>"
         "<tr id=r4><td id=c4>four<td>4</tr>"
         "<tr id=r5 disabled><td id=c5>five<td>5</tr>"
         "<tr id=r6><td id=c6>six<td>6</tr>"
         "</table>";
}

// A click on a data row makes it current and posts the row's index (header rows
// counted); a double click posts its own event; a header cell posts its column.
TEST(Grid, ClicksPostRowAndHeaderEvents) {
  eventBench b(gridDocument("grid"));
  EXPECT_TRUE(b.click("c2"));
  EXPECT_EQ(b.ids(":current"), "r2");
  EXPECT_EQ(b.events(), "tableRowClick r2 from t #2");
  EXPECT_TRUE(b.dblclick("c4"));
  EXPECT_EQ(b.ids(":current"), "r4");
  EXPECT_EQ(b.events(), "tableRowDoubleClick r4 from t #4");
  EXPECT_TRUE(b.click("h1"));
  EXPECT_EQ(b.events(), "tableHeaderClick h1 from t #1");
  EXPECT_EQ(b.ids(":current"), "r4");
  EXPECT_TRUE(b.click("c5"));  // disabled row
  EXPECT_EQ(b.events(), "");
  EXPECT_EQ(b.ids(":current"), "r4");
  EXPECT_EQ(b.ids(":checked"), "");  // without multiple nothing is checked
}

// A click on a control in a row makes the row current and still works the control.
TEST(Grid, ControlInRowStillActs) {
  eventBench b(gridDocument("grid"));
  EXPECT_TRUE(b.click("b2"));
  EXPECT_EQ(b.ids(":current"), "r2");
  EXPECT_EQ(b.ids(":checked"), "b2");
  EXPECT_EQ(b.events(), "tableRowClick r2 from t #2; buttonClick b2");
}

// With multiple: Ctrl toggles, Shift checks the range from the anchor, a plain click
// checks only its row and moves the anchor; hidden rows in a range stay unchecked.
TEST(Grid, MultipleChecksRows) {
  struct step {
    const char* cell;
    keyModifiers mods;
    const char* checked;
    const char* anchor;
  };
  const std::vector<std::vector<step>> scripts = {
      {{"c1", {}, "r1", "r1"}, {"c4", shift, "r1 r2 r4", "r1"}, {"c2", shift, "r1 r2", "r1"}},
      {{"c2", {}, "r2", "r2"}, {"c6", ctrl, "r2 r6", "r2"}, {"c2", ctrl, "r6", "r2"}},
      {{"c6", {}, "r6", "r6"}, {"c1", shift, "r1 r2 r4 r6", "r6"}, {"c4", {}, "r4", "r4"}},
      {{"c4", shift, "r4", "r4"}},  // Shift without an anchor is a plain click
  };
  for (const std::vector<step>& script : scripts) {
    eventBench b(gridDocument("grid", "multiple"));
    for (const step& s : script) {
      SCOPED_TRACE(std::string(s.cell) + (s.mods.shift ? " shift" : s.mods.ctrl ? " ctrl" : ""));
      b.click(s.cell, s.mods);
      EXPECT_EQ(b.ids("tr:checked"), s.checked);
      EXPECT_EQ(b.ids(":anchor"), s.anchor);
      EXPECT_EQ(b.ids(":current"), "r" + std::string(s.cell + 1));
    }
  }
}

// Keys move the current data row over the rows that can be chosen.
TEST(Grid, KeysMoveOverShownRows) {
  struct keyCase {
    const char* start;  // cell clicked first, or "" for none
    const char* key;
    const char* current;
  };
  const keyCase cases[] = {
      {"", "ArrowDown", "r1"}, {"", "ArrowUp", "r6"},     {"c2", "ArrowDown", "r4"},
      {"c4", "ArrowUp", "r2"}, {"c6", "ArrowDown", "r6"}, {"c1", "ArrowUp", "r1"},
      {"c4", "Home", "r1"},    {"c1", "End", "r6"},       {"c1", "PageDown", "r6"},
      {"c6", "PageUp", "r1"},
  };
  for (const keyCase& c : cases) {
    SCOPED_TRACE(std::string(c.start) + " " + c.key);
    eventBench b(gridDocument("grid"));
    if (*c.start) b.click(c.start);
    b.events();
    EXPECT_TRUE(b.key("t", c.key));
    EXPECT_EQ(b.ids(":current"), c.current);
    EXPECT_EQ(b.events(), "");  // moving by key posts nothing
  }
}

// Page Up and Page Down move by a page of shown rows.
TEST(Grid, PageKeysMoveByAPage) {
  std::string html = "<style>table { behavior: grid }</style><table id=t>";
  for (int i = 0; i < 30; ++i) {
    std::string hidden = i == 5 ? " style='display:none'" : "";
    html += "<tr id=r" + std::to_string(i) + hidden + "><td>" + std::to_string(i) + "</tr>";
  }
  eventBench b(html + "</table>");
  b.key("t", "ArrowDown");
  EXPECT_EQ(b.ids(":current"), "r0");
  b.key("t", "PageDown");
  EXPECT_EQ(b.ids(":current"), "r11");  // ten shown rows on: r5 is hidden
  b.key("t", "PageDown");
  b.key("t", "PageDown");
  EXPECT_EQ(b.ids(":current"), "r29");
  b.key("t", "PageUp");
  EXPECT_EQ(b.ids(":current"), "r19");
  // The browser tells how many rows its view shows: a page is that many.
  uiEvent page;
  page.kind = eventKind::key;
  page.target = b.doc.byId("t");
  page.key = "PageUp";
  page.index = 4;
  b.router.dispatch(page);
  EXPECT_EQ(b.ids(":current"), "r15");
  page.key = "PageDown";
  page.index = 7;
  b.router.dispatch(page);
  EXPECT_EQ(b.ids(":current"), "r22");
}

// The rows' texts of a column, in table order.
std::string column(eventBench& b, std::size_t col) {
  std::string out;
  for (elementRef& row : b.doc.selectAll("#s tr")) {
    if (row->childCount() > col) out += (out.empty() ? "" : ",") + row->child(col)->text();
  }
  return out;
}

constexpr std::string_view sortDocument = R"(<style>table { behavior: sortable-grid }</style>
<table id=s fixedrows=1><tr><th id=n>Name<th id=k>Key</tr>
<tr id=x1><td>Жук<td>b</tr>
<tr id=x2><td>apple<td>a</tr>
<tr id=x3><td>ёж<td>c</tr>
<tr id=x4><td>10<td>d</tr>
<tr id=x5><td>Banana<td>e</tr>
<tr id=x6><td>еда<td>f</tr>
<tr id=x7><td>9<td>g</tr>
<tr id=x8><td>Apple<td>h</tr>
</table>)";

// A header click checks the cell and sorts the data rows ascending by its column,
// linguistically and without case; the same column again keeps the order.
TEST(SortableGrid, HeaderClickSortsAscending) {
  eventBench b(sortDocument);
  b.click("x5");
  b.events();
  EXPECT_TRUE(b.click("n"));
  EXPECT_EQ(b.events(), "tableHeaderClick n from s #0");
  EXPECT_EQ(b.ids("th:checked"), "n");
  EXPECT_EQ(column(b, 0), "Name,10,9,apple,Apple,Banana,еда,ёж,Жук");
  EXPECT_EQ(b.ids("#s > tr:current"), "x5");
  b.at("s").child(1)->detach();  // "10" goes to the end
  b.at("s").append(b.doc.createElement("tr"));
  b.at("s").child(8)->setInnerHtml("<td>10<td>d");
  b.click("n");  // already checked: no sorting
  EXPECT_EQ(column(b, 0), "Name,9,apple,Apple,Banana,еда,ёж,Жук,10");
  b.click("k");
  EXPECT_EQ(b.ids("th:checked"), "k");
  EXPECT_EQ(column(b, 1), "Key,a,b,c,d,e,f,g,h");
  b.click("n");
  b.click("n");
  EXPECT_EQ(column(b, 0), "Name,10,9,apple,Apple,Banana,еда,ёж,Жук");
  EXPECT_EQ(b.events(),
            "tableHeaderClick n from s #0; tableHeaderClick k from s #1; "
            "tableHeaderClick n from s #0; tableHeaderClick n from s #0");
}

// Rows in a tbody are sorted there; header rows in a thead stay.
TEST(SortableGrid, SortsRowsInsideSections) {
  eventBench b(R"(<style>table { behavior: sortable-grid }</style>
<table id=s fixedrows=1><thead><tr><th id=n>N</tr></thead>
<tbody><tr><td>b</tr><tr><td>C</tr><tr><td>a</tr></tbody></table>)");
  b.click("n");
  EXPECT_EQ(column(b, 0), "N,a,b,C");
}

// The sel-grid's methods set, clear and return the current row.
TEST(SelGrid, MethodsWorkTheCurrentRow) {
  eventBench b(gridDocument("sel-grid"));
  element& table = b.at("t");
  methodCall set = methodCall::numbered(selGridMethod::setCurrentRow, &b.at("r4"));
  EXPECT_TRUE(b.router.callMethod(table, set));
  EXPECT_EQ(b.ids(":current"), "r4");
  methodCall get = methodCall::numbered(selGridMethod::currentRow);
  EXPECT_TRUE(b.router.callMethod(table, get));
  EXPECT_EQ(get.row, &b.at("r4"));
  methodCall header = methodCall::numbered(selGridMethod::setCurrentRow, &b.at("h"));
  EXPECT_FALSE(b.router.callMethod(table, header));
  methodCall clear = methodCall::numbered(selGridMethod::clearCurrentRow);
  EXPECT_TRUE(b.router.callMethod(table, clear));
  EXPECT_EQ(b.ids(":current"), "");
  EXPECT_TRUE(b.router.callMethod(table, get));
  EXPECT_FALSE(get.row);
  methodCall other = methodCall::numbered(firstApplicationMethod + 4);
  EXPECT_FALSE(b.router.callMethod(table, other));
  // A plain grid answers no methods.
  eventBench plain(gridDocument("grid"));
  EXPECT_FALSE(plain.router.callMethod(plain.at("t"), set));
}

}  // namespace
}  // namespace zv
