#include "htmlview/recordingHost.h"

#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

using json = nlohmann::json;

// After each kind of change, and after several in one batch, the mirror the batches
// built is the tree the document would send whole: the recording host draws what the
// client would, and the batches say everything.
TEST(RecordingHost, MirrorFollowsTheDocument) {
  fakeClock clock;
  eventLoop loop(clock);
  windowHost windows(loop);
  recordingHost browser(windows);
  windowId w = windows.openWindow(
      {"Mirror", 400, 300, 0, false, {}, false},
      "<body><p id=p>text</p><ul id=list>x<li id=a>a</li>y<li id=b>b</li>z<li id=c>c</li></ul>"
      "<input id=in value=1><textarea id=ta>t</textarea><div id=box><span id=s>s</span></div>"
      "</body>");
  browser.attach();
  loop.pump();
  document& doc = *windows.doc(w);
  auto el = [&](const char* id) { return doc.byId(id); };

  struct step {
    const char* name;
    std::function<void()> change;
  };
  const step steps[] = {
      {"text", [&] { el("p")->setText("new <text>"); }},
      {"attributes",
       [&] {
         el("p")->setAttribute("class", "a");
         el("p")->setAttribute("title", "t");
         el("p")->setAttribute("class", "b");
         el("list")->setAttribute("id", std::nullopt);
       }},
      {"states", [&] { el("b")->setStates(stateCurrent | stateChecked, 0); }},
      {"values",
       [&] {
         el("in")->setValue("2");
         el("ta")->setValue("line 1\nline 2");
       }},
      {"insert between texts",
       [&] {
         elementRef li = doc.createElement("li");
         li->setText("new");
         el("b")->parent()->insert(li, 1);
       }},
      {"remove with text before", [&] { el("b")->remove(); }},
      {"insert, then change inside",
       [&] {
         elementRef div = doc.createElement("div");
         el("box")->append(div);
         div->setInnerHtml("<b id=bold>1</b>");
         el("bold")->setAttribute("class", "x");
         el("bold")->setText("2");
       }},
      {"move between parents", [&] { el("box")->insert(el("a"), 0); }},
      {"swap", [&] { element::swap(*el("s"), *el("c")); }},
      {"sort",
       [&] {
         element* list = el("c")->parent();
         list->sortChildren(0, list->childCount(), [](const element& x, const element& y) {
           return y.text().compare(x.text());
         });
       }},
      {"inner html", [&] { el("p")->setInnerHtml("a<br>b <i>c</i> d"); }},
      {"replace whole", [&] { el("box")->update(); }},
      {"several at once",
       [&] {
         el("p")->setText("again");
         elementRef span = doc.createElement("span");
         el("box")->append(span);
         span->setText("late");
         el("s")->remove();
         el("box")->clear();
         el("box")->setText("cleared");
       }},
  };
  for (const step& s : steps) {
    SCOPED_TRACE(s.name);
    loop.postTask(s.change);
    loop.pump();
    EXPECT_EQ(browser.tree(w), doc.nodeJson(doc.root()));
    EXPECT_EQ(browser.ignoredOps(), 0u);
  }
  EXPECT_EQ(browser.framesOf("batch").size(), std::size(steps));
}

// Selectors run on the mirror; the text is what is drawn; nothing is received or
// shown while detached.
TEST(RecordingHost, QueriesAndDetaching) {
  fakeClock clock;
  eventLoop loop(clock);
  windowHost windows(loop);
  recordingHost browser(windows);
  windowId w = windows.openWindow({"Query", 400, 300, 0, false, {}, false},
                                  "<ul id=list><li class=row>a</li><li class='row on'>b<br>c</li>"
                                  "</ul><a id=help href='#topic'>help</a>");
  EXPECT_EQ(browser.window(w), nullptr);
  browser.attach();
  loop.pump();
  EXPECT_EQ(browser.select(w, "#list > li.row").size(), 2u);
  EXPECT_EQ(browser.text(w, "li.on"), "b\nc");
  EXPECT_EQ(browser.first(w, "li.missing"), nullptr);
  EXPECT_FALSE(browser.click(w, "li.missing"));

  std::optional<std::string> href;
  windows.setEventHandler(w, [&](uiEvent& e) {
    if (e.kind == eventKind::click) href = e.href;
    return e.kind == eventKind::click;
  });
  ASSERT_TRUE(browser.clickLink(w, "#help"));
  loop.pump();
  EXPECT_EQ(href, "#topic");

  browser.detach();
  loop.pump();
  EXPECT_EQ(browser.window(w), nullptr);
  std::size_t received = browser.frames().size();
  windows.doc(w)->byId("help")->setText("changed");
  loop.pump();
  EXPECT_EQ(browser.frames().size(), received);
}

}  // namespace
}  // namespace zv
