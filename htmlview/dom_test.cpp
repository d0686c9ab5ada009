#include "htmlview/dom.h"

#include "testsupport/testSupport.h"

#include <gtest/gtest.h>
#include <set>

namespace zv {
namespace {

std::string tagsOf(const element& parent) {
  std::string out;
  for (std::size_t i = 0; i < parent.childCount(); ++i) {
    const element* k = parent.child(i);
    if (!out.empty()) out += ' ';
    std::optional<std::string_view> id = k->attribute("id");
    out += id ? std::string(*id) : k->tag();
    EXPECT_EQ(k->index(), i);
    EXPECT_EQ(k->parent(), &parent);
  }
  return out;
}

// Uids are positive, unique, kept through moves and never given out again.
TEST(Dom, UidsAreStableAndNeverReused) {
  std::set<std::uint64_t> seen;
  std::uint64_t movedUid = 0;
  {
    document doc;
    doc.load("<ul id=l><li>a<li>b<li>c</ul><div id=d></div>");
    for (elementRef& e : doc.selectAll("*")) EXPECT_TRUE(seen.insert(e->uid()).second);
    elementRef li = doc.selectFirst("li");
    movedUid = li->uid();
    doc.byId("d")->append(li);
    EXPECT_EQ(li->uid(), movedUid);
    EXPECT_EQ(doc.find(movedUid), li.get());
    doc.load("<ul><li>a<li>b<li>c</ul>");
    EXPECT_EQ(doc.find(movedUid), nullptr);
    for (elementRef& e : doc.selectAll("*")) EXPECT_TRUE(seen.insert(e->uid()).second);
  }
  document other;
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(seen.insert(other.createElement("p")->uid()).second);
  EXPECT_EQ(seen.count(0), 0u);
}

// A detached element lives on, whole, while a handle holds it, and goes with the last one.
TEST(Dom, HandlesKeepDetachedElements) {
  document doc;
  doc.load("<div id=a title=t><span id=b>x</span><i>y</i></div>");
  const std::size_t all = doc.elementCount();
  elementRef a = doc.byId("a");
  elementRef held = a->detach();
  a = elementRef();
  EXPECT_EQ(doc.elementCount(), all);
  EXPECT_FALSE(held->isConnected());
  EXPECT_EQ(held->parent(), nullptr);
  EXPECT_EQ(held->attribute("title"), "t");
  EXPECT_EQ(held->text(), "xy");
  EXPECT_FALSE(doc.byId("b"));
  EXPECT_EQ(doc.find(held->uid()), nullptr);

  elementRef span = held->child(0);
  held = elementRef();
  EXPECT_EQ(doc.elementCount(), all - 2) << "the div and <i> are gone, the span is held";
  EXPECT_EQ(span->parent(), nullptr);
  EXPECT_EQ(span->text(), "x");
  doc.root().append(span);
  EXPECT_EQ(doc.byId("b"), span);

  // Handles outlive their document.
  auto temporary = std::make_unique<document>();
  temporary->load("<p id=p>text</p>");
  elementRef survivor = temporary->byId("p");
  temporary.reset();
  EXPECT_EQ(survivor->ownerDocument(), nullptr);
  EXPECT_FALSE(survivor->isConnected());
  EXPECT_EQ(survivor->text(), "text");
  survivor->setAttribute("x", "1");
}

// The id index answers right after every kind of change, first in document order.
TEST(Dom, IdIndexFollowsEveryMutation) {
  document doc;
  doc.load("<div id=top><p id=x>1</p><p>2</p></div><div id=side></div>");
  elementRef p2 = doc.selectAll("p")[1];
  struct step {
    const char* what;
    std::function<void()> change;
    const char* id;
    std::string expectText;  // "" = not found
  };
  elementRef kept;
  const step steps[] = {
      {"set", [&] { p2->setAttribute("id", "y"); }, "y", "2"},
      {"rename", [&] { p2->setAttribute("ID", "z"); }, "y", ""},
      {"renamed", [] {}, "z", "2"},
      {"remove attribute", [&] { p2->removeAttribute("id"); }, "z", ""},
      {"duplicate later in order", [&] { doc.byId("side")->setAttribute("id", "x"); }, "x", "1"},
      {"first one leaves",
       [&] {
         kept = doc.byId("x");
         kept->detach();
       },
       "x", ""},
      {"the other is found", [] {}, "side", ""},
      {"insert subtree", [&] { doc.root().insert(kept, 0); }, "x", "1"},
      {"inner html", [&] { doc.byId("top")->setInnerHtml("<b id=n>new</b>"); }, "n", "new"},
      {"old content gone", [] {}, "y", ""},
      {"text replaces", [&] { doc.byId("top")->setText("plain"); }, "n", ""},
      {"created, not connected", [&] { doc.createElement("i")->setAttribute("id", "c"); }, "c", ""},
      {"load", [&] { doc.load("<em id=n>again</em>"); }, "n", "again"},
  };
  for (const step& s : steps) {
    s.change();
    elementRef found = doc.byId(s.id);
    if (std::string_view(s.what) == "the other is found") {
      ASSERT_TRUE(doc.byId("x"));
      EXPECT_EQ(doc.byId("x")->tag(), "div") << s.what;
      continue;
    }
    EXPECT_EQ(found ? found->text() : std::string(), s.expectText) << s.what;
    EXPECT_TRUE(!found || found->isConnected()) << s.what;
  }
}

// insert, detach, swap and the text around children, as a browser's DOM would have them.
TEST(Dom, StructureAndIndexes) {
  document doc;
  doc.load("<div id=d>t0<a id=a></a>t1<b id=b></b>t2</div>");
  element& d = *doc.byId("d");
  EXPECT_EQ(d.innerHtml(), R"(t0<a id="a"></a>t1<b id="b"></b>t2)");

  elementRef c = doc.createElement("C");
  c->setAttribute("id", "c");
  EXPECT_EQ(c->tag(), "c");
  ASSERT_TRUE(d.insert(c, 1));
  EXPECT_EQ(d.innerHtml(), R"(t0<a id="a"></a>t1<c id="c"></c><b id="b"></b>t2)");
  ASSERT_TRUE(d.append(doc.createElement("e")));
  EXPECT_EQ(d.innerHtml(), R"(t0<a id="a"></a>t1<c id="c"></c><b id="b"></b>t2<e></e>)");
  EXPECT_EQ(tagsOf(d), "a c b e");

  doc.byId("b")->detach();
  EXPECT_EQ(d.innerHtml(), R"(t0<a id="a"></a>t1<c id="c"></c>t2<e></e>)");
  // Moving within the parent: the index counts the children without the moved one.
  EXPECT_TRUE(d.insert(doc.byId("a"), 2));
  EXPECT_EQ(tagsOf(d), "c e a");
  EXPECT_TRUE(d.insert(doc.byId("a"), 99));
  EXPECT_EQ(tagsOf(d), "c e a");

  doc.load("<ul id=u><li id=1><li id=2><li id=3></ul><ol id=o><li id=4></ol>");
  EXPECT_TRUE(element::swap(*doc.byId("1"), *doc.byId("3")));
  EXPECT_EQ(tagsOf(*doc.byId("u")), "3 2 1");
  EXPECT_TRUE(element::swap(*doc.byId("2"), *doc.byId("3")));
  EXPECT_EQ(tagsOf(*doc.byId("u")), "2 3 1");
  EXPECT_TRUE(element::swap(*doc.byId("3"), *doc.byId("4")));
  EXPECT_EQ(tagsOf(*doc.byId("u")), "2 4 1");
  EXPECT_EQ(tagsOf(*doc.byId("o")), "3");

  test::logCapture log;
  EXPECT_FALSE(element::swap(*doc.byId("u"), *doc.byId("1")));
  EXPECT_FALSE(doc.byId("1")->insert(doc.byId("u"), 0));
  document other;
  EXPECT_FALSE(doc.root().append(other.createElement("x")));
  EXPECT_TRUE(log.contains("cannot"));
  EXPECT_EQ(tagsOf(*doc.byId("u")), "2 4 1");
}

// Sorting a range of children with a comparator: stable, the rest and the text stay.
TEST(Dom, SortChildrenInARange) {
  document doc;
  doc.load(
      "<table id=t>\n<tr id=h><th>n</th></tr>\n<tr id=r1 k=3></tr>\n<tr id=r2 k=1></tr>\n"
      "<tr id=r3 k=2></tr>\n<tr id=r4 k=1></tr>\n</table>");
  element& t = *doc.byId("t");
  auto byK = [](const element& a, const element& b) {
    return std::stoi(std::string(*a.attribute("k"))) - std::stoi(std::string(*b.attribute("k")));
  };
  ASSERT_TRUE(t.sortChildren(1, t.childCount(), byK));
  EXPECT_EQ(tagsOf(t), "h r2 r4 r3 r1");
  EXPECT_EQ(t.textBefore(1), "\n");
  EXPECT_EQ(t.trailingText(), "\n");
  ASSERT_TRUE(t.sortChildren(1, 3, [&](const element& a, const element& b) { return -byK(a, b); }));
  EXPECT_EQ(tagsOf(t), "h r2 r4 r3 r1") << "equal keys keep their order";
  ASSERT_TRUE(t.sortChildren(0, 5, [](const element& a, const element& b) {
    return b.attribute("id")->compare(*a.attribute("id"));
  }));
  EXPECT_EQ(tagsOf(t), "r4 r3 r2 r1 h");
  // Keys looked up by the place before the sort: the order they give is the result.
  const std::vector<int> key = {2, 0, 4, 1, 3};
  ASSERT_TRUE(t.sortChildren(
      0, 5, [&](const element& a, const element& b) { return key[a.index()] - key[b.index()]; }));
  EXPECT_EQ(tagsOf(t), "r3 r1 r4 h r2");
  test::logCapture log;
  EXPECT_FALSE(t.sortChildren(2, 9, byK));
  EXPECT_FALSE(t.sortChildren(3, 2, byK));

  // A permutation: child i goes to place[i]; anything else moves nothing.
  ASSERT_TRUE(t.permuteChildren({4, 3, 0, 1, 2}));
  EXPECT_EQ(tagsOf(t), "r4 h r2 r1 r3");
  EXPECT_EQ(t.child(2)->index(), 2u);
  EXPECT_EQ(t.textBefore(1), "\n");
  for (const std::vector<std::size_t>& bad :
       {std::vector<std::size_t>{0, 1, 2, 3}, {0, 1, 2, 3, 3}, {0, 1, 2, 3, 5}})
    EXPECT_FALSE(t.permuteChildren(bad));
  EXPECT_EQ(tagsOf(t), "r4 h r2 r1 r3");
}

// Attributes, style, visibility, states, values, text and markup.
TEST(Dom, ContentOperations) {
  document doc;
  doc.load(
      "<div id=d Title=t style='color: red; display:block'><p>a<br>b</p></div>"
      "<input id=i value=v><textarea id=ta>x</textarea><span id=s>\u0416</span>");
  element& d = *doc.byId("d");
  EXPECT_EQ(d.attribute("title"), "t");
  d.setAttribute("TITLE", "u");
  EXPECT_EQ(d.attributeName(1), "Title");
  EXPECT_EQ(d.attributeValue(1), "u");
  d.setAttribute("title", std::nullopt);
  EXPECT_FALSE(d.hasAttribute("title"));
  d.setAttribute("flag", "");
  EXPECT_TRUE(d.hasAttribute("flag"));

  EXPECT_EQ(d.style("COLOR"), "red");
  EXPECT_TRUE(d.isVisible());
  d.setVisible(false);
  EXPECT_EQ(d.attribute("style"), "color:red; display:none;");
  EXPECT_FALSE(d.child(0)->isVisible());
  d.setVisible(true);
  d.setStyle("color", "");
  EXPECT_FALSE(d.hasAttribute("style"));

  EXPECT_EQ(d.text(), "a\nb");
  d.child(0)->setText("1 < 2 & 3");
  EXPECT_EQ(d.innerHtml(), "<p>1 &lt; 2 &amp; 3</p>");
  d.setInnerHtml("<b>bold</b> plain");
  EXPECT_EQ(d.outerHtml(), R"(<div id="d" flag><b>bold</b> plain</div>)");

  element& s = *doc.byId("s");
  EXPECT_EQ(s.textU16(), u"\u0416");
  s.setTextU16(u"\u0430\u0431");
  EXPECT_EQ(s.text(), "\xD0\xB0\xD0\xB1");

  element& in = *doc.byId("i");
  EXPECT_EQ(in.value(), "v");
  in.setValue("w");
  EXPECT_EQ(in.value(), "w");
  EXPECT_EQ(in.attribute("value"), "v") << "the attribute is the initial value only";
  element& ta = *doc.byId("ta");
  ta.setValue("line1\nline2");
  EXPECT_EQ(ta.text(), "line1\nline2");
  EXPECT_EQ(ta.innerHtml(), "line1\nline2");
  test::logCapture log;
  d.setValue("nope");
  EXPECT_TRUE(log.contains("has no value"));

  d.setStates(stateCurrent | stateExpanded, 0);
  d.setStates(stateCollapsed, stateExpanded);
  EXPECT_EQ(d.states(), std::uint32_t(stateCurrent | stateCollapsed));
  EXPECT_TRUE(d.hasState(stateCurrent));
  EXPECT_FALSE(d.hasState(stateCurrent | stateExpanded));

  // One element has the focus.
  in.focus();
  ta.focus();
  EXPECT_EQ(doc.focused(), &ta);
  EXPECT_FALSE(in.hasState(stateFocus));
  ta.detach();
  EXPECT_EQ(doc.focused(), nullptr);
}

}  // namespace
}  // namespace zv
