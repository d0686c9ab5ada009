#include "htmlview/eventTesting.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

using test::eventBench;

// Enter inside an x-form clicks its default button, except in a multi-line editor, on a
// button, with Ctrl, or when the default button is disabled.
TEST(XForm, EnterClicksTheDefaultButton) {
  struct enterCase {
    const char* html;
    const char* from;
    keyModifiers mods;
    const char* events;
  };
  const char* plain = R"(<form id=f><input id=in><textarea id=ta></textarea>
    <button id=other>x</button><button id=ok default>OK</button></form><input id=out>)";
  const char* byRole =
      R"(<form id=f><input id=in><span><button id=go role="default-button">Go</button>
    </span></form>)";
  const char* disabled =
      R"(<form id=f><input id=in><button id=ok default disabled>OK</button></form>)";
  const char* none = R"(<form id=f><input id=in></form>)";
  const enterCase cases[] = {
      {plain, "in", {}, "buttonClick ok"},  {plain, "f", {}, "buttonClick ok"},
      {plain, "ta", {}, "key ta"},          {plain, "other", {}, "key other"},
      {plain, "in", test::ctrl, "key in"},  {plain, "out", {}, "key out"},
      {byRole, "in", {}, "buttonClick go"}, {disabled, "in", {}, "key in"},
      {none, "in", {}, "key in"},
  };
  for (const enterCase& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " in " + c.html);
    eventBench b(std::string("<style>form { behavior: x-form }</style>") + c.html, true);
    b.key(c.from, "Enter", c.mods);
    EXPECT_EQ(b.events(), c.events);
  }
}

}  // namespace
}  // namespace zv
