#pragma once
// The `behavior` declarations of style sheets and the cascade that picks an element's
// behaviours.
//
// The reader knows just enough CSS for this: rules "selector, selector { declarations }",
// comments, quoted strings, and @-rules, which it skips whole (with their blocks). A
// declaration "behavior: a b" (or "behaviour:") names one or more behaviours; "none"
// names none; "!important" is ignored. Each selector of a rule's list stands alone: one
// the selector engine does not support is left out with a line in the diagnostic log.
//
// For an element the winner is, as in CSS, the element's own style attribute, then a
// rule of the author's sheets over the built-in one, then higher specificity, then the
// later rule. Rules are filed by the rightmost part of their selector (id, class or tag)
// so that an element is only tested against rules that can match it.
//
// Thread safety: a rule set is built and read on the documents' thread.

#include "htmlview/dom.h"
#include "htmlview/selector.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zv {

// One declaration as read: the rule's selector list and the names.
struct behaviorDeclaration {
  std::vector<std::string> selectors;
  std::vector<std::string> names;  // empty for "none"
};

// The behaviour declarations of a style sheet, in order.
std::vector<behaviorDeclaration> readBehaviorDeclarations(std::string_view css);

// Specificity of one selector as (ids, classes + attributes + pseudo-classes, types),
// packed so that a larger number is more specific.
std::uint32_t selectorSpecificity(std::string_view selectorText);

class behaviorRules {
 public:
  // The built-in sheet: elements of type "logview" get the log view.
  static constexpr std::string_view builtInSheet = "[type=logview] { behavior: logview }";

  behaviorRules();

  // Adds an author sheet after those added before.
  void addSheet(std::string_view css);
  std::size_t ruleCount() const { return rules_.size(); }

  // The names of the behaviours the element gets; `scope` is what :root means (the
  // document's root).
  std::vector<std::string> namesFor(const element& e, const element& scope) const;

 private:
  struct rule {
    std::shared_ptr<const selector> compiled;
    std::vector<std::string> names;
    std::uint64_t rank;  // origin, specificity, order: larger wins
  };

  void addSheet(std::string_view css, bool author);
  void file(rule r, std::string_view selectorText);

  std::vector<rule> rules_;
  std::unordered_map<std::string, std::vector<std::size_t>> byId_;
  std::unordered_map<std::string, std::vector<std::size_t>> byClass_;
  std::unordered_map<std::string, std::vector<std::size_t>> byTag_;
  std::vector<std::size_t> others_;
  std::uint32_t order_ = 0;
};

}  // namespace zv
