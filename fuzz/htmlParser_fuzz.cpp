// Reads arbitrary bytes as the engine's HTML dialect, writes the tree back, reads that
// again and runs selectors over it. Checks what the console relies on: reading never
// fails or hangs, the written markup reads back to the same markup, the wire form is
// valid JSON text (valid UTF-8), and selectors, good or bad, never crash.
#include "htmlview/dom.h"
#include "htmlview/selector.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

const char* const selectors[] = {
    ":root>.strip>[panel][selected]",
    ":root>[name=\"x\"]",
    "option[tlgID='00:1A:2B:3C:4D:5E']",
    "[default],[role=\"default-button\"]",
    "li > .caption",
    "tr:current",
    "div p span",
    "*",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  zv::document doc;
  doc.root().setInnerHtml(bytes);
  const std::string once = doc.root().innerHtml();
  const std::string text = doc.root().text();

  zv::document again;
  again.root().setInnerHtml(once);
  require(again.root().innerHtml() == once);
  require(again.root().text() == text);
  require(again.elementCount() == doc.elementCount());

  // Every string in the wire form is valid UTF-8, or dump() would throw.
  (void)again.snapshot().dump();

  for (const char* s : selectors) {
    std::vector<zv::elementRef> all = again.selectAll(s);
    zv::elementRef first = again.selectFirst(s);
    require(all.empty() == !first);
    require(all.empty() || all.front() == first);
  }
  // The input's first line as a selector of its own.
  std::string_view line = bytes.substr(0, std::min<std::size_t>(bytes.find('\n'), 200));
  if (auto compiled = zv::selector::compile(line)) {
    std::vector<zv::elementRef> found;
    compiled->select(again.root(), found, false);
  }

  zv::document whole;
  whole.load(bytes);
  require(whole.root().tag() == "html");
  return 0;
}
