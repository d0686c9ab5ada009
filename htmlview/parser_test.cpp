#include "htmlview/parser.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

// Markup read into a document and written back.
std::string reread(std::string_view html) {
  document doc;
  doc.root().setInnerHtml(html);
  return doc.root().innerHtml();
}

struct dialectCase {
  const char* name;
  std::string_view html;
  std::string_view written;
};

// The dialect's rules, each shown by what the markup reads as.
TEST(HtmlParser, DialectCases) {
  const dialectCase cases[] = {
      {"void elements", "<br><img src=a.png><hr><input value=x>text",
       R"(<br><img src="a.png"><hr><input value="x">text)"},
      {"void never holds content", "<br>a</br>b<col><meta>c", "<br>ab<col><meta>c"},
      {"self-closing", "<div/>x<span />y", "<div></div>x<span></span>y"},
      {"p ends at the next p", "<p>a<p>b", "<p>a</p><p>b</p>"},
      {"p ends at a block", "<p>a<div>b</div>", "<p>a</p><div>b</div>"},
      {"p stays inside a cell", "<table><tr><td><p>a<td>b</table>",
       "<table><tr><td><p>a</p></td><td>b</td></tr></table>"},
      {"li ends at the next li", "<ul><li>a<li>b</ul>", "<ul><li>a</li><li>b</li></ul>"},
      {"nested lists", "<ul><li>a<ul><li>b</ul><li>c</ul>",
       "<ul><li>a<ul><li>b</li></ul></li><li>c</li></ul>"},
      {"dt and dd", "<dl><dt>a<dd>b<dt>c</dl>", "<dl><dt>a</dt><dd>b</dd><dt>c</dt></dl>"},
      {"option ends at the next option", "<select><option>a<option selected>b</select>",
       "<select><option>a</option><option selected>b</option></select>"},
      {"options hold rich content", "<select><option><div>x</div><option>y</select>",
       "<select><option><div>x</div></option><option>y</option></select>"},
      {"rows and cells", "<table><tr><td>1<td>2<tr><th>3</table>",
       "<table><tr><td>1</td><td>2</td></tr><tr><th>3</th></tr></table>"},
      {"sections", "<table><thead><tr><th>h<tbody><tr><td>d</table>",
       "<table><thead><tr><th>h</th></tr></thead><tbody><tr><td>d</td></tr></tbody></table>"},
      {"no fostering", "<table><div>x</div><tr><td>y</table>",
       "<table><div>x</div><tr><td>y</td></tr></table>"},
      {"style is raw", "<style>a > b { content: '<p>&amp;' }</style>",
       "<style>a > b { content: '<p>&amp;' }</style>"},
      {"script is raw", "<script>if (a<b) x='</div>';</script>",
       "<script>if (a<b) x='</div>';</script>"},
      {"plaintext is a raw editor", "<plaintext>k=1\n<b>no tag</b> &amp;\n</plaintext><p>after",
       "<plaintext>k=1\n<b>no tag</b> &amp;\n</plaintext><p>after</p>"},
      {"plaintext end tag in any case", "<plaintext>x</plaintexty></PLAINTEXT >y",
       "<plaintext>x</plaintexty></plaintext>y"},
      {"plaintext to the end", "<plaintext>a<b>", "<plaintext>a<b></plaintext>"},
      {"textarea takes entities only", "<textarea>a &lt; b <i>c</i></textarea>",
       "<textarea>a &lt; b &lt;i&gt;c&lt;/i&gt;</textarea>"},
      {"widget popup menu are elements",
       "<widget type=select><popup><menu><li>x</menu></popup></widget>",
       R"(<widget type="select"><popup><menu><li>x</li></menu></popup></widget>)"},
      {"attribute forms", R"(<div a b=1 c='2' d="3" tlgID=x'y>)",
       R"(<div a b="1" c="2" d="3" tlgID="x'y"></div>)"},
      {"quotes inside values", R"(<div title='say "hi"' alt="it's">)",
       R"(<div title="say &quot;hi&quot;" alt="it's"></div>)"},
      {"first of duplicate attributes", "<div a=1 A=2>", R"(<div a="1"></div>)"},
      {"entities in values", R"(<a href="?a=1&amp;b=2&c">)",
       R"(<a href="?a=1&amp;b=2&amp;c"></a>)"},
      {"attribute names of odd characters are dropped", "<div $x=1 y\"=2 z=3>",
       R"(<div z="3"></div>)"},
      {"entities", "&lt;&gt;&amp;&quot;&nbsp;&copy;&#65;&#x42;&#x1F600;&laquo;",
       "&lt;&gt;&amp;\"\u00A0\u00A9AB\U0001F600\u00AB"},
      {"unknown entities stay", "&unknown; &amp &#; &#xZ; AT&T",
       "&amp;unknown; &amp;amp &amp;#; &amp;#xZ; AT&amp;T"},
      {"bad code points", "&#0;&#xD800;&#x110000;&#99999999999;", "\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"stray <", "a < b <3 <> c </ d", "a &lt; b &lt;3 &lt;&gt; c &lt;/ d"},
      {"end tag closes to its element", "<div><span>a</div>b</span>c",
       "<div><span>a</span></div>bc"},
      {"unmatched end tags", "</b>x</i><p>y</div>z", "x<p>yz</p>"},
      {"comments and doctype", "<!DOCTYPE html><!-- <b>c</b> --><?xml?><b>x</b><!-- open",
       "<b>x</b>"},
      {"tag names in any case", "<DIV><B>x</b></Div>", "<div><b>x</b></div>"},
      {"a tag cut off by the end", "a<div class=\"b", "a"},
      {"invalid UTF-8",
       "a\xFF"
       "b\xC3(\xED\xA0\x80",
       "a\uFFFDb\uFFFD(\uFFFD\uFFFD\uFFFD"},
  };
  for (const dialectCase& c : cases) EXPECT_EQ(reread(c.html), c.written) << c.name;
}

// What is written reads back to the same markup, whatever the input was.
TEST(HtmlParser, WrittenMarkupIsStable) {
  const std::string_view inputs[] = {
      "<p>a<ul><li>b<p>c</ul>",
      "<table><tr><td><table><tr><td>x</table></table>",
      "<select><optgroup><option>a<optgroup><option>b</select>",
      "<div a='&quot;&lt;' b>&amp;lt;</div>",
      "<textarea>&amp;lt;</textarea>",
      "<plaintext>a</plaintex</plaintext>",
      "<p><button><div>x</div></button>",
      "<x:y a.b=1 c-d=2></x:y>",
      "<script></script</script>",
  };
  for (std::string_view in : inputs) {
    std::string once = reread(in);
    EXPECT_EQ(reread(once), once) << in;
  }
}

// The document root is the html element, or one made to hold a fragment.
TEST(HtmlParser, DocumentRoot) {
  document doc;
  doc.load("<!DOCTYPE html>\n<html lang=ru><head><title>T</title></head><body>x</body></html>\n");
  EXPECT_EQ(doc.root().tag(), "html");
  EXPECT_EQ(doc.root().attribute("lang"), "ru");
  ASSERT_EQ(doc.root().childCount(), 2u);
  EXPECT_EQ(doc.root().child(1)->tag(), "body");
  EXPECT_TRUE(doc.root().isConnected());

  doc.load("<div id=a></div><div id=b></div>");
  EXPECT_EQ(doc.root().tag(), "html");
  EXPECT_EQ(doc.root().childCount(), 2u);
  EXPECT_TRUE(doc.byId("b"));
}

// Controls start with the state and value their attributes give.
TEST(HtmlParser, ControlsFromAttributes) {
  document doc;
  doc.load(
      "<input id=c type=checkbox checked disabled value=v>"
      "<select id=s><option value=1>one<option selected>two</select>"
      "<plaintext id=p>a\nb</plaintext><input id=r readonly>");
  EXPECT_EQ(doc.byId("c")->states(), std::uint32_t(stateChecked | stateDisabled));
  EXPECT_EQ(doc.byId("c")->value(), "v");
  EXPECT_EQ(doc.byId("s")->value(), "two");
  EXPECT_EQ(doc.byId("p")->value(), "a\nb");
  EXPECT_TRUE(doc.byId("r")->hasState(stateReadonly));
}

// Deep nesting stops at the limit without recursion; huge attributes are read whole.
TEST(HtmlParser, LimitsAndSizes) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<div>";
  deep += "x";
  document doc;
  doc.load(deep);
  element* e = &doc.root();
  std::size_t levels = 0;
  while (e->childCount() != 0) {
    e = e->child(0);
    ++levels;
  }
  EXPECT_EQ(levels, maxNestingDepth);
  EXPECT_EQ(e->text(), "x");
  EXPECT_EQ(doc.root().text(), "x");
  EXPECT_EQ(reread(doc.root().innerHtml()), doc.root().innerHtml());

  std::string huge(4 << 20, 'v');
  doc.load("<div id=h title=\"" + huge + "\">");
  EXPECT_EQ(doc.byId("h")->attribute("title")->size(), huge.size());
}

}  // namespace
}  // namespace zv
