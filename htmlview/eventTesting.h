#pragma once
// For the engine's event tests: a document with its router, input helpers, and an
// application handler that writes down the events reaching it.

#include "htmlview/eventRouter.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace zv::test {

// The element's id, else its tag.
inline std::string label(const element* e) {
  if (!e) return "-";
  std::optional<std::string_view> id = e->attribute("id");
  return id ? std::string(*id) : e->tag();
}

// "kind target" with ", from source" when they differ and "#index" when it is set.
inline std::string describe(const uiEvent& e) {
  std::string out = std::string(eventKindName(e.kind)) + " " + label(e.target.get());
  if (e.source != e.target) out += " from " + label(e.source.get());
  if (e.index >= 0) out += " #" + std::to_string(e.index);
  return out;
}

class eventBench {
 public:
  explicit eventBench(std::string_view html, bool recordInput = false) : recordInput_(recordInput) {
    doc.load(html);
    router.setApplicationHandler([this](uiEvent& e) {
      if (recordInput_ || isBehaviorEvent(e.kind)) seen.push_back(describe(e));
      return false;
    });
    router.settle();
  }

  element& at(std::string_view id) {
    elementRef e = doc.byId(id);
    if (!e) ADD_FAILURE() << "no element " << id;
    return e ? *e : doc.root();
  }

  bool click(std::string_view id, keyModifiers mods = {}) {
    return input(eventKind::click, at(id), mods);
  }
  bool dblclick(std::string_view id) { return input(eventKind::dblclick, at(id)); }
  bool key(std::string_view id, std::string_view name, keyModifiers mods = {}) {
    uiEvent e;
    e.kind = eventKind::key;
    e.target = &at(id);
    e.key = name;
    e.mods = mods;
    return router.dispatch(e);
  }
  bool input(eventKind kind, element& target, keyModifiers mods = {}) {
    uiEvent e;
    e.kind = kind;
    e.target = &target;
    e.mods = mods;
    return router.dispatch(e);
  }

  // The events seen since the last call, joined with "; ".
  std::string events() {
    std::string out;
    for (const std::string& s : seen) out += (out.empty() ? "" : "; ") + s;
    seen.clear();
    return out;
  }

  // Ids (else tags) of the matching elements, joined with " ".
  std::string ids(std::string_view selector) {
    std::string out;
    for (elementRef& e : doc.selectAll(selector)) out += (out.empty() ? "" : " ") + label(e.get());
    return out;
  }

  document doc;
  eventRouter router{doc};
  std::vector<std::string> seen;

 private:
  bool recordInput_;
};

constexpr keyModifiers ctrl{true, false, false};
constexpr keyModifiers shift{false, true, false};
constexpr keyModifiers ctrlShift{true, true, false};

}  // namespace zv::test
