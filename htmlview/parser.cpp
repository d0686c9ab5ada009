// The reader of the engine's HTML dialect (see parser.h for the rules).
#include "htmlview/parser.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>

namespace zv {
namespace {

bool isAsciiAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
char lower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}
bool isNameChar(char c) {
  return isAsciiAlpha(c) || isAsciiDigit(c) || c == '-' || c == '_' || c == ':' || c == '.';
}

bool oneOf(std::string_view tag, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), tag) != names.end();
}

bool isVoidTag(std::string_view tag) {
  return oneOf(tag, {"area", "base", "basefont", "br", "col", "embed", "frame", "hr", "img",
                     "input", "keygen", "link", "meta", "param", "source", "track", "wbr"});
}

// Start tags that end an open p.
bool closesParagraph(std::string_view tag) {
  return oneOf(
      tag, {"address", "article", "aside",    "blockquote", "center", "details",  "dialog", "dir",
            "div",     "dl",      "fieldset", "figcaption", "figure", "footer",   "form",   "h1",
            "h2",      "h3",      "h4",       "h5",         "h6",     "header",   "hgroup", "hr",
            "li",      "dd",      "dt",       "main",       "menu",   "nav",      "ol",     "p",
            "pre",     "section", "summary",  "table",      "ul",     "plaintext"});
}

struct entity {
  std::string_view name;
  char32_t code;
};

// The named entities the documents use, and the common rest of HTML 4.
constexpr entity entities[] = {
    {"AElig", 0xC6},    {"Aacute", 0xC1},   {"Agrave", 0xC0},   {"Auml", 0xC4},
    {"Ccedil", 0xC7},   {"Eacute", 0xC9},   {"Ouml", 0xD6},     {"Uuml", 0xDC},
    {"aacute", 0xE1},   {"acirc", 0xE2},    {"acute", 0xB4},    {"aelig", 0xE6},
    {"agrave", 0xE0},   {"amp", 0x26},      {"apos", 0x27},     {"aring", 0xE5},
    {"auml", 0xE4},     {"bdquo", 0x201E},  {"brvbar", 0xA6},   {"bull", 0x2022},
    {"ccedil", 0xE7},   {"cedil", 0xB8},    {"cent", 0xA2},     {"copy", 0xA9},
    {"curren", 0xA4},   {"dagger", 0x2020}, {"darr", 0x2193},   {"deg", 0xB0},
    {"divide", 0xF7},   {"eacute", 0xE9},   {"ecirc", 0xEA},    {"egrave", 0xE8},
    {"emsp", 0x2003},   {"ensp", 0x2002},   {"euml", 0xEB},     {"euro", 0x20AC},
    {"frac12", 0xBD},   {"frac14", 0xBC},   {"frac34", 0xBE},   {"gt", 0x3E},
    {"harr", 0x2194},   {"hellip", 0x2026}, {"iacute", 0xED},   {"iexcl", 0xA1},
    {"iquest", 0xBF},   {"iuml", 0xEF},     {"laquo", 0xAB},    {"larr", 0x2190},
    {"ldquo", 0x201C},  {"lrm", 0x200E},    {"lsaquo", 0x2039}, {"lsquo", 0x2018},
    {"lt", 0x3C},       {"macr", 0xAF},     {"mdash", 0x2014},  {"micro", 0xB5},
    {"middot", 0xB7},   {"minus", 0x2212},  {"nbsp", 0xA0},     {"ndash", 0x2013},
    {"not", 0xAC},      {"ntilde", 0xF1},   {"oacute", 0xF3},   {"ocirc", 0xF4},
    {"ograve", 0xF2},   {"ordf", 0xAA},     {"ordm", 0xBA},     {"ouml", 0xF6},
    {"para", 0xB6},     {"permil", 0x2030}, {"plusmn", 0xB1},   {"pound", 0xA3},
    {"prime", 0x2032},  {"quot", 0x22},     {"raquo", 0xBB},    {"rarr", 0x2192},
    {"rdquo", 0x201D},  {"reg", 0xAE},      {"rlm", 0x200F},    {"rsaquo", 0x203A},
    {"rsquo", 0x2019},  {"sbquo", 0x201A},  {"sect", 0xA7},     {"shy", 0xAD},
    {"sup1", 0xB9},     {"sup2", 0xB2},     {"sup3", 0xB3},     {"szlig", 0xDF},
    {"thinsp", 0x2009}, {"times", 0xD7},    {"trade", 0x2122},  {"uacute", 0xFA},
    {"uarr", 0x2191},   {"uuml", 0xFC},     {"yen", 0xA5},      {"zwj", 0x200D},
    {"zwnj", 0x200C},   {"ucirc", 0xFB},
};

const entity* findEntity(std::string_view name) {
  for (const entity& e : entities) {
    if (e.name == name) return &e;
  }
  return nullptr;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

// Decodes the entity at text[0] == '&'; returns the characters used, 0 if none.
std::size_t decodeEntityAt(std::string_view text, std::string& out) {
  if (text.size() < 3) return 0;
  if (text[1] == '#') {
    bool hex = text[2] == 'x' || text[2] == 'X';
    std::size_t i = hex ? 3 : 2;
    std::size_t start = i;
    char32_t code = 0;
    for (; i < text.size(); ++i) {
      char c = text[i];
      int digit = isAsciiDigit(c)               ? c - '0'
                  : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                : -1;
      if (digit < 0) break;
      if (code <= 0x10FFFF) code = code * (hex ? 16 : 10) + char32_t(digit);
    }
    if (i == start) return 0;
    if (i < text.size() && text[i] == ';') ++i;
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    appendUtf8(out, code);
    return i;
  }
  std::size_t i = 1;
  while (i < text.size() && i <= 32 && (isAsciiAlpha(text[i]) || isAsciiDigit(text[i]))) ++i;
  if (i == 1 || i >= text.size() || text[i] != ';') return 0;
  const entity* e = findEntity(text.substr(1, i - 1));
  if (!e) return 0;
  appendUtf8(out, e->code);
  return i + 1;
}

// Builds the tree with a stack of open elements; never recurses.
class treeBuilder {
 public:
  treeBuilder(document& doc, std::string_view html) : doc_(doc), in_(sanitizeUtf8(html)) {}
  htmlFragment run();

 private:
  void text(std::string_view run);
  void startTag();
  void endTag();
  void skipPast(std::string_view terminator);
  std::string readRawText(std::string_view tag);
  void append(elementRef e);
  void closeNearest(std::initializer_list<std::string_view> targets,
                    std::initializer_list<std::string_view> boundaries);
  void popTo(std::size_t index);
  void push(element* e);
  // How many open elements have a tag that ends by itself (0 for other tags).
  int& openCount(std::string_view tag);
  std::string& currentText();

  document& doc_;
  std::string in_;
  std::size_t pos_ = 0;
  std::vector<element*> open_;
  htmlFragment out_;
  static constexpr std::string_view counted_[] = {"p",  "li", "dt", "dd",    "option", "optgroup",
                                                  "tr", "td", "th", "thead", "tbody",  "tfoot"};
  int counts_[std::size(counted_) + 1] = {};
};

int& treeBuilder::openCount(std::string_view tag) {
  for (std::size_t i = 0; i < std::size(counted_); ++i) {
    if (counted_[i] == tag) return counts_[i];
  }
  return counts_[std::size(counted_)];
}

void treeBuilder::push(element* e) {
  open_.push_back(e);
  ++openCount(e->tag());
}

void treeBuilder::popTo(std::size_t index) {
  while (open_.size() > index) {
    --openCount(open_.back()->tag());
    open_.pop_back();
  }
}

}  // namespace

// The builder sets the new, not yet connected elements' fields directly.
class htmlTreeBuilder {
 public:
  static void adopt(element& parent, elementRef child, std::string& pendingText) {
    child->before_ = std::move(pendingText);
    pendingText.clear();
    child->parent_ = &parent;
    child->index_ = parent.kids_.size();
    parent.kids_.push_back(std::move(child));
  }
  static void setText(element& e, std::string text) { e.trailing_ = std::move(text); }
  static std::string& trailing(element& e) { return e.trailing_; }
  static std::string& before(element& e) { return e.before_; }
  static void addAttribute(element& e, std::string name, std::string value) {
    for (const auto& a : e.attrs_) {
      if (a.first.size() == name.size() &&
          std::equal(a.first.begin(), a.first.end(), name.begin(),
                     [](char x, char y) { return lower(x) == lower(y); }))
        return;  // the first one counts
    }
    e.attrs_.emplace_back(std::move(name), std::move(value));
  }
  static void setStates(element& e, std::uint32_t s) { e.states_ |= s; }
};

namespace {

std::string& treeBuilder::currentText() {
  return open_.empty() ? out_.trailing : htmlTreeBuilder::trailing(*open_.back());
}

htmlFragment treeBuilder::run() {
  const std::size_t n = in_.size();
  while (pos_ < n) {
    if (in_[pos_] != '<') {
      std::size_t end = in_.find('<', pos_);
      if (end == std::string::npos) end = n;
      text(std::string_view(in_).substr(pos_, end - pos_));
      pos_ = end;
      continue;
    }
    char next = pos_ + 1 < n ? in_[pos_ + 1] : '\0';
    if (isAsciiAlpha(next)) {
      startTag();
    } else if (next == '/' && pos_ + 2 < n && isAsciiAlpha(in_[pos_ + 2])) {
      endTag();
    } else if (next == '/' && pos_ + 2 < n && in_[pos_ + 2] == '>') {
      pos_ += 3;
    } else if (next == '!' && in_.compare(pos_, 4, "<!--") == 0) {
      pos_ += 4;
      skipPast("-->");
    } else if (next == '!' || next == '?') {
      skipPast(">");
    } else {
      text("<");
      ++pos_;
    }
  }
  return std::move(out_);
}

void treeBuilder::skipPast(std::string_view terminator) {
  std::size_t end = in_.find(terminator, pos_);
  pos_ = end == std::string::npos ? in_.size() : end + terminator.size();
}

void treeBuilder::text(std::string_view run) {
  std::string& out = currentText();
  for (std::size_t i = 0; i < run.size();) {
    std::size_t amp = run.find('&', i);
    if (amp == std::string_view::npos) {
      out.append(run.substr(i));
      break;
    }
    out.append(run.substr(i, amp - i));
    std::size_t used = decodeEntityAt(run.substr(amp), out);
    if (used == 0) {
      out += '&';
      used = 1;
    }
    i = amp + used;
  }
}

void treeBuilder::append(elementRef e) {
  if (open_.empty()) {
    htmlTreeBuilder::before(*e) = std::move(out_.trailing);
    out_.trailing.clear();
    out_.children.push_back(std::move(e));
  } else {
    element& parent = *open_.back();
    htmlTreeBuilder::adopt(parent, std::move(e), htmlTreeBuilder::trailing(parent));
  }
}

// Closes the nearest open element named in `targets` unless one of `boundaries` (or
// the bottom of the stack) comes first.
void treeBuilder::closeNearest(std::initializer_list<std::string_view> targets,
                               std::initializer_list<std::string_view> boundaries) {
  bool anyOpen = false;
  for (std::string_view t : targets) anyOpen = anyOpen || openCount(t) > 0;
  if (!anyOpen) return;
  for (std::size_t i = open_.size(); i-- > 0;) {
    const std::string& tag = open_[i]->tag();
    if (oneOf(tag, targets)) {
      popTo(i);
      return;
    }
    if (oneOf(tag, boundaries)) return;
  }
}

// Content of a raw text element up to its end tag, which is consumed.
std::string treeBuilder::readRawText(std::string_view tag) {
  const std::size_t n = in_.size();
  std::size_t search = pos_;
  while (true) {
    std::size_t lt = in_.find("</", search);
    if (lt == std::string::npos) break;
    std::size_t after = lt + 2 + tag.size();
    bool nameMatches = after <= n && std::equal(tag.begin(), tag.end(), in_.begin() + lt + 2,
                                                [](char t, char c) { return t == lower(c); });
    if (nameMatches &&
        (after == n || isSpace(in_[after]) || in_[after] == '/' || in_[after] == '>')) {
      std::string content = in_.substr(pos_, lt - pos_);
      pos_ = after;
      skipPast(">");
      return content;
    }
    search = lt + 2;
  }
  std::string content = in_.substr(pos_);
  pos_ = n;
  return content;
}

void treeBuilder::startTag() {
  const std::size_t n = in_.size();
  std::size_t i = pos_ + 1;
  std::string tag;
  while (i < n && isNameChar(in_[i])) tag += lower(in_[i++]);
  elementRef e = doc_.createElement(tag);
  bool selfClosing = false;
  while (true) {
    while (i < n && (isSpace(in_[i]) || in_[i] == '/')) {
      if (in_[i] == '/' && i + 1 < n && in_[i + 1] == '>') selfClosing = true;
      ++i;
    }
    if (i >= n) {
      pos_ = n;  // a tag cut off by the end of the input is dropped
      return;
    }
    if (in_[i] == '>') {
      ++i;
      break;
    }
    std::size_t nameStart = i++;
    while (i < n && !isSpace(in_[i]) && in_[i] != '/' && in_[i] != '>' && in_[i] != '=') ++i;
    std::string name = in_.substr(nameStart, i - nameStart);
    std::size_t j = i;
    while (j < n && isSpace(in_[j])) ++j;
    std::string value;
    if (j < n && in_[j] == '=') {
      ++j;
      while (j < n && isSpace(in_[j])) ++j;
      std::size_t start = j;
      if (j < n && (in_[j] == '"' || in_[j] == '\'')) {
        char quote = in_[j++];
        start = j;
        while (j < n && in_[j] != quote) ++j;
        value = decodeEntities(std::string_view(in_).substr(start, j - start));
        if (j < n) ++j;
      } else {
        while (j < n && !isSpace(in_[j]) && in_[j] != '>') ++j;
        value = decodeEntities(std::string_view(in_).substr(start, j - start));
      }
      i = j;
    }
    bool validName = isAsciiAlpha(name[0]) || name[0] == '_' || name[0] == ':';
    for (char c : name) validName = validName && isNameChar(c);
    if (validName) htmlTreeBuilder::addAttribute(*e, std::move(name), std::move(value));
  }
  pos_ = i;

  for (std::size_t a = 0; a < e->attributeCount(); ++a) {
    std::string name;
    for (char c : e->attributeName(a)) name += lower(c);
    if (name == "checked") htmlTreeBuilder::setStates(*e, stateChecked);
    if (name == "disabled") htmlTreeBuilder::setStates(*e, stateDisabled);
    if (name == "readonly") htmlTreeBuilder::setStates(*e, stateReadonly);
  }

  // Elements that end by themselves where the next one starts.
  if (closesParagraph(tag)) {
    closeNearest({"p"}, {"table", "td", "th", "caption", "button", "object", "marquee", "applet",
                         "template", "html"});
  }
  if (tag == "li") closeNearest({"li"}, {"ul", "ol", "menu", "dir", "table"});
  if (tag == "dt" || tag == "dd") closeNearest({"dt", "dd"}, {"dl", "table"});
  if (tag == "option" || tag == "optgroup") {
    closeNearest({"option"}, {"select", "datalist", "optgroup", "table"});
  }
  if (tag == "optgroup") closeNearest({"optgroup"}, {"select", "table"});
  if (tag == "tr") closeNearest({"tr"}, {"table", "thead", "tbody", "tfoot"});
  if (tag == "td" || tag == "th") closeNearest({"td", "th"}, {"tr", "table"});
  if (tag == "thead" || tag == "tbody" || tag == "tfoot") {
    closeNearest({"thead", "tbody", "tfoot"}, {"table"});
  }

  element* added = e.get();
  if (isVoidTag(tag) || selfClosing) {
    append(std::move(e));
  } else if (isRawTextTag(tag)) {
    append(std::move(e));
    htmlTreeBuilder::setText(*added, readRawText(tag));
  } else if (tag == "textarea" || tag == "title") {
    append(std::move(e));
    htmlTreeBuilder::setText(*added, decodeEntities(readRawText(tag)));
  } else if (open_.size() < maxNestingDepth) {
    append(std::move(e));
    push(added);
  }
  // Deeper than the limit the tag is dropped and its content joins the deepest element.
}

void treeBuilder::endTag() {
  const std::size_t n = in_.size();
  std::size_t i = pos_ + 2;
  std::string tag;
  while (i < n && isNameChar(in_[i])) tag += lower(in_[i++]);
  pos_ = i;
  skipPast(">");
  for (std::size_t k = open_.size(); k-- > 0;) {
    if (open_[k]->tag() == tag) {
      popTo(k);
      return;
    }
  }
}

}  // namespace

htmlFragment parseHtml(document& doc, std::string_view html) {
  return treeBuilder(doc, html).run();
}

std::string decodeEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t amp = text.find('&', i);
    if (amp == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, amp - i));
    std::size_t used = decodeEntityAt(text.substr(amp), out);
    if (used == 0) {
      out += '&';
      used = 1;
    }
    i = amp + used;
  }
  return out;
}

std::string sanitizeUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n;) {
    unsigned char c = p[i];
    if (c < 0x80) {
      out += char(c);
      ++i;
      continue;
    }
    std::size_t len = c >= 0xC2 && c <= 0xDF   ? 2
                      : c >= 0xE0 && c <= 0xEF ? 3
                      : c >= 0xF0 && c <= 0xF4 ? 4
                                               : 0;
    bool ok = len != 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) ok = (p[i + k] & 0xC0) == 0x80;
    if (ok && len == 3) {
      // No overlong forms and no surrogates.
      ok = !(c == 0xE0 && p[i + 1] < 0xA0) && !(c == 0xED && p[i + 1] >= 0xA0);
    }
    if (ok && len == 4) ok = !(c == 0xF0 && p[i + 1] < 0x90) && !(c == 0xF4 && p[i + 1] >= 0x90);
    if (!ok) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    out.append(bytes.substr(i, len));
    i += len;
  }
  return out;
}

}  // namespace zv
