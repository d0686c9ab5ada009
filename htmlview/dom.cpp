// Elements, handles and the document's indexes; the tree's structural operations.
#include "htmlview/dom.h"

#include "htmlview/parser.h"
#include "htmlview/patches.h"
#include "platform/diagnostics.h"
#include "platform/eventLoop.h"
#include "platform/textConv.h"

#include <algorithm>
#include <atomic>

namespace zv {
namespace {

std::atomic<std::uint64_t> lastUid{0};

}  // namespace

bool isControlTag(std::string_view tag) {
  return tag == "input" || tag == "textarea" || tag == "plaintext" || tag == "select" ||
         tag == "widget";
}

bool isRawTextTag(std::string_view tag) {
  return tag == "style" || tag == "script" || tag == "plaintext";
}

namespace {

// Raw text elements and text controls: their content is one text.
bool holdsTextOnly(std::string_view tag) {
  return isRawTextTag(tag) || tag == "textarea" || tag == "title";
}

}  // namespace

// ---- handles

elementRef::elementRef(element* e) : e_(e) {
  if (e_) e_->addRef();
}

elementRef::elementRef(const elementRef& other) : e_(other.e_) {
  if (e_) e_->addRef();
}

elementRef::~elementRef() {
  if (e_) e_->release();
}

// Frees the element and, without recursion, every descendant nobody else holds.
void element::release() {
  if (--refs_ != 0) return;
  std::vector<element*> dying{this};
  while (!dying.empty()) {
    element* e = dying.back();
    dying.pop_back();
    for (elementRef& kid : e->kids_) {
      element* k = std::exchange(kid.e_, nullptr);
      k->parent_ = nullptr;
      k->index_ = 0;
      if (--k->refs_ == 0) dying.push_back(k);
    }
    if (e->doc_) e->doc_->forgotten(*e);
    delete e;
  }
}

// ---- element

element::element(document* doc, std::string tag)
    : doc_(doc), tag_(std::move(tag)), uid_(++lastUid) {}

bool element::contains(const element& other) const {
  for (const element* e = &other; e; e = e->parent_) {
    if (e == this) return true;
  }
  return false;
}

std::size_t element::depth() const {
  std::size_t d = 0;
  for (const element* e = parent_; e; e = e->parent_) ++d;
  return d;
}

bool element::insert(elementRef child, std::size_t index) {
  ZV_ASSERT_UI_THREAD();
  if (!child || child->doc_ != doc_ || child->contains(*this) || holdsTextOnly(tag_)) {
    ZV_REPORT("element <%s> cannot go into <%s>", child ? child->tag_.c_str() : "null",
              tag_.c_str());
    return false;
  }
  if (child->parent_) {
    // Moving within the same parent: the index counts the children without it.
    child->detach();
  }
  index = std::min(index, kids_.size());
  if (connected_ && doc_) doc_->recorder_->inserting(*this, *child, index);
  element* c = child.get();
  c->parent_ = this;
  // As a browser's insertBefore: the new element goes right before the element at
  // `index`, after the text in front of it; appended, after the trailing text.
  std::string& textInFront = index < kids_.size() ? kids_[index]->before_ : trailing_;
  c->before_ = std::move(textInFront);
  textInFront.clear();
  kids_.insert(kids_.begin() + std::ptrdiff_t(index), std::move(child));
  for (std::size_t i = index; i < kids_.size(); ++i) kids_[i]->index_ = i;
  if (connected_ && doc_) doc_->connect(*c);
  return true;
}

elementRef element::detach() {
  ZV_ASSERT_UI_THREAD();
  elementRef self(this);
  element* p = parent_;
  if (!p) return self;
  if (connected_ && doc_) {
    doc_->recorder_->removing(*this);
    doc_->disconnect(*this);
  }
  std::size_t at = index_;
  // The text before this element stays in place, in front of the next sibling.
  if (!before_.empty()) {
    std::string& next = at + 1 < p->kids_.size() ? p->kids_[at + 1]->before_ : p->trailing_;
    next.insert(0, before_);
    before_.clear();
  }
  p->kids_.erase(p->kids_.begin() + std::ptrdiff_t(at));
  for (std::size_t i = at; i < p->kids_.size(); ++i) p->kids_[i]->index_ = i;
  parent_ = nullptr;
  index_ = 0;
  return self;
}

void element::clear() {
  setContent({}, {});
}

// Replaces the children and the trailing text; records one content operation.
void element::setContent(std::vector<elementRef> kids, std::string trailing) {
  ZV_ASSERT_UI_THREAD();
  // Newcomers leave their old places first, so their removals come before the content.
  for (elementRef& k : kids) {
    if (k->parent_) k->detach();
  }
  if (connected_ && doc_) {
    doc_->recorder_->replacingContent(*this);
    for (elementRef& k : kids_) doc_->disconnect(*k);
  }
  std::vector<elementRef> old = std::move(kids_);
  for (elementRef& k : old) {
    k->parent_ = nullptr;
    k->index_ = 0;
    k->before_.clear();
  }
  kids_ = std::move(kids);
  trailing_ = std::move(trailing);
  for (std::size_t i = 0; i < kids_.size(); ++i) {
    kids_[i]->parent_ = this;
    kids_[i]->index_ = i;
    if (connected_ && doc_) doc_->connect(*kids_[i]);
  }
}

bool element::swap(element& a, element& b) {
  ZV_ASSERT_UI_THREAD();
  if (&a == &b) return true;
  if (!a.parent_ || !b.parent_ || a.contains(b) || b.contains(a) || a.doc_ != b.doc_) {
    ZV_REPORT("cannot swap <%s> and <%s>", a.tag_.c_str(), b.tag_.c_str());
    return false;
  }
  element* pa = a.parent_;
  element* pb = b.parent_;
  std::size_t ia = a.index_;
  std::size_t ib = b.index_;
  elementRef keepA(&a);
  elementRef keepB(&b);
  // Take the later one out first so the other index stays right.
  if (pa == pb && ia > ib) {
    a.detach();
    b.detach();
    pa->insert(keepA, ib);
    pb->insert(keepB, ia);
  } else {
    b.detach();
    a.detach();
    pb->insert(keepA, ib);
    pa->insert(keepB, ia);
  }
  return true;
}

bool element::sortChildren(std::size_t from, std::size_t to, const elementComparator& compare) {
  ZV_ASSERT_UI_THREAD();
  if (from > to || to > kids_.size() || !compare) {
    ZV_REPORT("bad sort range %zu..%zu of %zu children", from, to, kids_.size());
    return false;
  }
  if (to - from < 2) return true;
  // Text stays where it was: only the elements move.
  std::vector<std::string> texts;
  texts.reserve(to - from);
  for (std::size_t i = from; i < to; ++i) texts.push_back(std::move(kids_[i]->before_));
  std::stable_sort(kids_.begin() + std::ptrdiff_t(from), kids_.begin() + std::ptrdiff_t(to),
                   [&](const elementRef& x, const elementRef& y) { return compare(*x, *y) < 0; });
  bool moved = false;
  for (std::size_t i = from; i < to; ++i) {
    element& k = *kids_[i];
    moved = moved || k.index_ != i;
    k.index_ = i;
    k.before_ = std::move(texts[i - from]);
  }
  if (moved && connected_ && doc_) doc_->recorder_->reordered(*this);
  return true;
}

bool element::permuteChildren(const std::vector<std::size_t>& place) {
  ZV_ASSERT_UI_THREAD();
  const std::size_t n = kids_.size();
  std::vector<bool> taken(n, false);
  bool valid = place.size() == n;
  for (std::size_t i = 0; valid && i < n; ++i) {
    valid = place[i] < n && !taken[place[i]];
    if (valid) taken[place[i]] = true;
  }
  if (!valid) {
    ZV_REPORT("bad permutation of %zu children", n);
    return false;
  }
  // Text stays where it was: only the elements move.
  std::vector<elementRef> kids(n);
  std::vector<std::string> texts(n);
  bool moved = false;
  for (std::size_t i = 0; i < n; ++i) {
    texts[i] = std::move(kids_[i]->before_);
    moved = moved || place[i] != i;
    kids[place[i]] = std::move(kids_[i]);
  }
  kids_ = std::move(kids);
  for (std::size_t i = 0; i < n; ++i) {
    kids_[i]->index_ = i;
    kids_[i]->before_ = std::move(texts[i]);
  }
  if (moved && connected_ && doc_) doc_->recorder_->reordered(*this);
  return true;
}

// ---- attributes, style, states, value

std::optional<std::string_view> element::attribute(std::string_view name) const {
  for (const auto& [n, v] : attrs_) {
    if (n.size() == name.size() && (n == name || equalsNoCase(n, name))) return std::string_view(v);
  }
  return std::nullopt;
}

void element::setAttribute(std::string_view name, std::optional<std::string_view> value) {
  ZV_ASSERT_UI_THREAD();
  if (name.empty()) return;
  auto it = std::find_if(attrs_.begin(), attrs_.end(),
                         [&](const auto& a) { return equalsNoCase(a.first, name); });
  if (it == attrs_.end() && !value) return;
  if (it != attrs_.end() && value && it->second == *value) return;
  bool isId = equalsNoCase(name, "id");
  if (isId && connected_ && doc_ && it != attrs_.end()) doc_->unindexId(*this, it->second);
  if (connected_ && doc_) {
    doc_->recorder_->attributeChanged(*this, it != attrs_.end() ? it->first : name, value);
  }
  if (!value) {
    attrs_.erase(it);
  } else if (it == attrs_.end()) {
    attrs_.emplace_back(std::string(name), std::string(*value));
  } else {
    it->second.assign(*value);
  }
  if (isId && value && connected_ && doc_) doc_->indexId(*this, *value);
}

namespace {

std::string_view trimBlanks(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// The declarations of an inline style: "name: value; ...".
std::vector<std::pair<std::string, std::string>> parseStyle(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> out;
  while (!text.empty()) {
    std::size_t end = text.find(';');
    std::string_view decl = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    std::size_t colon = decl.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view name = trimBlanks(decl.substr(0, colon));
    std::string_view value = trimBlanks(decl.substr(colon + 1));
    if (!name.empty()) out.emplace_back(std::string(name), std::string(value));
  }
  return out;
}

}  // namespace

std::string element::style(std::string_view property) const {
  std::optional<std::string_view> text = attribute("style");
  if (!text) return {};
  std::string found;
  for (auto& [name, value] : parseStyle(*text)) {
    if (equalsNoCase(name, property)) found = value;  // the last declaration wins
  }
  return found;
}

void element::setStyle(std::string_view property, std::string_view value) {
  std::optional<std::string_view> text = attribute("style");
  auto decls = parseStyle(text ? *text : std::string_view());
  std::erase_if(decls, [&](const auto& d) { return equalsNoCase(d.first, property); });
  if (!trimBlanks(value).empty()) decls.emplace_back(std::string(property), trimBlanks(value));
  std::string joined;
  for (const auto& [name, v] : decls) {
    if (!joined.empty()) joined += ' ';
    joined += name + ":" + v + ";";
  }
  if (joined.empty()) {
    removeAttribute("style");
  } else {
    setAttribute("style", joined);
  }
}

bool element::isVisible() const {
  for (const element* e = this; e; e = e->parent_) {
    if (e->style("display") == "none") return false;
  }
  return true;
}

void element::setStates(std::uint32_t add, std::uint32_t clear) {
  ZV_ASSERT_UI_THREAD();
  std::uint32_t next = (states_ & ~clear) | add;
  if (next == states_) return;
  if ((next & stateFocus) != (states_ & stateFocus) && doc_ && connected_) {
    // The focus is one element's at a time.
    if (next & stateFocus) {
      if (doc_->focused_ && doc_->focused_ != this) doc_->focused_->setStates(0, stateFocus);
      doc_->focused_ = this;
    } else if (doc_->focused_ == this) {
      doc_->focused_ = nullptr;
    }
  }
  states_ = next;
  if (connected_ && doc_) doc_->recorder_->statesChanged(*this);
}

bool element::hasValue() const {
  return isControlTag(tag_);
}

std::string element::value() const {
  if (tag_ == "textarea" || tag_ == "plaintext") return text();
  if (value_) return *value_;
  if (tag_ == "select") {
    // Until it is set, the value of the option marked selected.
    std::vector<const element*> stack{this};
    while (!stack.empty()) {
      const element* e = stack.back();
      stack.pop_back();
      if (e->tag_ == "option" && e->hasAttribute("selected")) {
        std::optional<std::string_view> v = e->attribute("value");
        return v ? std::string(*v) : e->text();
      }
      for (std::size_t i = e->kids_.size(); i-- > 0;) stack.push_back(e->kids_[i].get());
    }
    return {};
  }
  return std::string(attribute("value").value_or(""));
}

void element::setValue(std::string_view value) {
  ZV_ASSERT_UI_THREAD();
  if (!hasValue()) {
    ZV_REPORT("<%s> has no value", tag_.c_str());
    return;
  }
  if (tag_ == "textarea" || tag_ == "plaintext") {
    // The content is the value, and the value operation carries it.
    if (text() == value) return;
    std::vector<elementRef> old = std::move(kids_);
    kids_.clear();
    for (elementRef& k : old) {
      if (connected_ && doc_) doc_->disconnect(*k);
      k->parent_ = nullptr;
      k->before_.clear();
    }
    trailing_ = sanitizeUtf8(value);
    if (connected_ && doc_) doc_->recorder_->valueChanged(*this);
    return;
  }
  if (value_ && *value_ == value) return;
  value_ = sanitizeUtf8(value);
  if (connected_ && doc_) doc_->recorder_->valueChanged(*this);
}

// ---- text and markup

namespace {

void collectText(const element& e, std::string& out) {
  // An explicit stack: documents may nest deeply.
  struct frame {
    const element* e;
    std::size_t next;
  };
  std::vector<frame> stack{{&e, 0}};
  while (!stack.empty()) {
    frame& f = stack.back();
    if (f.next == f.e->childCount()) {
      out += f.e->trailingText();
      stack.pop_back();
      continue;
    }
    std::size_t i = f.next++;
    out += f.e->textBefore(i);
    const element* k = f.e->child(i);
    if (k->tag() == "br") out += '\n';
    stack.push_back({k, 0});
  }
}

}  // namespace

std::string element::text() const {
  std::string out;
  collectText(*this, out);
  return out;
}

void element::setText(std::string_view text) {
  if (tag_ == "textarea" || tag_ == "plaintext") {
    setValue(text);
    return;
  }
  setContent({}, sanitizeUtf8(text));
}

std::u16string element::textU16() const {
  return fromUtf8(text());
}

void element::setTextU16(std::u16string_view text) {
  setText(toUtf8(text));
}

std::string element::innerHtml() const {
  return writeInnerHtml(*this);
}

std::string element::outerHtml() const {
  return writeOuterHtml(*this);
}

void element::setInnerHtml(std::string_view html) {
  if (isRawTextTag(tag_)) {
    setText(sanitizeUtf8(html));
    return;
  }
  if (tag_ == "textarea" || tag_ == "title") {
    setText(decodeEntities(sanitizeUtf8(html)));
    return;
  }
  if (!doc_) return;
  htmlFragment f = parseHtml(*doc_, html);
  setContent(std::move(f.children), std::move(f.trailing));
}

void element::scrollIntoView() {
  if (connected_ && doc_) doc_->recorder_->scroll(*this);
}

void element::focus() {
  setStates(stateFocus, 0);
  if (connected_ && doc_) doc_->recorder_->focus(*this);
}

void element::update() {
  if (connected_ && doc_) doc_->recorder_->replaced(*this);
}

// ---- document

document::document() : recorder_(std::make_unique<patchRecorder>(*this)) {
  root_ = createElement("html");
  root_->connected_ = true;
}

document::~document() {
  for (auto& [uid, e] : live_) {
    e->doc_ = nullptr;
    e->connected_ = false;
  }
  live_.clear();
  ids_.clear();
  root_ = elementRef();
}

elementRef document::createElement(std::string_view tag) {
  std::string name(tag);
  for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
  elementRef e(new element(this, std::move(name)));
  live_.emplace(e->uid_, e.get());
  return e;
}

void document::load(std::string_view html) {
  ZV_ASSERT_UI_THREAD();
  htmlFragment f = parseHtml(*this, html);
  elementRef top;
  std::size_t elements = 0;
  for (elementRef& k : f.children) {
    if (k->tag_ == "html") top = k;
    ++elements;
  }
  auto blank = [](const std::string& s) { return trimBlanks(s).empty(); };
  bool onlyHtml = elements == 1 && top && blank(top->before_) && blank(f.trailing);
  elementRef next;
  if (onlyHtml) {
    next = top;
    next->before_.clear();
  } else {
    next = createElement("html");
    for (std::size_t i = 0; i < f.children.size(); ++i) f.children[i]->parent_ = next.get();
    next->kids_ = std::move(f.children);
    for (std::size_t i = 0; i < next->kids_.size(); ++i) next->kids_[i]->index_ = i;
    next->trailing_ = std::move(f.trailing);
  }
  elementRef old = root_;
  disconnect(*old);
  old->connected_ = false;
  root_ = next;
  focused_ = nullptr;
  connect(*root_);
  recorder_->discard();
}

void document::connect(element& top) {
  std::vector<element*> stack{&top};
  while (!stack.empty()) {
    element* e = stack.back();
    stack.pop_back();
    e->connected_ = true;
    if (std::optional<std::string_view> id = e->attribute("id")) indexId(*e, *id);
    if (e->states_ & stateFocus) {
      if (focused_ && focused_ != e) focused_->states_ &= ~stateFocus;
      focused_ = e;
    }
    for (elementRef& k : e->kids_) stack.push_back(k.get());
  }
  if (observer_) observer_->subtreeJoined(top);
}

void document::disconnect(element& top) {
  std::vector<element*> stack{&top};
  while (!stack.empty()) {
    element* e = stack.back();
    stack.pop_back();
    e->connected_ = false;
    e->sentLazy_ = false;
    if (std::optional<std::string_view> id = e->attribute("id")) unindexId(*e, *id);
    if (focused_ == e) focused_ = nullptr;
    for (elementRef& k : e->kids_) stack.push_back(k.get());
  }
  if (observer_) observer_->subtreeLeft(top);
}

void document::indexId(element& e, std::string_view id) {
  if (id.empty()) return;
  ids_[std::string(id)].push_back(&e);
}

void document::unindexId(element& e, std::string_view id) {
  auto it = ids_.find(std::string(id));
  if (it == ids_.end()) return;
  std::erase(it->second, &e);
  if (it->second.empty()) ids_.erase(it);
}

void document::forgotten(element& e) {
  live_.erase(e.uid_);
  if (focused_ == &e) focused_ = nullptr;
  if (!fillers_.empty()) fillers_.erase(e.uid_);
}

void document::setRowFiller(const element& list, rowFiller fill) {
  if (fill)
    fillers_[list.uid_] = std::move(fill);
  else
    fillers_.erase(list.uid_);
}

void document::fillRow(element& row) {
  if (!row.kids_.empty() || !row.parent_ || fillers_.empty()) return;
  auto found = fillers_.find(row.parent_->uid_);
  if (found == fillers_.end()) return;
  std::string html = found->second(row);
  if (html.empty()) return;
  // Attached as parsed, with no operation: the row is on its way to the browser, or the
  // browser does not hold it (it never receives a hollow row).
  htmlFragment f = parseHtml(*this, html);
  row.kids_ = std::move(f.children);
  row.trailing_ = std::move(f.trailing);
  for (std::size_t i = 0; i < row.kids_.size(); ++i) {
    element& k = *row.kids_[i];
    k.parent_ = &row;
    k.index_ = i;
    if (row.connected_) connect(k);
  }
}

bool documentOrder(const element* a, const element* b) {
  std::vector<const element*> pa;
  std::vector<const element*> pb;
  for (const element* e = a; e; e = e->parent()) pa.push_back(e);
  for (const element* e = b; e; e = e->parent()) pb.push_back(e);
  auto ia = pa.rbegin();
  auto ib = pb.rbegin();
  while (ia != pa.rend() && ib != pb.rend() && *ia == *ib) {
    ++ia;
    ++ib;
  }
  if (ia == pa.rend()) return true;  // a is an ancestor of b
  if (ib == pb.rend()) return false;
  return (*ia)->index() < (*ib)->index();
}

const std::vector<element*>& document::allById(std::string_view id) const {
  static const std::vector<element*> none;
  auto it = ids_.find(std::string(id));
  return it == ids_.end() ? none : it->second;
}

elementRef document::byId(std::string_view id) const {
  auto it = ids_.find(std::string(id));
  if (it == ids_.end()) return {};
  const std::vector<element*>& all = it->second;
  element* first = all.front();
  for (std::size_t i = 1; i < all.size(); ++i) {
    if (documentOrder(all[i], first)) first = all[i];
  }
  return first;
}

element* document::find(std::uint64_t uid) const {
  auto it = live_.find(uid);
  return it != live_.end() && it->second->connected_ ? it->second : nullptr;
}

bool document::hasChanges() const {
  return !recorder_->empty();
}

nlohmann::json document::takeBatch() {
  if (observer_) observer_->beforeTaking();
  return recorder_->take();
}

}  // namespace zv
