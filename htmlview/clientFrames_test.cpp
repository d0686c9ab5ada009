#include "htmlview/clientFrames.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

using json = nlohmann::json;

struct frameCase {
  const char* text;
  const char* problem;  // nullptr: accepted
};

// Each frame type with its fields is accepted; a frame missing a field, with a field of
// the wrong type, of an unknown type or not an object is refused with the reason.
TEST(ClientFrames, AcceptsWhatTheProtocolDefines) {
  const frameCase cases[] = {
      {R"({"t":"click","w":1,"u":5,"mods":{"ctrl":false,"shift":true,"alt":false},"x":3,"y":4.5})",
       nullptr},
      {R"({"t":"click","w":1,"u":5,"mods":{"ctrl":false,"shift":false,"alt":false},"x":0,"y":0,"href":"#help"})",
       nullptr},
      {R"({"t":"dblclick","w":1,"u":5,"mods":{"ctrl":true,"shift":false,"alt":false}})", nullptr},
      {R"({"t":"key","w":2,"u":0,"key":"Tab","mods":{"ctrl":true,"shift":false,"alt":false}})",
       nullptr},
      {R"({"t":"input","w":1,"u":9,"v":"10.0.0.1"})", nullptr},
      {R"({"t":"select","w":1,"u":9,"row":12})", nullptr},
      {R"({"t":"contextmenu","w":1,"u":9,"x":1,"y":2})", nullptr},
      {R"({"t":"menuitem","w":1,"u":9})", nullptr},
      {R"({"t":"popupDismissed","w":1,"u":9})", nullptr},
      {R"({"t":"drop","w":1,"u":9,"target":10,"index":0})", nullptr},
      {R"({"t":"scroll","w":1,"u":9,"top":120})", nullptr},
      {R"({"t":"resized","w":1,"u":9,"width":420})", nullptr},
      {R"({"t":"rows","w":1,"u":9,"from":100,"to":160})", nullptr},
      {R"({"t":"geometry","w":1,"x":-1920,"y":0,"width":1200,"height":950,"screenWidth":3840,"screenHeight":1080})",
       nullptr},
      {R"({"t":"closeWindow","w":3})", nullptr},

      {R"([1,2])", "not a JSON object"},
      {R"({"w":1})", "no frame type"},
      {R"({"t":7,"w":1})", "no frame type"},
      {R"({"t":"shutdown","w":1})", "unknown frame type \"shutdown\""},
      {R"({"t":"closeWindow"})", "closeWindow: field w"},
      {R"({"t":"closeWindow","w":0})", "closeWindow: field w"},
      {R"({"t":"menuitem","w":1})", "menuitem: field u missing"},
      {R"({"t":"menuitem","w":1,"u":"9"})", "menuitem: field u has the wrong type"},
      {R"({"t":"menuitem","w":1,"u":-9})", "menuitem: field u has the wrong type"},
      {R"({"t":"menuitem","w":1,"u":1.5})", "menuitem: field u has the wrong type"},
      {R"({"t":"key","w":1,"u":0,"key":13,"mods":{"ctrl":true,"shift":false,"alt":false}})",
       "key: field key has the wrong type"},
      {R"({"t":"key","w":1,"u":0,"key":"a","mods":{"ctrl":true,"shift":false}})",
       "key: field mods has the wrong type"},
      {R"({"t":"key","w":1,"u":0,"key":"PageUp","mods":{"ctrl":false,"shift":false,"alt":false},"page":-3})",
       "key: field page has the wrong type"},
      {R"({"t":"dblclick","w":1,"u":3,"mods":{"ctrl":1,"shift":false,"alt":false}})",
       "dblclick: field mods has the wrong type"},
      {R"({"t":"input","w":1,"u":9,"v":null})", "input: field v has the wrong type"},
      {R"({"t":"rows","w":1,"u":9,"from":10,"to":5})", "rows: from after to"},
      {R"({"t":"resized","w":1,"u":9,"width":-5})", "resized: field width has the wrong type"},
      {R"({"t":"drop","w":1,"u":9,"target":10,"index":-1})",
       "drop: field index has the wrong type"},
      {R"({"t":"geometry","w":1,"x":0,"y":0,"width":-5,"height":9,"screenWidth":1,"screenHeight":1})",
       "geometry: field width has the wrong type"},
      {R"({"t":"click","w":1,"u":5,"mods":{"ctrl":false,"shift":false,"alt":false},"x":0,"y":0,"href":false})",
       "click: field href has the wrong type"},
      {R"({"t":"click", "w":1,)", "not valid JSON"},
      {"{\"t\":\"input\",\"w\":1,\"u\":9,\"v\":\"\xC3\x28\"}", "not valid JSON"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    checkedFrame checked = parseClientFrame(c.text);
    if (!c.problem) {
      EXPECT_TRUE(checked.frame.has_value()) << checked.problem;
    } else {
      EXPECT_FALSE(checked.frame.has_value());
      EXPECT_NE(checked.problem.find(c.problem), std::string::npos) << checked.problem;
    }
  }
}

// The console sees only the fields the protocol defines, whatever else was sent.
TEST(ClientFrames, PassesOnlyTheDefinedFields) {
  checkedFrame checked = parseClientFrame(
      R"({"t":"dblclick","w":4,"u":7,"extra":[1,2],"mods":{"ctrl":true,"shift":false,"alt":false,"meta":true}})");
  ASSERT_TRUE(checked.frame.has_value());
  EXPECT_EQ(*checked.frame,
            json::parse(
                R"({"t":"dblclick","w":4,"u":7,"mods":{"ctrl":true,"shift":false,"alt":false}})"));
  // An optional field is passed when present.
  checked = parseClientFrame(
      R"({"t":"click","w":1,"u":5,"mods":{"ctrl":false,"shift":false,"alt":false},"x":0,"y":0,"href":"a.htm"})");
  ASSERT_TRUE(checked.frame.has_value());
  EXPECT_EQ((*checked.frame)["href"], "a.htm");
}

// Hostile shapes are refused without harm: a frame over the size limit is not parsed,
// and deep nesting inside an otherwise valid frame neither crashes nor passes.
TEST(ClientFrames, RefusesOversizedAndDeeplyNestedFrames) {
  std::string big =
      R"({"t":"input","w":1,"u":2,"v":")" + std::string(maxClientFrameBytes, 'x') + R"("})";
  checkedFrame checked = parseClientFrame(big);
  EXPECT_FALSE(checked.frame.has_value());
  EXPECT_NE(checked.problem.find("over the limit"), std::string::npos);

  std::string deep = R"({"t":"input","w":1,"u":2,"v":)" + std::string(200000, '[') +
                     std::string(200000, ']') + "}";
  checked = parseClientFrame(deep);
  EXPECT_FALSE(checked.frame.has_value());
  EXPECT_NE(checked.problem.find("field v has the wrong type"), std::string::npos);
}

// A key given twice, at any depth, refuses the frame: it would be read as whichever
// came last. The same key in different objects is fine.
TEST(ClientFrames, RefusesDuplicateKeys) {
  for (
      const char* text :
      {R"({"t":"menuitem","w":1,"u":7,"u":8})", R"({"t":"menuitem","t":"click","w":1,"u":7})",
       R"({"t":"dblclick","w":1,"u":2,"mods":{"ctrl":true,"ctrl":false,"shift":false,"alt":false}})"}) {
    checkedFrame checked = parseClientFrame(text);
    EXPECT_FALSE(checked.frame) << text;
    EXPECT_EQ(checked.problem, "a key appears twice") << text;
  }
  EXPECT_TRUE(
      parseClientFrame(
          R"({"t":"dblclick","w":1,"u":2,"mods":{"ctrl":true,"shift":false,"alt":false},"x":{"u":1}})")
          .frame);
}

}  // namespace
}  // namespace zv
