#include "htmlview/windowHost.h"

#include "htmlview/recordingHost.h"
#include "platform/windowMessages.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

using json = nlohmann::json;
using namespace std::chrono_literals;

constexpr const char* mainHtml =
    "<html><body><h1 id=title>Main</h1><button id=save>Save</button>"
    "<div id=status>idle</div><ul id=list><li id=a>A</li><li id=b>B</li></ul>"
    "<input id=name></body></html>";

class WindowHost : public ::testing::Test {
 protected:
  windowId openMain() {
    windowSpec spec;
    spec.title = "Zelvar Center";
    spec.width = 1200;
    spec.height = 900;
    spec.css = {"/skin/common-body.css"};
    return windows.openWindow(spec, mainHtml);
  }
  windowId openDialog(windowId owner, std::string_view html = "<button id=ok>OK</button>") {
    windowSpec spec;
    spec.title = "Dialog";
    spec.width = 300;
    spec.height = 200;
    spec.owner = owner;
    spec.modal = true;
    spec.sizable = true;
    return windows.openWindow(spec, html);
  }
  void setStatus(windowId w, std::string_view text) {
    windows.doc(w)->byId("status")->setText(text);
  }

  test::logCapture log;
  fakeClock clock;
  eventLoop loop{clock};
  windowHost windows{loop};
  recordingHost browser{windows};
  test::loopWatchdog guard{loop};
};

// A client that attaches gets every open window, main window first, with its current
// tree; nothing is sent while no client is attached, and a new client gets it all again.
TEST_F(WindowHost, SendsEveryWindowOnAttach) {
  windowId main = openMain();
  windowId dialog = openDialog(main);
  setStatus(main, "changed before attach");
  loop.pump();
  EXPECT_TRUE(browser.frames().empty());

  browser.attach();
  loop.pump();
  ASSERT_EQ(browser.frames().size(), 2u);
  const json& first = browser.frames()[0];
  EXPECT_EQ(first["t"], "window");
  EXPECT_EQ(first["w"], main);
  EXPECT_EQ(first["title"], "Zelvar Center");
  EXPECT_EQ(first["width"], 1200);
  EXPECT_EQ(first["owner"], 0);
  EXPECT_EQ(first["modal"], false);
  EXPECT_EQ(first["sizable"], false);
  EXPECT_EQ(first["css"], json::array({"/skin/common-body.css"}));
  EXPECT_EQ(browser.frames()[1]["owner"], main);
  EXPECT_EQ(browser.frames()[1]["modal"], true);
  EXPECT_EQ(browser.frames()[1]["sizable"], true);
  EXPECT_EQ(browser.text(main, "#status"), "changed before attach");
  EXPECT_EQ(browser.shownWindows(), (std::vector<windowId>{main, dialog}));
  EXPECT_EQ(windows.mainWindow(), main);
  EXPECT_EQ(windows.activeWindow(), dialog);

  browser.detach();
  loop.pump();
  setStatus(main, "changed while detached");
  loop.pump();
  browser.clearFrames();
  browser.attach();
  loop.pump();
  EXPECT_EQ(browser.framesOf("window").size(), 2u);
  EXPECT_TRUE(browser.framesOf("batch").empty());
  EXPECT_EQ(browser.text(main, "#status"), "changed while detached");
}

// Everything one event changes goes out as one batch per window, after the handler;
// so do changes made by posted tasks and timers, and flush() sends the rest.
TEST_F(WindowHost, SendsOneBatchPerHandledEvent) {
  windowId main = openMain();
  windowId other =
      windows.openWindow({"Other", 300, 200, 0, false, {}, false}, "<div id=status></div>");
  browser.attach();
  loop.pump();
  std::vector<std::string> seen;
  windows.setEventHandler(main, [&](uiEvent& e) {
    seen.push_back(eventKindName(e.kind) + (" " + std::string(*e.target->attribute("id"))));
    setStatus(main, "saving");
    windows.doc(main)->byId("title")->setAttribute("class", "busy");
    setStatus(main, "saved");
    setStatus(other, "also");
    return true;
  });
  browser.clearFrames();
  ASSERT_TRUE(browser.click(main, "#save"));
  EXPECT_TRUE(browser.frames().empty());  // handled when the loop runs
  loop.pump();
  EXPECT_EQ(seen, std::vector<std::string>{"click save"});
  std::vector<json> batches = browser.framesOf("batch");
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_EQ(batches[0]["w"], main);
  EXPECT_EQ(batches[1]["w"], other);
  EXPECT_EQ(browser.text(main, "#status"), "saved");
  EXPECT_EQ(*browser.first(main, "#title")->attribute("class"), "busy");
  EXPECT_EQ(browser.text(other, "#status"), "also");
  EXPECT_EQ(browser.ignoredOps(), 0u);

  browser.clearFrames();
  loop.postTask([&] { setStatus(main, "from a task"); });
  loop.pump();
  EXPECT_EQ(browser.framesOf("batch").size(), 1u);
  EXPECT_EQ(browser.text(main, "#status"), "from a task");

  windows.setProcedure(main, [&](message& m) -> std::intptr_t {
    if (m.id == wm::timer) setStatus(main, "tick " + std::to_string(m.wParam));
    return 0;
  });
  ASSERT_TRUE(loop.setTimer(main, onlineTimer.id, onlineTimer.period));
  clock.advance(onlineTimer.period);
  loop.pump();
  EXPECT_EQ(browser.text(main, "#status"), "tick 11");

  setStatus(main, "outside the loop");
  windows.flush();
  EXPECT_EQ(browser.text(main, "#status"), "outside the loop");
  EXPECT_EQ(browser.framesOf("batch").size(), 3u);
}

// The fields of each kind of input reach the handler, with uids turned into elements.
TEST_F(WindowHost, ResolvesEventFields) {
  windowId main = openMain();
  browser.attach();
  loop.pump();
  std::vector<uiEvent> events;
  windows.setEventHandler(main, [&](uiEvent& e) {
    events.push_back(e);
    return true;
  });
  document& doc = *windows.doc(main);

  ASSERT_TRUE(browser.click(main, "#save", {true, false, true}));
  ASSERT_TRUE(browser.input(main, "#name", "terminal 5"));
  ASSERT_TRUE(browser.choose(main, "#list", "#b"));
  ASSERT_TRUE(browser.key(main, "", "s", {true, false, false}));
  ASSERT_TRUE(browser.drop(main, "#a", "#list", 2));
  ASSERT_TRUE(browser.scroll(main, "#list", 120.5));
  loop.pump();
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(events[0].kind, eventKind::click);
  EXPECT_EQ(events[0].target, doc.byId("save"));
  EXPECT_TRUE(events[0].mods.ctrl && !events[0].mods.shift && events[0].mods.alt);
  EXPECT_EQ(events[1].kind, eventKind::input);
  EXPECT_EQ(events[1].value, "terminal 5");
  EXPECT_EQ(doc.byId("name")->value(), "");  // the handler took it: no control action
  EXPECT_EQ(events[2].source, doc.byId("list"));
  EXPECT_EQ(events[2].target, doc.byId("b"));
  EXPECT_EQ(events[3].kind, eventKind::key);
  EXPECT_EQ(events[3].target, &doc.root());  // nothing focused
  EXPECT_EQ(events[3].key, "s");
  EXPECT_EQ(events[4].source, doc.byId("a"));
  EXPECT_EQ(events[4].target, doc.byId("list"));
  EXPECT_EQ(events[4].index, 2);
  EXPECT_EQ(events[5].y, 120);
}

// Windows and uids named by the client are checked against the console's state: a
// window that is not open, an element not in that window, a row outside its list and
// a malformed frame are dropped with a log line, and the handler never sees them.
TEST_F(WindowHost, DropsWhatTheConsoleDoesNotHold) {
  windowId main = openMain();
  windowId other = windows.openWindow({"Other", 300, 200, 0, false, {}, false}, "<p id=p>x</p>");
  browser.attach();
  loop.pump();
  int handled = 0;
  windows.setEventHandler(main, [&](uiEvent&) { return ++handled > 0; });
  std::uint64_t save = browser.first(main, "#save")->uid;
  std::uint64_t foreign = browser.first(other, "#p")->uid;
  std::uint64_t list = browser.first(main, "#list")->uid;
  const json mods = {{"ctrl", false}, {"shift", false}, {"alt", false}};

  browser.send({{"t", "click"}, {"w", 999}, {"u", save}, {"mods", mods}, {"x", 0}, {"y", 0}});
  browser.send({{"t", "click"}, {"w", main}, {"u", foreign}, {"mods", mods}, {"x", 0}, {"y", 0}});
  browser.send({{"t", "select"}, {"w", main}, {"u", list}, {"row", save}});
  browser.send({{"t", "menuitem"}, {"w", main}, {"u", 12345678}});
  browser.send({{"t", "click"}, {"w", main}, {"u", save}});  // no mods, no x, y
  browser.send({{"t", "rows"}, {"w", main}, {"u", 12345678}, {"from", 0}, {"to", 5}});
  loop.pump();
  EXPECT_EQ(handled, 0);
  EXPECT_TRUE(log.contains("dropped click for window 999, which is not open")) << log.text();
  EXPECT_TRUE(log.contains("dropped click for window " + std::to_string(main) + ": no element " +
                           std::to_string(foreign)));
  EXPECT_TRUE(log.contains("dropped select for window " + std::to_string(main) +
                           ": the row is not in the list"));
  EXPECT_TRUE(log.contains("dropped menuitem for window " + std::to_string(main) +
                           ": no element 12345678"));
  EXPECT_TRUE(log.contains("dropped a client frame: click: field mods missing"));
  EXPECT_TRUE(log.contains("dropped rows for window " + std::to_string(main)));
  EXPECT_TRUE(browser.framesOf("rows").empty());

  ASSERT_TRUE(browser.click(main, "#save"));
  loop.pump();
  EXPECT_EQ(handled, 1);
}

// A long list goes lazily; the client's row requests are answered from the document,
// at most 1000 rows at a time, after the pending changes.
TEST_F(WindowHost, AnswersRowRequests) {
  std::string html = "<ul id=big>";
  for (int i = 0; i < 3000; ++i) html += "<li>row " + std::to_string(i) + "</li>";
  html += "</ul>";
  windowId w = windows.openWindow({"List", 400, 400, 0, false, {}, false}, html);
  browser.attach();
  loop.pump();
  const recordingHost::node* big = browser.first(w, "#big");
  ASSERT_TRUE(big);
  EXPECT_EQ(big->lazyCount, 3000u);
  EXPECT_TRUE(big->rows.empty());

  ASSERT_TRUE(browser.askRows(w, "#big", 10, 13));
  loop.pump();
  std::vector<json> rows = browser.framesOf("rows");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["w"], w);
  EXPECT_EQ(rows[0]["from"], 10);
  EXPECT_EQ(rows[0]["count"], 3000);
  EXPECT_EQ(browser.text(w, "#big"), "row 10\nrow 11\nrow 12\n");

  // A row removed before the request: the count comes first, then rows that match it.
  windows.doc(w)->byId("big")->child(0)->remove();
  ASSERT_TRUE(browser.askRows(w, "#big", 0, 5000));
  loop.pump();
  rows = browser.framesOf("rows");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1]["nodes"].size(), 1000u);
  EXPECT_EQ(rows[1]["count"], 2999);
  EXPECT_EQ(browser.first(w, "#big")->rows.at(0)->text(), "row 1");
  EXPECT_EQ(browser.ignoredOps(), 0u);
}

// The close control calls the window's close handler; without one the window closes,
// its owned windows first, and the client is told. wm::close does the same.
TEST_F(WindowHost, CloseControlAndOwnedWindows) {
  windowId main = openMain();
  windowId dialog = openDialog(main);
  windowId inner = openDialog(dialog);
  browser.attach();
  loop.pump();
  int asked = 0;
  windows.setCloseHandler(main, [&] { ++asked; });

  browser.closeWindow(inner);
  loop.pump();
  EXPECT_FALSE(windows.isOpen(inner));
  EXPECT_EQ(browser.shownWindows(), (std::vector<windowId>{main, dialog}));

  loop.post(main, wm::close);
  loop.pump();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(windows.isOpen(main));

  windowId again = openDialog(dialog);
  EXPECT_TRUE(windows.closeWindow(main));
  EXPECT_FALSE(windows.isOpen(dialog));
  EXPECT_FALSE(windows.isOpen(again));
  EXPECT_FALSE(loop.isWindow(main));
  EXPECT_EQ(windows.mainWindow(), 0u);
  EXPECT_TRUE(browser.shownWindows().empty());
  EXPECT_FALSE(windows.closeWindow(main));
  EXPECT_EQ(windows.openWindow({"Orphan", 100, 100, main, true, {}, false}, "<p>"), 0u);
  EXPECT_TRUE(log.contains("names owner"));
}

// Input for windows under an open modal window is dropped (they are disabled); input
// for the modal window and what it opened is not. Only the main window's geometry is kept.
TEST_F(WindowHost, ModalWindowDisablesThoseUnderIt) {
  windowId main = openMain();
  windowId dialog = openDialog(main);
  browser.attach();
  loop.pump();
  int mainEvents = 0, dialogEvents = 0;
  windows.setEventHandler(main, [&](uiEvent&) { return ++mainEvents > 0; });
  windows.setEventHandler(dialog, [&](uiEvent&) { return ++dialogEvents > 0; });
  ASSERT_TRUE(browser.click(main, "#save"));
  browser.closeWindow(main);
  ASSERT_TRUE(browser.click(dialog, "#ok"));
  browser.reportGeometry(main, {10, 20, 1000, 700, 1920, 1080});
  browser.reportGeometry(dialog, {0, 0, 1, 1, 1, 1});
  loop.pump();
  EXPECT_EQ(mainEvents, 0);
  EXPECT_EQ(dialogEvents, 1);
  EXPECT_TRUE(windows.isOpen(main));
  EXPECT_TRUE(log.contains("dropped closeWindow for window " + std::to_string(main) +
                           " under a modal window"));
  ASSERT_TRUE(windows.mainGeometry());
  EXPECT_EQ(windows.mainGeometry()->width, 1000);
  EXPECT_EQ(windows.mainGeometry()->screenHeight, 1080);
  // A forged geometry stays on the screen reported, itself bounded; without a screen
  // the geometry is not taken.
  browser.reportGeometry(main, {1000000, -1000000, 1000000, 5, 2000000, 900});
  loop.pump();
  windowGeometry g = *windows.mainGeometry();
  EXPECT_EQ(std::vector<int>({g.x, g.y, g.width, g.height, g.screenWidth, g.screenHeight}),
            std::vector<int>({16384, -900, 16384, 100, 16384, 900}));
  browser.reportGeometry(main, {10, 10, 800, 600, 0, 0});
  loop.pump();
  EXPECT_EQ(windows.mainGeometry()->width, 16384);

  windows.closeWindow(dialog);
  ASSERT_TRUE(browser.click(main, "#save"));
  loop.pump();
  EXPECT_EQ(mainEvents, 1);
}

// runModal nests: a dialog opened from a click runs its own loop, a box opened from
// the dialog runs another; each returns its answer in order, input for the dialog is
// dropped while the box is over it, and what the outer handler changed before asking
// is shown while it waits.
TEST_F(WindowHost, ModalLoopsNest) {
  windowId main = openMain();
  browser.attach();
  loop.pump();
  std::vector<std::string> trail;
  windowId dialogShown = 0;
  browser.onWindow("Dialog", [&](windowId w) {
    dialogShown = w;
    trail.push_back("dialog shows; status " + browser.text(main, "#status"));
    browser.click(w, "#more");
  });
  browser.onBox("Save the list", [&](windowId box) {
    browser.click(dialogShown, "#ok");  // the dialog is disabled under the box
    browser.click(box, "#IDNO");
  });
  windows.setEventHandler(main, [&](uiEvent& clicked) {
    if (clicked.kind != eventKind::click) return false;
    setStatus(main, "asking");
    windowId dialog = openDialog(main, "<button id=ok>OK</button><button id=more>More</button>");
    windows.setEventHandler(dialog, [&, dialog](uiEvent& e) {
      if (e.kind != eventKind::click) return false;
      if (*e.target->attribute("id") == "more") {
        boxAnswer a = showMessageBox(windows, dialog, "Save the list?", "Zelvar",
                                     boxButtons::yesNoCancel, boxIcon::question);
        trail.push_back(a == boxAnswer::no ? "box: no" : "box: other");
        windows.endModal(dialog, 42);
      } else {
        trail.push_back("ok");
        windows.endModal(dialog, 1);
      }
      return true;
    });
    std::optional<int> answer = windows.runModal(dialog);
    trail.push_back("dialog: " + std::to_string(answer.value_or(-1)));
    EXPECT_FALSE(windows.isOpen(dialog));
    return true;
  });
  ASSERT_TRUE(browser.click(main, "#save"));
  loop.pump();
  EXPECT_EQ(trail,
            (std::vector<std::string>{"dialog shows; status asking", "box: no", "dialog: 42"}));
  ASSERT_EQ(browser.boxes().size(), 1u);
  EXPECT_EQ(browser.boxes()[0].caption, "Zelvar");
  EXPECT_EQ(browser.boxes()[0].icon, "question");
  EXPECT_EQ(browser.unscriptedBoxes(), 0u);
  EXPECT_EQ(browser.pendingScripts(), 0u);
  EXPECT_TRUE(log.contains("under a modal window"));
  EXPECT_EQ(browser.shownWindows(), std::vector<windowId>{main});
  EXPECT_EQ(loop.modalDepth(), 0);
}

// A modal window opened before any client waits: the loop keeps running, and the
// window is shown (and answered) once a client attaches.
TEST_F(WindowHost, ModalWaitsForAClient) {
  browser.answerBox("Проверка", boxAnswer::retry);
  int pumped = 0;
  loop.postTask([&] { ++pumped; });
  loop.postTask([&] { browser.attach(); });
  boxAnswer a = showMessageBox(windows, 0, "Проверка связи", "Zelvar", boxButtons::retryCancel);
  EXPECT_EQ(a, boxAnswer::retry);
  EXPECT_EQ(pumped, 1);
  ASSERT_EQ(browser.framesOf("window").size(), 1u);
  EXPECT_EQ(browser.framesOf("window")[0]["owner"], 0);
  EXPECT_EQ(browser.framesOf("close").size(), 1u);
}

// A quit while a modal window waits ends its loop unanswered and closes it.
TEST_F(WindowHost, QuitEndsAModalWindow) {
  windowId main = openMain();
  windowId dialog = openDialog(main);
  loop.postTask([&] { loop.quit(3); });
  EXPECT_EQ(windows.runModal(dialog), std::nullopt);
  EXPECT_FALSE(windows.isOpen(dialog));
  EXPECT_EQ(showMessageBox(windows, main, "?", "Zelvar", boxButtons::yesNo), boxAnswer::no);
  EXPECT_EQ(showMessageBox(windows, main, "?", "Zelvar", boxButtons::okCancel), boxAnswer::cancel);
  EXPECT_EQ(loop.run(), 3);
}

// Each button set shows its buttons in order, and each button answers for itself.
TEST_F(WindowHost, MessageBoxButtonSets) {
  struct setCase {
    boxButtons buttons;
    std::vector<std::string> ids;
  };
  const setCase cases[] = {
      {boxButtons::ok, {"IDOK"}},
      {boxButtons::okCancel, {"IDOK", "IDCANCEL"}},
      {boxButtons::yesNo, {"IDYES", "IDNO"}},
      {boxButtons::yesNoCancel, {"IDYES", "IDNO", "IDCANCEL"}},
      {boxButtons::retryCancel, {"IDRETRY", "IDCANCEL"}},
  };
  windowId main = openMain();
  browser.attach();
  loop.pump();
  for (const setCase& c : cases) {
    for (const std::string& id : c.ids) {
      SCOPED_TRACE(id);
      boxAnswer expected = *boxAnswerOf(id);
      browser.answerBox("", expected);
      EXPECT_EQ(showMessageBox(windows, main, "Текст", "Заголовок", c.buttons), expected);
      const recordingHost::shownBox& box = browser.boxes().back();
      EXPECT_EQ(box.buttons, c.ids);
      EXPECT_EQ(box.answer, id);
      EXPECT_TRUE(box.scripted);
    }
  }
  EXPECT_EQ(browser.shownWindows(), std::vector<windowId>{main});
}

// The box's caption, text with its line breaks (escaped), icon and default button; a
// Yes/No box ignores Escape and its close control, and Enter chooses the default.
TEST_F(WindowHost, MessageBoxDocument) {
  windowId main = openMain();
  browser.attach();
  loop.pump();
  std::string text, title;
  bool defaultFocused = false;
  browser.onBox("", [&](windowId box) {
    text = browser.text(box, ".box-text");
    title = browser.window(box)->title;
    defaultFocused = browser.first(box, "#IDYES")->hasState(stateFocus);
    browser.key(box, "", "Escape");
    browser.closeWindow(box);
    browser.key(box, "", "Enter");
  });
  boxAnswer a = showMessageBox(windows, main, "Удалить <all>?\nЭто нельзя отменить.", "Внимание",
                               boxButtons::yesNo, boxIcon::warning);
  EXPECT_EQ(a, boxAnswer::yes);
  EXPECT_EQ(title, "Внимание");
  EXPECT_EQ(text, "Удалить <all>?\nЭто нельзя отменить.");
  EXPECT_TRUE(defaultFocused);
  ASSERT_EQ(browser.boxes().size(), 1u);
  EXPECT_EQ(browser.boxes()[0].icon, "warning");
  EXPECT_EQ(browser.boxes()[0].buttons, (std::vector<std::string>{"IDYES", "IDNO"}));
}

// Closing a box or pressing Escape answers Cancel where there is one, OK for OK alone;
// Enter on a focused button chooses that button.
TEST_F(WindowHost, ClosingABox) {
  windowId main = openMain();
  browser.attach();
  loop.pump();
  struct closeCase {
    boxButtons buttons;
    std::string how;
    boxAnswer expected;
  };
  const closeCase cases[] = {
      {boxButtons::ok, "close", boxAnswer::ok},
      {boxButtons::ok, "escape", boxAnswer::ok},
      {boxButtons::okCancel, "escape", boxAnswer::cancel},
      {boxButtons::yesNoCancel, "close", boxAnswer::cancel},
      {boxButtons::retryCancel, "escape", boxAnswer::cancel},
      {boxButtons::yesNoCancel, "enter on No", boxAnswer::no},
  };
  for (const closeCase& c : cases) {
    SCOPED_TRACE(c.how);
    browser.onBox("", [&](windowId box) {
      if (c.how == "close") {
        browser.closeWindow(box);
      } else if (c.how == "escape") {
        browser.key(box, "", "Escape");
      } else {
        browser.key(box, "#IDNO", "Enter");
      }
    });
    EXPECT_EQ(showMessageBox(windows, main, "?", "Zelvar", c.buttons), c.expected);
  }
  EXPECT_EQ(browser.shownWindows(), std::vector<windowId>{main});
}

// The internal-error box asks Retry/Cancel with the error icon over the active window.
TEST_F(WindowHost, InternalErrorBox) {
  windowId main = openMain();
  browser.attach();
  loop.pump();
  internalErrorWindow ui(windows);
  browser.answerBox("INTERNAL ERROR", boxAnswer::retry);
  EXPECT_TRUE(ui.askRetry("INTERNAL ERROR\nFile: a.cpp"));
  browser.answerBox("File: b.cpp", boxAnswer::cancel);
  EXPECT_FALSE(ui.askRetry("INTERNAL ERROR\nFile: b.cpp"));
  ASSERT_EQ(browser.boxes().size(), 2u);
  EXPECT_EQ(browser.boxes()[0].caption, "INTERNAL ERROR");
  EXPECT_EQ(browser.boxes()[0].icon, "error");
  EXPECT_EQ(browser.boxes()[0].buttons, (std::vector<std::string>{"IDRETRY", "IDCANCEL"}));
  EXPECT_EQ(browser.framesOf("window")[1]["owner"], main);
}

// Client input takes the behaviours' way: the document's own sheets and the window's
// sheets (read through the style sheet source) attach behaviours, whose events reach the
// application handler; a handler may close its own window in the middle of an event.
TEST_F(WindowHost, RoutesInputThroughBehaviours) {
  std::vector<std::string> asked;
  windows.setStyleSheetSource([&](const std::string& url) -> std::optional<std::string> {
    asked.push_back(url);
    if (url == "/skin/form.css") return "form { behavior: x-form }";
    return std::nullopt;
  });
  windowSpec spec;
  spec.title = "Tabs";
  spec.css = {"/skin/form.css", "/skin/missing.css"};
  windowId w = windows.openWindow(
      spec,
      "<html><head><style>div.tabs { behavior: tabs }</style></head><body>"
      "<div class=tabs><div class=strip><span id=t1 panel=p1 selected>1</span>"
      "<span id=t2 panel=p2>2</span></div><div name=p1 id=p1></div><div name=p2 id=p2></div>"
      "</div><form id=f><input id=name><button id=go default>Go</button></form></body></html>");
  browser.attach();
  loop.pump();
  EXPECT_EQ(asked, (std::vector<std::string>{"/skin/form.css", "/skin/missing.css"}));
  EXPECT_TRUE(browser.first(w, "#p1")->hasState(stateExpanded));

  std::vector<std::string> seen;
  windows.setEventHandler(w, [&](uiEvent& e) {
    if (isBehaviorEvent(e.kind))
      seen.push_back(eventKindName(e.kind) +
                     (" " + std::string(e.target->attribute("id").value_or(""))));
    return false;
  });
  ASSERT_TRUE(browser.click(w, "#t2"));
  ASSERT_TRUE(browser.key(w, "#name", "Enter"));
  loop.pump();
  EXPECT_EQ(seen, (std::vector<std::string>{"elementCollapsed t1", "elementExpanded t2",
                                            "buttonClick go"}));
  EXPECT_TRUE(browser.first(w, "#p2")->hasState(stateExpanded));
  EXPECT_FALSE(browser.first(w, "#p1")->hasState(stateExpanded));

  windows.setEventHandler(w, [&](uiEvent& e) {
    if (e.kind != eventKind::buttonClick) return false;
    windows.closeWindow(w);
    return true;
  });
  ASSERT_TRUE(browser.key(w, "#name", "Enter"));
  loop.pump();
  EXPECT_FALSE(windows.isOpen(w));
  EXPECT_EQ(browser.framesOf("close").size(), 1u);
}

}  // namespace
}  // namespace zv
