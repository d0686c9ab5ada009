#include "htmlview/selector.h"

#include "platform/diagnostics.h"
#include "platform/textConv.h"

#include <algorithm>
#include <limits>
#include <unordered_map>

namespace zv {
namespace {

struct pseudoClass {
  std::string_view name;
  std::uint32_t bits;  // 0 for :root
};

constexpr pseudoClass pseudoClasses[] = {
    {"root", 0},
    {"current", stateCurrent},
    {"checked", stateChecked},
    {"disabled", stateDisabled},
    {"expanded", stateExpanded},
    {"collapsed", stateCollapsed},
    {"anchor", stateAnchor},
    {"visited", stateVisited},
    {"popup", statePopup},
    {"focus", stateFocus},
    {"readonly", stateReadonly},
};

bool isIdentChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  }
  return out;
}

class selectorParser {
 public:
  explicit selectorParser(std::string_view text) : s_(text) {}

  bool parse(std::vector<selector::complex>& out) {
    while (true) {
      skipSpace();
      selector::complex c;
      if (!complexSelector(c)) return false;
      out.push_back(std::move(c));
      skipSpace();
      if (at_ == s_.size()) return true;
      if (s_[at_] != ',') return fail("',' or the end expected");
      ++at_;
    }
  }
  const std::string& error() const { return error_; }
  std::size_t where() const { return at_; }

 private:
  bool fail(const char* why) {
    if (error_.empty()) error_ = why;
    return false;
  }
  void skipSpace() {
    while (at_ < s_.size() && isSpace(s_[at_])) ++at_;
  }
  bool more() const { return at_ < s_.size(); }

  bool complexSelector(selector::complex& c) {
    char combinator = 0;
    while (true) {
      selector::compound part;
      part.combinator = combinator;
      if (!compoundSelector(part)) return false;
      c.push_back(std::move(part));
      std::size_t before = at_;
      skipSpace();
      if (!more() || s_[at_] == ',') return true;
      if (s_[at_] == '>') {
        ++at_;
        skipSpace();
        combinator = '>';
      } else if (at_ > before) {
        combinator = ' ';
      } else {
        return fail("unexpected character");
      }
    }
  }

  // An identifier with backslash escapes of single characters.
  bool ident(std::string& out) {
    std::size_t start = at_;
    while (more()) {
      if (s_[at_] == '\\' && at_ + 1 < s_.size()) {
        out += s_[at_ + 1];
        at_ += 2;
      } else if (isIdentChar(s_[at_])) {
        out += s_[at_++];
      } else {
        break;
      }
    }
    return at_ > start || fail("name expected");
  }

  bool compoundSelector(selector::compound& part) {
    if (more() && s_[at_] == '*') {
      ++at_;
    } else if (more() && isIdentChar(s_[at_])) {
      selector::test t(selector::test::tag);
      ident(t.name);
      t.name = lowerAscii(t.name);
      part.tests.push_back(std::move(t));
    } else if (!more() || (s_[at_] != '#' && s_[at_] != '.' && s_[at_] != '[' && s_[at_] != ':')) {
      return fail("selector expected");
    }
    while (more()) {
      char c = s_[at_];
      if (c == '#' || c == '.') {
        ++at_;
        selector::test t(c == '#' ? selector::test::id : selector::test::cls);
        if (!ident(t.value)) return false;
        part.tests.push_back(std::move(t));
      } else if (c == '[') {
        ++at_;
        if (!attribute(part)) return false;
      } else if (c == ':') {
        ++at_;
        std::string name;
        if (!ident(name)) return false;
        name = lowerAscii(name);
        auto p = std::find_if(std::begin(pseudoClasses), std::end(pseudoClasses),
                              [&](const pseudoClass& pc) { return pc.name == name; });
        if (p == std::end(pseudoClasses)) return fail("unknown pseudo-class");
        selector::test t(p->bits == 0 ? selector::test::root : selector::test::state);
        t.bits = p->bits;
        part.tests.push_back(std::move(t));
      } else {
        break;
      }
    }
    return true;
  }

  bool attribute(selector::compound& part) {
    skipSpace();
    selector::test t(selector::test::attribute);
    if (!ident(t.name)) return false;
    skipSpace();
    if (!more()) return fail("']' expected");
    if (s_[at_] != ']') {
      char op = s_[at_];
      if (op == '=') {
        ++at_;
      } else if ((op == '~' || op == '^' || op == '$' || op == '*' || op == '|') &&
                 at_ + 1 < s_.size() && s_[at_ + 1] == '=') {
        at_ += 2;
      } else {
        return fail("attribute operator expected");
      }
      t.op = op;
      skipSpace();
      if (!more()) return fail("value expected");
      if (s_[at_] == '"' || s_[at_] == '\'') {
        char quote = s_[at_++];
        while (more() && s_[at_] != quote) {
          if (s_[at_] == '\\' && at_ + 1 < s_.size()) ++at_;
          t.value += s_[at_++];
        }
        if (!more()) return fail("unterminated string");
        ++at_;
      } else {
        // A bare value runs to the bracket: [tlgID=00:1A:2B:3C:4D:5E] works too.
        while (more() && s_[at_] != ']' && !isSpace(s_[at_])) t.value += s_[at_++];
        if (t.value.empty()) return fail("value expected");
      }
      skipSpace();
    }
    if (!more() || s_[at_] != ']') return fail("']' expected");
    ++at_;
    part.tests.push_back(std::move(t));
    return true;
  }

  std::string_view s_;
  std::size_t at_ = 0;
  std::string error_;
};

bool hasClass(std::string_view classes, std::string_view name) {
  std::size_t i = 0;
  while (i < classes.size()) {
    while (i < classes.size() && isSpace(classes[i])) ++i;
    std::size_t start = i;
    while (i < classes.size() && !isSpace(classes[i])) ++i;
    if (i > start && classes.substr(start, i - start) == name) return true;
  }
  return false;
}

bool attributeMatches(const selector::test& t, std::string_view v) {
  switch (t.op) {
    case 0:
      return true;
    case '=':
      return v == t.value;
    case '~':
      return !t.value.empty() && hasClass(v, t.value);
    case '^':
      return !t.value.empty() && v.starts_with(t.value);
    case '$':
      return !t.value.empty() && v.ends_with(t.value);
    case '*':
      return !t.value.empty() && v.find(t.value) != std::string_view::npos;
    case '|':
      return v == t.value ||
             (v.starts_with(t.value) && v.size() > t.value.size() && v[t.value.size()] == '-');
  }
  return false;
}

bool matchesCompound(const selector::compound& part, const element& e, const element& scope) {
  for (const selector::test& t : part.tests) {
    switch (t.kind) {
      case selector::test::tag:
        if (e.tag() != t.name) return false;
        break;
      case selector::test::id: {
        std::optional<std::string_view> id = e.attribute("id");
        if (!id || *id != t.value) return false;
        break;
      }
      case selector::test::cls: {
        std::optional<std::string_view> classes = e.attribute("class");
        if (!classes || !hasClass(*classes, t.value)) return false;
        break;
      }
      case selector::test::attribute: {
        std::optional<std::string_view> v = e.attribute(t.name);
        if (!v || !attributeMatches(t, *v)) return false;
        break;
      }
      case selector::test::root:
        if (&e != &scope) return false;
        break;
      case selector::test::state:
        if (!e.hasState(t.bits)) return false;
        break;
    }
  }
  return true;
}

// The id of the rightmost compound, if it tests one.
const std::string* rightmostId(const selector::complex& c) {
  for (const selector::test& t : c.back().tests) {
    if (t.kind == selector::test::id) return &t.value;
  }
  return nullptr;
}

// How many levels below :root a selector can match: the number of '>' steps when it
// starts at :root and has no descendant combinator, otherwise unlimited.
std::size_t reach(const selector::complex& c) {
  bool anchored =
      std::any_of(c.front().tests.begin(), c.front().tests.end(),
                  [](const selector::test& t) { return t.kind == selector::test::root; });
  if (!anchored) return std::numeric_limits<std::size_t>::max();
  for (std::size_t i = 1; i < c.size(); ++i) {
    if (c[i].combinator != '>') return std::numeric_limits<std::size_t>::max();
  }
  return c.size() - 1;
}

}  // namespace

std::shared_ptr<const selector> selector::compile(std::string_view text) {
  thread_local std::unordered_map<std::string, std::shared_ptr<const selector>> cache;
  std::string key(text);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  if (cache.size() >= 512) cache.clear();

  auto compiled = std::make_shared<selector>();
  selectorParser parser(text);
  std::shared_ptr<const selector> result;
  if (parser.parse(compiled->alternatives_)) {
    result = std::move(compiled);
  } else {
    ZV_REPORT("bad selector \"%s\": %s at %zu", key.c_str(), parser.error().c_str(),
              parser.where());
  }
  cache.emplace(std::move(key), result);
  return result;
}

// Right to left, one '>' chain (a segment) at a time. A segment that matches at more
// than one ancestor is taken at the nearest: that leaves the most ancestors for the
// segments further left, so no backtracking is needed.
bool selector::matchesComplex(const complex& c, const element& e, const element& scope) const {
  auto segment = [&](std::size_t end, const element* at, std::size_t& start) -> const element* {
    for (std::size_t i = end;; --i) {
      if (!at || !matchesCompound(c[i], *at, scope)) return nullptr;
      if (i == 0 || c[i].combinator != '>') {
        start = i;
        return at;
      }
      at = at->parent();
    }
  };
  std::size_t start = 0;
  const element* top = segment(c.size() - 1, &e, start);
  if (!top) return false;
  while (start > 0) {
    const element* found = nullptr;
    std::size_t next = 0;
    for (const element* a = top->parent(); a && !found; a = a->parent()) {
      found = segment(start - 1, a, next);
    }
    if (!found) return false;
    top = found;
    start = next;
  }
  return true;
}

bool selector::matches(const element& e, const element& scope) const {
  for (const complex& c : alternatives_) {
    if (matchesComplex(c, e, scope)) return true;
  }
  return false;
}

void selector::select(element& scope, std::vector<elementRef>& out, bool firstOnly) const {
  document* doc = scope.ownerDocument();
  const std::string* id = alternatives_.size() == 1 ? rightmostId(alternatives_[0]) : nullptr;
  if (id && doc && scope.isConnected()) {
    std::vector<element*> found;
    for (element* e : doc->allById(*id)) {
      if (e != &scope && scope.contains(*e) && matches(*e, scope)) found.push_back(e);
    }
    if (found.size() > 1) std::sort(found.begin(), found.end(), documentOrder);
    for (element* e : found) {
      out.emplace_back(e);
      if (firstOnly) return;
    }
    return;
  }
  // Preorder walk of the descendants, no deeper than a selector anchored at :root by
  // '>' alone (":root>.strip>[panel]") can reach.
  std::size_t limit = 0;
  for (const complex& c : alternatives_) limit = std::max(limit, reach(c));
  std::vector<std::pair<element*, std::size_t>> stack;
  for (std::size_t i = scope.childCount(); i-- > 0;) stack.emplace_back(scope.child(i), 1);
  while (!stack.empty()) {
    auto [e, depth] = stack.back();
    stack.pop_back();
    if (matches(*e, scope)) {
      out.emplace_back(e);
      if (firstOnly) return;
    }
    if (depth >= limit) continue;
    for (std::size_t i = e->childCount(); i-- > 0;) stack.emplace_back(e->child(i), depth + 1);
  }
}

// ---- the element's selector operations

std::vector<elementRef> element::selectAll(std::string_view text) {
  std::vector<elementRef> out;
  if (auto s = selector::compile(text)) s->select(*this, out, false);
  return out;
}

elementRef element::selectFirst(std::string_view text) {
  std::vector<elementRef> out;
  if (auto s = selector::compile(text)) s->select(*this, out, true);
  return out.empty() ? elementRef() : out.front();
}

bool element::matches(std::string_view text) {
  auto s = selector::compile(text);
  const element* top = this;
  while (top->parent_) top = top->parent_;
  return s && s->matches(*this, *top);
}

elementRef element::closest(std::string_view text) {
  auto s = selector::compile(text);
  if (!s) return {};
  const element* top = this;
  while (top->parent_) top = top->parent_;
  for (element* e = this; e; e = e->parent_) {
    if (s->matches(*e, *top)) return e;
  }
  return {};
}

}  // namespace zv
