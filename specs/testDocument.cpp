#include "specs/testDocument.h"

#include <algorithm>
#include <functional>

namespace zv::test {

struct testDocument::node {
  std::string tag;      // lower case; empty for a text node
  std::u16string text;  // a text node's text
  std::vector<std::pair<std::string, std::u16string>> attributes;
  std::vector<std::unique_ptr<node>> children;
  node* parent = nullptr;
  std::optional<std::u16string> typed;  // a field's value set by the user or the library
  uint32_t state = 0;

  const std::u16string* attribute(std::string_view name) const {
    for (const auto& [key, value] : attributes)
      if (key == name) return &value;
    return nullptr;
  }
  void setAttribute(std::string_view name, std::u16string_view value) {
    for (auto& [key, existing] : attributes)
      if (key == name) {
        existing = value;
        return;
      }
    attributes.emplace_back(std::string(name), std::u16string(value));
  }
  void removeAttribute(std::string_view name) {
    std::erase_if(attributes, [&](const auto& entry) { return entry.first == name; });
  }
};

namespace {

using node = testDocument::node;

std::string lower(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out.push_back(c >= u'A' && c <= u'Z' ? char(c + 32) : char(c));
  return out;
}

std::u16string widen(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

std::u16string decodeEntities(std::u16string_view text) {
  static const std::pair<std::u16string_view, char16_t> names[] = {
      {u"&amp;", u'&'},  {u"&lt;", u'<'},    {u"&gt;", u'>'},
      {u"&quot;", u'"'}, {u"&apos;", u'\''}, {u"&nbsp;", 0xA0}};
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    if (text[i] == u'&') {
      for (const auto& [name, c] : names)
        if (text.substr(i, name.size()) == name) {
          out.push_back(c);
          i += name.size();
          replaced = true;
          break;
        }
    }
    if (!replaced) out.push_back(text[i++]);
  }
  return out;
}

bool isVoid(const std::string& tag) {
  return tag == "input" || tag == "br" || tag == "img" || tag == "hr" || tag == "meta";
}

bool isSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Parses `html` into children of `parent`.
void parseInto(node* parent, std::u16string_view html) {
  std::vector<node*> open{parent};
  size_t i = 0;
  auto append = [&](std::unique_ptr<node> child) {
    child->parent = open.back();
    node* made = child.get();
    open.back()->children.push_back(std::move(child));
    return made;
  };
  while (i < html.size()) {
    if (html[i] != u'<') {
      size_t end = html.find(u'<', i);
      if (end == std::u16string_view::npos) end = html.size();
      auto text = std::make_unique<node>();
      text->text = decodeEntities(html.substr(i, end - i));
      append(std::move(text));
      i = end;
      continue;
    }
    if (html.substr(i, 4) == u"<!--") {
      size_t end = html.find(u"-->", i);
      i = end == std::u16string_view::npos ? html.size() : end + 3;
      continue;
    }
    if (html.substr(i, 2) == u"</") {
      size_t end = html.find(u'>', i);
      if (end == std::u16string_view::npos) end = html.size();
      std::string tag = lower(html.substr(i + 2, end - i - 2));
      for (size_t depth = open.size(); depth > 1; --depth)
        if (open[depth - 1]->tag == tag) {
          open.resize(depth - 1);
          break;
        }
      i = end + 1;
      continue;
    }
    size_t j = i + 1;
    while (j < html.size() && !isSpace(html[j]) && html[j] != u'>' && html[j] != u'/') ++j;
    auto element = std::make_unique<node>();
    element->tag = lower(html.substr(i + 1, j - i - 1));
    bool selfClosed = false;
    while (j < html.size() && html[j] != u'>') {
      if (isSpace(html[j])) {
        ++j;
        continue;
      }
      if (html[j] == u'/') {
        selfClosed = true;
        ++j;
        continue;
      }
      size_t nameEnd = j;
      while (nameEnd < html.size() && !isSpace(html[nameEnd]) && html[nameEnd] != u'=' &&
             html[nameEnd] != u'>' && html[nameEnd] != u'/')
        ++nameEnd;
      std::string name = lower(html.substr(j, nameEnd - j));
      std::u16string value;
      j = nameEnd;
      if (j < html.size() && html[j] == u'=') {
        ++j;
        if (j < html.size() && (html[j] == u'"' || html[j] == u'\'')) {
          char16_t quote = html[j];
          size_t end = html.find(quote, j + 1);
          if (end == std::u16string_view::npos) end = html.size();
          value = decodeEntities(html.substr(j + 1, end - j - 1));
          j = end + 1;
        } else {
          size_t end = j;
          while (end < html.size() && !isSpace(html[end]) && html[end] != u'>') ++end;
          value = decodeEntities(html.substr(j, end - j));
          j = end;
        }
      }
      element->attributes.emplace_back(name, value);
    }
    i = j + 1;
    if (element->attribute("checked")) element->state |= ZV_STATE_CHECKED;
    if (element->attribute("disabled")) element->state |= ZV_STATE_DISABLED;
    // An option ends the option before it.
    if (element->tag == "option" && open.back()->tag == "option") open.pop_back();
    std::string tag = element->tag;
    node* made = append(std::move(element));
    if (!selfClosed && !isVoid(tag)) open.push_back(made);
  }
}

std::u16string textOf(const node& n) {
  if (n.tag.empty()) return n.text;
  std::u16string text;
  for (const auto& child : n.children) text += textOf(*child);
  return text;
}

void forEachBelow(const node& n, const std::function<bool(const node&)>& visit) {
  for (const auto& child : n.children) {
    if (child->tag.empty()) continue;
    if (!visit(*child)) return;
    forEachBelow(*child, visit);
  }
}

std::vector<node*> options(const node& select) {
  std::vector<node*> found;
  forEachBelow(select, [&](const node& n) {
    if (n.tag == "option") found.push_back(const_cast<node*>(&n));
    return true;
  });
  return found;
}

std::u16string optionValue(const node& option) {
  const std::u16string* value = option.attribute("value");
  return value ? *value : textOf(option);
}

std::u16string valueOf(const node& n) {
  const std::u16string* type = n.attribute("type");
  if (n.tag == "input" && type && (*type == u"checkbox" || *type == u"radio"))
    return n.state & ZV_STATE_CHECKED ? u"on" : u"";
  if (n.tag == "select") {
    std::vector<node*> all = options(n);
    for (node* option : all)
      if (option->attribute("selected")) return optionValue(*option);
    return all.empty() ? u"" : optionValue(*all.front());
  }
  if (n.typed) return *n.typed;
  if (n.tag == "input") {
    const std::u16string* value = n.attribute("value");
    return value ? *value : u"";
  }
  return textOf(n);
}

bool setValueOf(node& n, std::u16string_view value) {
  const std::u16string* type = n.attribute("type");
  if (n.tag == "input" && type && (*type == u"checkbox" || *type == u"radio")) {
    n.state = value == u"on" ? n.state | ZV_STATE_CHECKED : n.state & ~ZV_STATE_CHECKED;
    return true;
  }
  if (n.tag == "select") {
    std::vector<node*> all = options(n);
    auto match = std::find_if(all.begin(), all.end(),
                              [&](node* option) { return optionValue(*option) == value; });
    if (match == all.end()) return false;
    for (node* option : all) option->removeAttribute("selected");
    (*match)->setAttribute("selected", u"");
    return true;
  }
  n.typed = std::u16string(value);
  return true;
}

// One compound selector: tag, #id, .class and [attr] / [attr=value] parts.
struct compound {
  std::string tag;
  std::string id;
  std::vector<std::string> classes;
  std::vector<std::pair<std::string, std::optional<std::string>>> attributes;

  bool matches(const node& n) const {
    if (!tag.empty() && n.tag != tag) return false;
    if (!id.empty()) {
      const std::u16string* value = n.attribute("id");
      if (!value || *value != widen(id)) return false;
    }
    for (const std::string& name : classes) {
      const std::u16string* value = n.attribute("class");
      if (!value) return false;
      std::u16string padded = u" " + *value + u" ";
      if (padded.find(u" " + widen(name) + u" ") == std::u16string::npos) return false;
    }
    for (const auto& [name, expected] : attributes) {
      const std::u16string* value = n.attribute(name);
      if (!value || (expected && *value != widen(*expected))) return false;
    }
    return true;
  }
};

compound parseCompound(std::string_view text) {
  compound c;
  size_t i = 0;
  auto word = [&]() {
    size_t start = i;
    while (i < text.size() && text[i] != '#' && text[i] != '.' && text[i] != '[') ++i;
    return std::string(text.substr(start, i - start));
  };
  c.tag = word();
  while (i < text.size()) {
    char kind = text[i++];
    if (kind == '#') {
      c.id = word();
    } else if (kind == '.') {
      c.classes.push_back(word());
    } else {
      size_t end = text.find(']', i);
      std::string_view inside = text.substr(i, end - i);
      i = end + 1;
      size_t equals = inside.find('=');
      if (equals == std::string_view::npos) {
        c.attributes.emplace_back(std::string(inside), std::nullopt);
      } else {
        std::string value(inside.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\''))
          value = value.substr(1, value.size() - 2);
        c.attributes.emplace_back(std::string(inside.substr(0, equals)), value);
      }
    }
  }
  for (char& ch : c.tag) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  return c;
}

// A selector list; each selector is compounds joined by descendant combinators.
bool matchesSelector(const node& n, std::string_view selector) {
  size_t start = 0;
  while (start <= selector.size()) {
    size_t comma = selector.find(',', start);
    std::string_view one = selector.substr(start, comma - start);
    std::vector<compound> parts;
    size_t i = 0;
    while (i < one.size()) {
      while (i < one.size() && one[i] == ' ') ++i;
      size_t end = one.find(' ', i);
      if (end == std::string_view::npos) end = one.size();
      if (end > i) parts.push_back(parseCompound(one.substr(i, end - i)));
      i = end;
    }
    if (!parts.empty() && parts.back().matches(n)) {
      const node* ancestor = n.parent;
      size_t k = parts.size() - 1;
      while (k > 0 && ancestor) {
        if (parts[k - 1].matches(*ancestor)) --k;
        ancestor = ancestor->parent;
      }
      if (k == 0) return true;
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return false;
}

node* asNode(zvElement element) {
  return reinterpret_cast<node*>(element);
}
zvElement asElement(const node* n) {
  return reinterpret_cast<zvElement>(const_cast<node*>(n));
}

long copyOut(const std::u16string& text, uint16_t* buffer, size_t capacity) {
  if (buffer && capacity > 0) {
    size_t count = std::min(text.size(), capacity - 1);
    for (size_t i = 0; i < count; ++i) buffer[i] = uint16_t(text[i]);
    buffer[count] = 0;
  }
  return long(text.size());
}

std::u16string fromText(const zvText& text) {
  return text.units ? std::u16string(text.units, text.units + text.length) : std::u16string();
}

}  // namespace

testDocument::testDocument() : root_(std::make_unique<node>()) {
  root_->tag = "html";
  host_.abiVersion = ZV_SPEC_ABI_VERSION;
  host_.context = this;
  host_.selectFirst = [](void* context, zvElement root, const char* selector) -> zvElement {
    auto* self = static_cast<testDocument*>(context);
    const node* scope = root ? asNode(root) : self->root_.get();
    const node* found = nullptr;
    forEachBelow(*scope, [&](const node& n) {
      if (matchesSelector(n, selector)) found = &n;
      return found == nullptr;
    });
    return asElement(found);
  };
  host_.selectAll = [](void* context, zvElement root, const char* selector, zvElement* found,
                       size_t capacity) -> size_t {
    auto* self = static_cast<testDocument*>(context);
    const node* scope = root ? asNode(root) : self->root_.get();
    size_t count = 0;
    forEachBelow(*scope, [&](const node& n) {
      if (matchesSelector(n, selector)) {
        if (count < capacity) found[count] = asElement(&n);
        ++count;
      }
      return true;
    });
    return count;
  };
  host_.getAttribute = [](void*, zvElement element, const char* name, uint16_t* buffer,
                          size_t capacity) -> long {
    const std::u16string* value = asNode(element)->attribute(name);
    return value ? copyOut(*value, buffer, capacity) : -1;
  };
  host_.setAttribute = [](void*, zvElement element, const char* name, const zvText* value) {
    if (value)
      asNode(element)->setAttribute(name, fromText(*value));
    else
      asNode(element)->removeAttribute(name);
    return 1;
  };
  host_.getValue = [](void*, zvElement element, uint16_t* buffer, size_t capacity) -> long {
    return copyOut(valueOf(*asNode(element)), buffer, capacity);
  };
  host_.setValue = [](void*, zvElement element, zvText value) {
    return setValueOf(*asNode(element), fromText(value)) ? 1 : 0;
  };
  host_.getText = [](void*, zvElement element, uint16_t* buffer, size_t capacity) -> long {
    return copyOut(textOf(*asNode(element)), buffer, capacity);
  };
  host_.setInnerHtml = [](void*, zvElement element, zvText html) {
    node* n = asNode(element);
    n->children.clear();
    n->typed.reset();
    parseInto(n, fromText(html));
    return 1;
  };
  host_.getState = [](void*, zvElement element) { return asNode(element)->state; };
  host_.setState = [](void*, zvElement element, uint32_t set, uint32_t clear) {
    asNode(element)->state = (asNode(element)->state & ~clear) | set;
    return 1;
  };
  host_.copyDisplayParameters = [](void* context, const char* key) {
    auto* self = static_cast<testDocument*>(context);
    self->copyRequests.emplace_back(key);
    return self->copyAnswer;
  };
}

testDocument::~testDocument() = default;

void testDocument::load(std::u16string_view html) {
  root_->children.clear();
  parseInto(root_.get(), html);
}

zvElement testDocument::element(const char* selector) const {
  return host_.selectFirst(host_.context, nullptr, selector);
}

std::u16string testDocument::value(const char* selector) const {
  zvElement found = element(selector);
  return found ? valueOf(*asNode(found)) : u"";
}

std::optional<std::u16string> testDocument::attribute(const char* selector,
                                                      const char* name) const {
  zvElement found = element(selector);
  if (!found) return std::nullopt;
  const std::u16string* value = asNode(found)->attribute(name);
  return value ? std::optional<std::u16string>(*value) : std::nullopt;
}

std::u16string testDocument::text(const char* selector) const {
  zvElement found = element(selector);
  return found ? textOf(*asNode(found)) : u"";
}

uint32_t testDocument::state(const char* selector) const {
  zvElement found = element(selector);
  return found ? asNode(found)->state : 0;
}

std::vector<std::u16string> testDocument::optionValues(const char* selector) const {
  std::vector<std::u16string> values;
  if (zvElement found = element(selector))
    for (node* option : options(*asNode(found))) values.push_back(optionValue(*option));
  return values;
}

void testDocument::setValue(const char* selector, std::u16string_view value) {
  if (zvElement found = element(selector)) setValueOf(*asNode(found), value);
}

void testDocument::remove(const char* selector) {
  zvElement found = element(selector);
  if (!found) return;
  node* n = asNode(found);
  std::erase_if(n->parent->children,
                [&](const std::unique_ptr<node>& child) { return child.get() == n; });
}

}  // namespace zv::test
