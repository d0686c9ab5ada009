#include "htmlview/controlActions.h"

#include "htmlview/eventTesting.h"

#include <gtest/gtest.h>

#include <functional>

namespace zv {
namespace {

using test::eventBench;

constexpr std::string_view controls = R"(<body>
<form id=f>
  <button id=cb type=checkbox>c</button>
  <button id=r1 type=radio name=g checked>1</button>
  <button id=r2 type=radio name=g>2</button>
  <input id=r4 type=radio name=other checked>
</form>
<button id=r3 type=radio name=g checked>3</button>
<button id=plain><span id=inPlain>Go</span></button>
<a id=link href="#help"><b id=inLink>help</b></a>
<button id=off disabled>off</button>
<button id=menubtn>Menu<menu id=m><li id=item1>One</li><li id=item2 disabled>Two</li>
  <button id=mcb type=checkbox>in menu</button></menu></button>
<input id=name value=x><input id=ro readonly><textarea id=text>t</textarea>
<select id=list size=5><option id=o1 value=1>One<option id=o2>Two<option id=o3 disabled>3</select>
<widget id=w type=select><div id=w1>a</div><div id=w2 style="display:none">b</div><div id=w3 value=c3>c</div></widget>
<select id=drop><option id=d1 value=a>A<option id=d2 value=b>B</select>
<div id=plainDiv>x</div>
</body>)";

uiEvent inputEvent(eventBench& b, eventKind kind, std::string_view target) {
  uiEvent e;
  e.kind = kind;
  e.target = &b.at(target);
  return e;
}

// A select frame (source: the list) or an input frame (value: the text).
void selectRow(eventBench& b, const char* list, const char* row) {
  uiEvent e = inputEvent(b, eventKind::select, row);
  e.source = &b.at(list);
  b.router.dispatch(e);
}

void typeInto(eventBench& b, const char* id, const char* text) {
  uiEvent e = inputEvent(b, eventKind::input, id);
  e.value = text;
  b.router.dispatch(e);
}

// What each control does with an input event nobody handled, step by step: the events
// raised, and the elements then in a state.
TEST(ControlActions, ControlsActOnUnhandledInput) {
  struct step {
    std::function<void(eventBench&)> act;
    const char* events;
    const char* selector;  // elements expected to match afterwards
    const char* matching;
  };
  struct script {
    const char* name;
    std::vector<step> steps;
  };
  auto click = [](const char* id) { return [id](eventBench& b) { b.click(id); }; };
  auto select = [](const char* list, const char* row) {
    return [list, row](eventBench& b) { selectRow(b, list, row); };
  };
  auto type = [](const char* id, const char* text) {
    return [id, text](eventBench& b) { typeInto(b, id, text); };
  };
  auto key = [](const char* id, const char* name) {
    return [id, name](eventBench& b) { b.key(id, name); };
  };
  auto simple = [](eventKind kind, const char* id) {
    return [kind, id](eventBench& b) { b.router.dispatch(inputEvent(b, kind, id)); };
  };
  const std::vector<script> scripts = {
      {"checkbox toggles",
       {{click("cb"), "buttonClick cb", "#f :checked", "cb r1 r4"},
        {click("cb"), "buttonClick cb", "#f :checked", "r1 r4"}}},
      {"radio clears its group in its form only",
       {{click("r2"), "buttonClick r2", ":checked", "r2 r4 r3"},
        {click("r2"), "buttonClick r2", ":checked", "r2 r4 r3"},
        {click("r3"), "buttonClick r3", ":checked", "r2 r4 r3"}}},
      {"buttons and links",
       {{click("inPlain"), "buttonClick plain", ":checked", "r1 r4 r3"},
        {click("inLink"), "buttonClick link", "", ""},
        {click("off"), "", "", ""},
        {click("plainDiv"), "", "", ""}}},
      {"menu button",
       {{click("menubtn"), "popupReady m from menubtn", ":popup", "m"},
        {click("mcb"), "buttonClick mcb", ":popup", "m"},
        {simple(eventKind::menuitem, "item2"), "", ":popup", "m"},
        {simple(eventKind::menuitem, "item1"), "menuItemClick item1; popupDismissed m from menubtn",
         ":popup", ""},
        {click("menubtn"), "popupReady m from menubtn", ":popup", "m"},
        {click("menubtn"), "popupDismissed m from menubtn", ":popup", ""},
        {click("menubtn"), "popupReady m from menubtn", ":popup", "m"},
        {simple(eventKind::popupClosed, "m"), "popupDismissed m from menubtn", ":popup", ""}}},
      {"text input",
       {{type("name", "abc"), "editValueChanged name", "", ""},
        {type("text", "line\nline"), "editValueChanged text", "", ""},
        {type("ro", "no"), "", "", ""},
        {type("cb", "no"), "", "", ""}}},
      {"list selection",
       {{select("list", "o2"), "selectionChanged o2 from list", ":current", "o2"},
        {select("list", "o2"), "", ":current", "o2"},
        {select("list", "o3"), "", ":current", "o2"},
        {select("list", "d1"), "", ":current", "o2"},
        {select("list", "o1"), "selectionChanged o1 from list", ":current", "o1"},
        {select("drop", "d2"), "selectionChanged d2 from drop", ":current", "o1 d2"},
        {simple(eventKind::popupClosed, "drop"), "popupDismissed drop", ":current", "o1 d2"}}},
      {"list keys",
       {{key("w", "ArrowDown"), "selectionChanged w1 from w", ":current", "w1"},
        {key("w", "ArrowDown"), "selectionChanged w3 from w", ":current", "w3"},
        {key("w", "ArrowDown"), "", ":current", "w3"},
        {key("w", "Home"), "selectionChanged w1 from w", ":current", "w1"},
        {key("w", "x"), "", ":current", "w1"},
        {key("list", "End"), "selectionChanged o2 from list", ":current", "o2 w1"},
        {key("drop", "ArrowDown"), "", ":current", "o2 w1"}}},
  };
  for (const script& s : scripts) {
    eventBench b(controls);
    for (std::size_t i = 0; i < s.steps.size(); ++i) {
      SCOPED_TRACE(std::string(s.name) + ", step " + std::to_string(i + 1));
      const step& st = s.steps[i];
      st.act(b);
      EXPECT_EQ(b.events(), st.events);
      if (*st.selector) {
        EXPECT_EQ(b.ids(st.selector), st.matching);
      }
    }
  }
}

// Values: a text control takes the typed value; a list takes the chosen option's value,
// else its text, and a widget the row's value attribute.
TEST(ControlActions, ValuesFollowTheChoice) {
  eventBench b(controls);
  typeInto(b, "name", "abc");
  EXPECT_EQ(b.at("name").value(), "abc");
  typeInto(b, "text", "two\nlines");
  EXPECT_EQ(b.at("text").value(), "two\nlines");
  typeInto(b, "ro", "no");
  EXPECT_EQ(b.at("ro").value(), "");
  selectRow(b, "list", "o1");
  EXPECT_EQ(b.at("list").value(), "1");
  selectRow(b, "list", "o2");
  EXPECT_EQ(b.at("list").value(), "Two");
  b.key("w", "End");
  EXPECT_EQ(b.at("w").value(), "c3");
  selectRow(b, "drop", "d2");
  EXPECT_EQ(b.at("drop").value(), "b");
}

// The application handler comes before the controls: handling an input event keeps the
// control from acting; it sees the raw input when nothing else took it.
TEST(ControlActions, ApplicationHandlerComesFirst) {
  eventBench b(controls);
  std::vector<std::string> seen;
  b.router.setApplicationHandler([&](uiEvent& e) {
    seen.push_back(test::describe(e));
    return e.kind == eventKind::click && e.target == &b.at("cb");
  });
  EXPECT_TRUE(b.click("cb"));
  EXPECT_EQ(b.ids(":checked"), "r1 r4 r3");
  EXPECT_TRUE(b.click("plain"));  // the button acted
  const std::vector<std::string> expected = {"click cb", "click plain", "buttonClick plain"};
  EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace zv
