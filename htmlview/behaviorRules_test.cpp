#include "htmlview/behaviorRules.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

// "selector|selector => name name" per declaration, joined with "; ".
std::string read(std::string_view css) {
  std::string out;
  for (const behaviorDeclaration& d : readBehaviorDeclarations(css)) {
    if (!out.empty()) out += "; ";
    for (std::size_t i = 0; i < d.selectors.size(); ++i) out += (i ? "|" : "") + d.selectors[i];
    out += " =>";
    for (const std::string& n : d.names) out += " " + n;
  }
  return out;
}

// The reader finds behaviour declarations and steps over everything else.
TEST(BehaviorRules, ReaderFindsDeclarations) {
  struct cssCase {
    const char* css;
    const char* declarations;
  };
  const cssCase cases[] = {
      {"div.tabs { behavior: tabs }", "div.tabs => tabs"},
      {"a, b > c { color: red; behaviour: grid; }", "a|b > c => grid"},
      {"x { BEHAVIOR : sel-grid !important }", "x => sel-grid"},
      {"x { behavior: a b, c }", "x => a b c"},
      {"x { behavior: none }", "x =>"},
      {"x { behavior: grid; behavior: tabs }", "x => tabs"},
      {"p { color: red }", ""},
      {"/* a { behavior: grid } */ b /* c */ { /* d */ behavior: /* e */ tabs }", "b => tabs"},
      {"@import url(x.css); @media screen { a { behavior: grid } } b { behavior: tabs }",
       "b => tabs"},
      {"@font-face { font-family: \"x}\"; src: url(f.ttf) } i { behavior: x-form }", "i => x-form"},
      {"a[title=\"{;}\"] { content: \"}\"; behavior: grid }", "a[title=\"{;}\"] => grid"},
      {"a { background: url(a;b.png); behavior: grid }", "a => grid"},
      {"} stray ; a { behavior: grid }", "stray ; a => grid"},
      {"a { behavior: grid } b { behavior: tabs", "a => grid; b => tabs"},
      {"a { behavior: grid } b", "a => grid"},
      {"a, , b { behavior: grid }", "a|b => grid"},
      {"a { behavior: \"quoted\" }", "a => quoted"},
      {"/* unterminated", ""},
  };
  for (const cssCase& c : cases) {
    SCOPED_TRACE(c.css);
    EXPECT_EQ(read(c.css), c.declarations);
  }
}

// Specificity: ids, then classes, attributes and pseudo-classes, then types.
TEST(BehaviorRules, SpecificityOrdersSelectors) {
  struct specCase {
    const char* selector;
    std::uint32_t ids, classes, types;
  };
  const specCase cases[] = {
      {"*", 0, 0, 0},
      {"div", 0, 0, 1},
      {"div p", 0, 0, 2},
      {".a", 0, 1, 0},
      {"div.a.b", 0, 2, 1},
      {"[type=\"a#b.c\"]", 0, 1, 0},
      {"#x", 1, 0, 0},
      {"table#x > tr:current", 1, 1, 2},
      {":root>.strip>[panel]", 0, 3, 0},
      {"widget[type=select] li", 0, 1, 2},
  };
  for (const specCase& c : cases) {
    SCOPED_TRACE(c.selector);
    EXPECT_EQ(selectorSpecificity(c.selector), c.ids << 20 | c.classes << 10 | c.types);
  }
}

// The cascade over rules filed by id, class and tag: the most specific rule wins, the
// later one among equals; the built-in sheet only where no author rule matches.
TEST(BehaviorRules, CascadePicksOneDeclaration) {
  document doc;
  doc.load(R"(<div id=a class="x y"><span id=b class=y></span><i id=c></i>
    <widget id=d type=logview></widget><widget id=e type=logview class=y></widget></div>)");
  behaviorRules rules;
  rules.addSheet(R"(
    .y { behavior: one }
    span.y { behavior: two }
    .x.y { behavior: three }
    div > * { behavior: four }
    i { behavior: five }
    #b { behavior: six }
    .y { behavior: seven }
  )");
  auto names = [&](const char* id) {
    std::string out;
    for (const std::string& n : rules.namesFor(*doc.byId(id), doc.root())) out += n;
    return out;
  };
  EXPECT_EQ(names("a"), "three");
  EXPECT_EQ(names("b"), "six");
  EXPECT_EQ(names("c"), "five");
  EXPECT_EQ(names("d"), "four");
  EXPECT_EQ(names("e"), "seven");
  behaviorRules builtIn;
  EXPECT_EQ(builtIn.namesFor(*doc.byId("d"), doc.root()), std::vector<std::string>{"logview"});
}

}  // namespace
}  // namespace zv
