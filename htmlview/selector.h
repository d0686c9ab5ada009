#pragma once
// Compiled CSS selectors: the subset the console's documents and behaviours use.
//
// Supported: type (case-insensitive) and *, #id, .class, [attr], [attr=v] with the
// value quoted either way or bare (also ~= ^= $= *= |=), attribute names without case;
// :root, which is the element the selection starts from (the document's root when
// selecting in the document); the state pseudo-classes :current :checked :disabled
// :expanded :collapsed :visited :anchor :popup :focus :readonly; descendant and '>'
// combinators; ',' lists. Matching goes right to left, one '>' chain at a time, so it
// is linear in the depth of the tree. An #id in the rightmost part of a single
// selector goes through the document's id index instead of walking the tree.
//
// A selector that does not parse is refused with one line in the diagnostic log and
// matches nothing. Compiled selectors are cached by text (per thread).
//
// Thread safety: compiled selectors are immutable; matching reads the document, so it
// belongs to the document's thread.

#include "htmlview/dom.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

class selector {
 public:
  // nullptr (and a log line) for a bad selector.
  static std::shared_ptr<const selector> compile(std::string_view text);

  // Whether `e` matches; `scope` is what :root means.
  bool matches(const element& e, const element& scope) const;
  // Descendants of `scope` that match, in document order; stops after the first when
  // `firstOnly`.
  void select(element& scope, std::vector<elementRef>& out, bool firstOnly) const;

  struct test {
    enum kindType { tag, id, cls, attribute, root, state };
    explicit test(kindType k) : kind(k) {}
    kindType kind;
    char op = 0;  // attribute: 0 present, '=' equal, '~' word, '^' prefix, '$' suffix,
                  // '*' substring, '|' equal or prefix with '-'
    std::string name;
    std::string value;
    std::uint32_t bits = 0;
  };
  struct compound {
    std::vector<test> tests;
    char combinator = 0;  // to the compound on the left: ' ' descendant, '>' child
  };
  using complex = std::vector<compound>;

 private:
  bool matchesComplex(const complex& c, const element& e, const element& scope) const;
  std::vector<complex> alternatives_;
};

}  // namespace zv
