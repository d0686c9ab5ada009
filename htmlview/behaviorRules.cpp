// Reading behaviour declarations out of style sheets, and the cascade over them.
#include "htmlview/behaviorRules.h"

#include "platform/diagnostics.h"
#include "platform/textConv.h"

#include <algorithm>

namespace zv {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  }
  return out;
}

// A cursor over style sheet text that steps over comments and strings as units.
class cssReader {
 public:
  explicit cssReader(std::string_view css) : s_(css) {}

  bool atEnd() const { return at_ >= s_.size(); }
  char peek() const { return s_[at_]; }
  void step() { ++at_; }

  void skipBlanks() {
    while (!atEnd()) {
      if (isBlank(s_[at_])) {
        ++at_;
      } else if (startsComment()) {
        skipComment();
      } else {
        break;
      }
    }
  }

  // Text up to the first of `stops` outside strings, comments, brackets and braces
  // opened on the way; comments become a blank. Stops before the stop character, or at
  // the end.
  std::string readUntil(std::string_view stops) {
    std::string out;
    int depth = 0;
    while (!atEnd()) {
      char c = s_[at_];
      if (depth == 0 && stops.find(c) != std::string_view::npos) break;
      if (startsComment()) {
        skipComment();
        out += ' ';
        continue;
      }
      if (c == '"' || c == '\'') {
        std::size_t from = at_;
        skipString();
        out.append(s_.substr(from, at_ - from));
        continue;
      }
      if (c == '(' || c == '[' || c == '{') ++depth;
      if ((c == ')' || c == ']' || c == '}') && depth > 0) --depth;
      out += c;
      ++at_;
    }
    return out;
  }

 private:
  bool startsComment() const { return at_ + 1 < s_.size() && s_[at_] == '/' && s_[at_ + 1] == '*'; }
  void skipComment() {
    std::size_t end = s_.find("*/", at_ + 2);
    at_ = end == std::string_view::npos ? s_.size() : end + 2;
  }
  void skipString() {
    char quote = s_[at_++];
    while (!atEnd() && s_[at_] != quote && s_[at_] != '\n') {
      at_ += s_[at_] == '\\' && at_ + 1 < s_.size() ? 2 : 1;
    }
    if (!atEnd() && s_[at_] == quote) ++at_;
  }

  std::string_view s_;
  std::size_t at_ = 0;
};

// Calls `at(i, c)` for each character of `s` that stands outside strings, brackets and
// parentheses.
template <class Visit>
void forEachTopLevel(std::string_view s, Visit at) {
  int depth = 0;
  char quote = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (quote) {
      if (c == '\\') {
        ++i;
      } else if (c == quote) {
        quote = 0;
      }
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '(' || c == '[') {
      ++depth;
    } else if ((c == ')' || c == ']') && depth > 0) {
      --depth;
    } else if (depth == 0) {
      at(i, c);
    }
  }
}

// Splits at `separator` where it stands outside strings, brackets and parentheses.
std::vector<std::string_view> splitTopLevel(std::string_view s, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  forEachTopLevel(s, [&](std::size_t i, char c) {
    if (c != separator) return;
    parts.push_back(s.substr(start, i - start));
    start = i + 1;
  });
  parts.push_back(s.substr(start));
  return parts;
}

// The names of a declaration's value: words separated by blanks or commas, quotes
// taken off, "!important" dropped; "none" is no behaviour.
std::vector<std::string> behaviorNames(std::string_view value) {
  value = value.substr(0, value.find('!'));
  std::vector<std::string> names;
  std::size_t i = 0;
  while (i < value.size()) {
    auto separates = [](char c) { return isBlank(c) || c == ',' || c == '"' || c == '\''; };
    while (i < value.size() && separates(value[i])) ++i;
    std::size_t start = i;
    while (i < value.size() && !separates(value[i])) ++i;
    if (i > start) names.emplace_back(value.substr(start, i - start));
  }
  if (names.size() == 1 && lowerAscii(names[0]) == "none") names.clear();
  return names;
}

bool isBehaviorProperty(std::string_view name) {
  std::string n = lowerAscii(trim(name));
  return n == "behavior" || n == "behaviour";
}

// The last behaviour declaration of a declaration block, if it has one.
std::optional<std::vector<std::string>> blockBehaviors(std::string_view body) {
  std::optional<std::vector<std::string>> found;
  for (std::string_view decl : splitTopLevel(body, ';')) {
    std::size_t colon = decl.find(':');
    if (colon == std::string_view::npos) continue;
    if (isBehaviorProperty(decl.substr(0, colon))) found = behaviorNames(decl.substr(colon + 1));
  }
  return found;
}

// Where the rightmost compound of a single selector starts.
std::size_t rightmostCompound(std::string_view sel) {
  std::size_t start = 0;
  forEachTopLevel(sel, [&](std::size_t i, char c) {
    if (isBlank(c) || c == '>' || c == '+' || c == '~') start = i + 1;
  });
  return start;
}

struct ruleKey {
  char kind = 0;  // '#' id, '.' class, 't' tag, 0 any element
  std::string name;
};

// The id, class or tag that every element matching the selector has, best first.
ruleKey keyOf(std::string_view sel) {
  std::string_view part = sel.substr(rightmostCompound(sel));
  if (part.find('\\') != std::string_view::npos) return {};
  auto nameAt = [&](std::size_t i) {
    std::size_t end = i;
    while (end < part.size() && isNameChar(part[end])) ++end;
    return std::string(part.substr(i, end - i));
  };
  ruleKey tag;
  if (!part.empty() && isNameChar(part[0])) tag = {'t', lowerAscii(nameAt(0))};
  ruleKey cls;
  int depth = 0;
  for (std::size_t i = 0; i < part.size(); ++i) {
    char c = part[i];
    if (c == '[' || c == '(') ++depth;
    if ((c == ']' || c == ')') && depth > 0) --depth;
    if (depth > 0 || i + 1 >= part.size()) continue;
    if (c == '#') {
      std::string id = nameAt(i + 1);
      if (!id.empty()) return {'#', id};
    }
    if (c == '.' && cls.kind == 0) {
      std::string name = nameAt(i + 1);
      if (!name.empty()) cls = {'.', name};
    }
  }
  return cls.kind ? cls : tag;
}

constexpr std::uint64_t authorOrigin = std::uint64_t(1) << 63;

}  // namespace

std::vector<behaviorDeclaration> readBehaviorDeclarations(std::string_view css) {
  std::vector<behaviorDeclaration> out;
  cssReader r(css);
  while (true) {
    r.skipBlanks();
    if (r.atEnd()) break;
    char c = r.peek();
    if (c == '}' || c == ';') {
      r.step();  // stray
      continue;
    }
    if (c == '@') {
      // @import, @media, @font-face …: nothing here names behaviours.
      r.readUntil(";{");
      if (!r.atEnd() && r.peek() == '{') {
        r.step();
        r.readUntil("}");
      }
      if (!r.atEnd()) r.step();
      continue;
    }
    std::string prelude = r.readUntil("{");
    if (r.atEnd()) break;
    r.step();
    std::string body = r.readUntil("}");
    if (!r.atEnd()) r.step();
    std::optional<std::vector<std::string>> names = blockBehaviors(body);
    if (!names) continue;
    behaviorDeclaration d;
    for (std::string_view sel : splitTopLevel(prelude, ',')) {
      sel = trim(sel);
      if (!sel.empty()) d.selectors.emplace_back(sel);
    }
    d.names = std::move(*names);
    if (!d.selectors.empty()) out.push_back(std::move(d));
  }
  return out;
}

std::uint32_t selectorSpecificity(std::string_view sel) {
  std::uint32_t ids = 0;
  std::uint32_t classes = 0;
  std::uint32_t types = 0;
  bool compoundStart = true;
  for (std::size_t i = 0; i < sel.size(); ++i) {
    char c = sel[i];
    if (c == '[') {
      ++classes;
      // Past the attribute test, strings included.
      char quote = 0;
      for (++i; i < sel.size(); ++i) {
        if (quote) {
          if (sel[i] == '\\') {
            ++i;
          } else if (sel[i] == quote) {
            quote = 0;
          }
        } else if (sel[i] == '"' || sel[i] == '\'') {
          quote = sel[i];
        } else if (sel[i] == ']') {
          break;
        }
      }
      compoundStart = false;
    } else if (c == '#' || c == '.' || c == ':') {
      (c == '#' ? ids : classes) += 1;
      while (i + 1 < sel.size() && (isNameChar(sel[i + 1]) || sel[i + 1] == '\\')) {
        i += sel[i + 1] == '\\' ? 2 : 1;
      }
      compoundStart = false;
    } else if (isBlank(c) || c == '>' || c == '+' || c == '~') {
      compoundStart = true;
    } else if (compoundStart && isNameChar(c)) {
      ++types;
      while (i + 1 < sel.size() && isNameChar(sel[i + 1])) ++i;
      compoundStart = false;
    } else {
      compoundStart = false;  // '*'
    }
  }
  auto field = [](std::uint32_t n) { return std::min<std::uint32_t>(n, 1023); };
  return field(ids) << 20 | field(classes) << 10 | field(types);
}

behaviorRules::behaviorRules() {
  addSheet(builtInSheet, false);
}

void behaviorRules::addSheet(std::string_view css) {
  addSheet(css, true);
}

void behaviorRules::addSheet(std::string_view css, bool author) {
  for (behaviorDeclaration& d : readBehaviorDeclarations(css)) {
    for (const std::string& text : d.selectors) {
      std::shared_ptr<const selector> compiled = selector::compile(text);
      if (!compiled) {
        logMessage("behaviour rule left out, its selector is not supported: %s", text.c_str());
        continue;
      }
      std::uint64_t rank =
          (author ? authorOrigin : 0) | std::uint64_t(selectorSpecificity(text)) << 32 | ++order_;
      file(rule{std::move(compiled), d.names, rank}, text);
    }
  }
}

void behaviorRules::file(rule r, std::string_view selectorText) {
  std::size_t at = rules_.size();
  rules_.push_back(std::move(r));
  ruleKey key = keyOf(selectorText);
  switch (key.kind) {
    case '#':
      byId_[key.name].push_back(at);
      break;
    case '.':
      byClass_[key.name].push_back(at);
      break;
    case 't':
      byTag_[key.name].push_back(at);
      break;
    default:
      others_.push_back(at);
  }
}

std::vector<std::string> behaviorRules::namesFor(const element& e, const element& scope) const {
  if (e.hasAttribute("style")) {
    for (const char* property : {"behavior", "behaviour"}) {
      std::string inlineValue = e.style(property);
      if (!inlineValue.empty()) return behaviorNames(inlineValue);
    }
  }
  const rule* best = nullptr;
  auto consider = [&](const std::vector<std::size_t>& candidates) {
    for (std::size_t i : candidates) {
      const rule& r = rules_[i];
      if (best && r.rank <= best->rank) continue;
      if (r.compiled->matches(e, scope)) best = &r;
    }
  };
  auto lookIn = [&](const auto& index, const std::string& name) {
    auto it = index.find(name);
    if (it != index.end()) consider(it->second);
  };
  if (std::optional<std::string_view> id = e.attribute("id")) lookIn(byId_, std::string(*id));
  if (std::optional<std::string_view> classes = e.attribute("class")) {
    std::string_view rest = *classes;
    while (!rest.empty()) {
      while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
      std::size_t end = 0;
      while (end < rest.size() && !isBlank(rest[end])) ++end;
      if (end > 0) lookIn(byClass_, std::string(rest.substr(0, end)));
      rest.remove_prefix(end);
    }
  }
  lookIn(byTag_, e.tag());
  consider(others_);
  return best ? best->names : std::vector<std::string>{};
}

}  // namespace zv
