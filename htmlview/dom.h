#pragma once
// The engine's document object model: documents, elements and element handles.
//
// A document owns a tree of elements under its root. An element has a lower-case tag,
// attributes in document order, element children, the text around them, state bits, a
// value when it is a control and a uid: a positive number unique in the process and
// never reused, by which the browser addresses it. Text is not a node: each child
// element carries the text that stands before it and the parent the text after its last
// child, so child indexes count elements only, as the callers and the wire expect.
//
// Element lifetime: elements are reference counted. The parent holds one reference to
// each child and every elementRef holds one; an element taken out of the tree stays
// alive, attributes and children intact, for as long as a handle refers to it. Raw
// element pointers and references returned by the queries are borrowed: valid while
// the element is in the tree or held by a handle.
//
// Every change to an element in the document's tree is recorded as a wire operation
// (htmlview/wire.md) in the document's pending batch; takeBatch() hands it over. Nodes
// that the batch sends whole are written when the batch is taken, so changes made to a
// freshly inserted node need no operations of their own.
//
// Text is UTF-8 throughout; textU16/setTextU16 convert at the edge for code that counts
// UTF-16 units.
//
// Thread safety: none. A document and its elements belong to the user-interface thread;
// mutating operations assert it.

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zv {

class document;
class element;
class patchRecorder;

// The wire's state bits.
enum elementState : std::uint32_t {
  stateCurrent = 1,
  stateChecked = 2,
  stateDisabled = 4,
  stateExpanded = 8,
  stateCollapsed = 16,
  stateAnchor = 32,
  stateVisited = 64,
  statePopup = 128,
  stateFocus = 256,
  stateReadonly = 512,
};

// A counted reference to an element; empty by default.
class elementRef {
 public:
  elementRef() = default;
  elementRef(element* e);  // NOLINT(google-explicit-constructor): handles come from pointers
  elementRef(const elementRef& other);
  elementRef(elementRef&& other) noexcept : e_(std::exchange(other.e_, nullptr)) {}
  elementRef& operator=(elementRef other) noexcept {
    std::swap(e_, other.e_);
    return *this;
  }
  ~elementRef();

  element* get() const { return e_; }
  element* operator->() const { return e_; }
  element& operator*() const { return *e_; }
  explicit operator bool() const { return e_ != nullptr; }
  friend bool operator==(const elementRef& a, const elementRef& b) { return a.e_ == b.e_; }
  friend bool operator==(const elementRef& a, const element* b) { return a.e_ == b; }

 private:
  friend class element;
  element* e_ = nullptr;
};

// Told of changes to a document's tree: a subtree that joined it or left it (named by
// its top element), and a batch or snapshot about to be taken. Joined and left come from
// inside DOM operations: the observer only takes note there and must not change the
// tree. Before taking it may change the document; the changes go with what is taken.
// The event router uses it to keep behaviours attached.
class treeObserver {
 public:
  virtual void subtreeJoined(element& top) = 0;
  virtual void subtreeLeft(element& top) = 0;
  virtual void beforeTaking() = 0;

 protected:
  ~treeObserver() = default;
};

// Compares two elements for sorting: negative, zero or positive.
using elementComparator = std::function<int(const element&, const element&)>;

class element {
 public:
  element(const element&) = delete;
  element& operator=(const element&) = delete;

  std::uint64_t uid() const { return uid_; }
  const std::string& tag() const { return tag_; }
  // The document that created it; nullptr once that document is gone.
  document* ownerDocument() const { return doc_; }
  // In its document's tree (the root or below it).
  bool isConnected() const { return connected_; }

  // Tree queries.
  element* parent() const { return parent_; }
  std::size_t childCount() const { return kids_.size(); }
  element* child(std::size_t index) const {
    return index < kids_.size() ? kids_[index].get() : nullptr;
  }
  // Index among the parent's children, 0 without a parent.
  std::size_t index() const { return index_; }
  // True for this element and its descendants.
  bool contains(const element& other) const;
  std::size_t depth() const;

  // Structure. insert puts `child` at `index` (past the end appends), taking it from
  // wherever it was; false when it would contain itself, comes from another document or
  // this element holds only text (style, script, plaintext, textarea, title).
  bool insert(elementRef child, std::size_t index);
  bool append(elementRef child) { return insert(std::move(child), kids_.size()); }
  // Takes the element out of its parent; the handle keeps it alive.
  elementRef detach();
  // Deletes it from the tree: it is freed when the last handle goes.
  void remove() { detach(); }
  // Removes every child and the text.
  void clear();
  // Replaces the children (and the text) with these elements, in one change.
  void setChildren(std::vector<elementRef> kids) { setContent(std::move(kids), {}); }
  // Exchanges the places of two elements, neither containing the other.
  static bool swap(element& a, element& b);
  // Sorts children [from, to) with the comparator, stably; the text around children
  // keeps its places. While the comparator runs, index() still gives each child's place
  // before the sort (a comparator may look up keys by it). False for a bad range.
  bool sortChildren(std::size_t from, std::size_t to, const elementComparator& compare);
  // Moves child i to place[i]; `place` must hold each index of the children once. In
  // linear time, for callers that know the order already. False (nothing moves) for a
  // place vector that is not such a permutation.
  bool permuteChildren(const std::vector<std::size_t>& place);

  // Attributes. Names compare without ASCII case; setting nullopt removes.
  std::size_t attributeCount() const { return attrs_.size(); }
  const std::string& attributeName(std::size_t i) const { return attrs_[i].first; }
  const std::string& attributeValue(std::size_t i) const { return attrs_[i].second; }
  std::optional<std::string_view> attribute(std::string_view name) const;
  bool hasAttribute(std::string_view name) const { return attribute(name).has_value(); }
  void setAttribute(std::string_view name, std::optional<std::string_view> value);
  void removeAttribute(std::string_view name) { setAttribute(name, std::nullopt); }

  // Properties of the inline style attribute; an empty value removes the property.
  std::string style(std::string_view property) const;
  void setStyle(std::string_view property, std::string_view value);
  // Not hidden by display:none on itself or an ancestor.
  bool isVisible() const;
  void setVisible(bool visible) { setStyle("display", visible ? "" : "none"); }

  // State bits (elementState).
  std::uint32_t states() const { return states_; }
  bool hasState(std::uint32_t bits) const { return (states_ & bits) == bits; }
  void setStates(std::uint32_t add, std::uint32_t clear);

  // The value of a control: input, textarea, plaintext, select, widget. For textarea
  // and plaintext it is the text content.
  bool hasValue() const;
  std::string value() const;
  void setValue(std::string_view value);

  // The text of the element and its descendants (br counts as a line break).
  std::string text() const;
  // Replaces the content with the text.
  void setText(std::string_view text);
  std::u16string textU16() const;
  void setTextU16(std::u16string_view text);
  std::string innerHtml() const;
  // Replaces the content with parsed markup.
  void setInnerHtml(std::string_view html);
  std::string outerHtml() const;

  // View requests, recorded for the browser.
  void scrollIntoView();
  void focus();
  // Sends the element again whole.
  void update();

  // Selectors (htmlview/selector.h); :root is this element. A bad selector matches
  // nothing and is logged.
  std::vector<elementRef> selectAll(std::string_view selector);
  elementRef selectFirst(std::string_view selector);
  bool matches(std::string_view selector);
  // The element or its nearest ancestor matching the selector.
  elementRef closest(std::string_view selector);

  // Text held around the children: before child i, and after the last child.
  const std::string& textBefore(std::size_t i) const { return kids_[i]->before_; }
  const std::string& trailingText() const { return trailing_; }

 private:
  friend class document;
  friend class elementRef;
  friend class htmlTreeBuilder;
  friend class patchRecorder;

  element(document* doc, std::string tag);
  ~element() = default;

  void addRef() { ++refs_; }
  void release();
  void setContent(std::vector<elementRef> kids, std::string trailing);

  document* doc_;
  std::string tag_;
  std::uint64_t uid_;
  element* parent_ = nullptr;
  std::size_t index_ = 0;
  std::vector<elementRef> kids_;
  std::string before_;    // text before this element in its parent
  std::string trailing_;  // text after the last child
  std::vector<std::pair<std::string, std::string>> attrs_;
  std::optional<std::string> value_;
  std::uint32_t states_ = 0;
  std::uint32_t refs_ = 0;
  bool connected_ = false;
  bool sentLazy_ = false;  // the browser holds this list lazily
  // Change recording: numbers of the operations that send this node or its children
  // whole, and of the one that took it out of the browser's tree.
  std::uint64_t freshSelf_ = 0;
  std::uint64_t freshKids_ = 0;
  std::uint64_t removedAt_ = 0;
};

class document {
 public:
  // Lists with more children than this are sent lazily by default.
  static constexpr std::size_t defaultLazyThreshold = 2000;

  document();
  ~document();
  document(const document&) = delete;
  document& operator=(const document&) = delete;

  // Replaces the whole document with parsed UTF-8 markup. The root is the top-level
  // html element, or an html element made to hold whatever stands at the top level.
  void load(std::string_view html);
  element& root() { return *root_; }
  const element& root() const { return *root_; }

  elementRef createElement(std::string_view tag);
  // The first element in document order with this id, in constant time.
  elementRef byId(std::string_view id) const;
  // Every connected element with this id, in no particular order.
  const std::vector<element*>& allById(std::string_view id) const;
  // A connected element by uid.
  element* find(std::uint64_t uid) const;
  std::size_t elementCount() const { return live_.size(); }

  std::vector<elementRef> selectAll(std::string_view selector) {
    return root_->selectAll(selector);
  }
  elementRef selectFirst(std::string_view selector) { return root_->selectFirst(selector); }

  // The element that has the focus state, if any.
  element* focused() const { return focused_; }

  // Wire form (htmlview/wire.md).
  // Every change since the last call, in order, as the "ops" array of a batch frame.
  nlohmann::json takeBatch();
  bool hasChanges() const;
  // The node of an element; an element with more children than the threshold goes
  // with "lazy" instead of "c".
  nlohmann::json nodeJson(element& e);
  // The whole tree for a window frame; pending changes are dropped (the tree has them).
  nlohmann::json snapshot();
  // The answer to a client's rows request: children [from, to) of a connected element
  // as {"u","from","nodes","count"}; null for an unknown uid.
  nlohmann::json rows(std::uint64_t uid, std::size_t from, std::size_t to);
  void setLazyThreshold(std::size_t children) { lazyThreshold_ = children; }
  std::size_t lazyThreshold() const { return lazyThreshold_; }

  // Rows built when first needed. A list with a row filler may hold hollow rows: children
  // without children of their own. Before such a row goes to the browser (in a rows
  // answer, in the list sent whole, inserted or sent again) the filler gives its content
  // as markup, which is parsed into the row without a change of its own: the browser
  // never receives a hollow row, so the content goes with the row. A long list then
  // costs one element per row until the browser shows the row. Empty `fill` removes it.
  using rowFiller = std::function<std::string(const element& row)>;
  void setRowFiller(const element& list, rowFiller fill);
  // Gives a hollow row of a list with a filler its content now (for code that reads the
  // row's content); other elements are left as they are.
  void fillRow(element& row);

  // At most one observer; nullptr removes it. It must not outlive the document.
  void setTreeObserver(treeObserver* observer) { observer_ = observer; }

 private:
  friend class element;
  friend class patchRecorder;

  nlohmann::json childrenJson(element& e);
  void connect(element& e);
  void disconnect(element& e);
  void indexId(element& e, std::string_view id);
  void unindexId(element& e, std::string_view id);
  void forgotten(element& e);
  void setFocus(element* e);

  elementRef root_;
  std::unordered_map<std::uint64_t, element*> live_;  // every element alive
  std::unordered_map<std::string, std::vector<element*>> ids_;
  element* focused_ = nullptr;
  std::unique_ptr<patchRecorder> recorder_;
  std::size_t lazyThreshold_ = defaultLazyThreshold;
  treeObserver* observer_ = nullptr;
  std::unordered_map<std::uint64_t, rowFiller> fillers_;  // by the list's uid
};

// Whether a comes before b in document order (elements of one tree).
bool documentOrder(const element* a, const element* b);

// Whether elements with this tag carry a value.
bool isControlTag(std::string_view tag);
// Text content kept raw in markup (no entities, no tags): style, script, plaintext.
bool isRawTextTag(std::string_view tag);

}  // namespace zv
