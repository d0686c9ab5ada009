#include "htmlview/patches.h"

#include "platform/textConv.h"

#include <algorithm>
#include <limits>

namespace zv {
namespace {

constexpr std::uint64_t none = std::numeric_limits<std::uint64_t>::max();

template <class F>
void forSubtree(const element& top, F f) {
  std::vector<const element*> stack{&top};
  while (!stack.empty()) {
    const element* e = stack.back();
    stack.pop_back();
    f(*e);
    for (std::size_t i = 0; i < e->childCount(); ++i) stack.push_back(e->child(i));
  }
}

}  // namespace

bool patchRecorder::coveredSelf(const element& e, std::uint64_t* earliest) const {
  std::uint64_t first = none;
  auto note = [&](std::uint64_t stamp) {
    if (fresh(stamp)) first = std::min(first, stamp);
    return fresh(stamp) && !earliest;
  };
  if (note(e.freshSelf_)) return true;
  for (const element* a = e.parent_; a; a = a->parent_) {
    if (note(a->freshSelf_) || note(a->freshKids_)) return true;
  }
  if (earliest) *earliest = first;
  return first != none;
}

bool patchRecorder::coveredKids(const element& e, std::uint64_t* earliest) const {
  std::uint64_t above = none;
  bool covered = coveredSelf(e, earliest ? &above : nullptr);
  if (fresh(e.freshKids_)) {
    covered = true;
    above = std::min(above, e.freshKids_);
  }
  if (earliest) *earliest = above;
  return covered;
}

bool patchRecorder::holdsFresh(const element& top) const {
  bool found = false;
  forSubtree(
      top, [&](const element& e) { found = found || fresh(e.freshSelf_) || fresh(e.freshKids_); });
  return found;
}

void patchRecorder::markRemoved(element& top, std::uint64_t at) {
  forSubtree(top, [&](const element& e) { const_cast<element&>(e).removedAt_ = at; });
}

std::uint64_t patchRecorder::add(pendingOp op) {
  if (ops_.size() >= maxPendingOps) {
    // Nobody takes the batches (no browser shows the document): the whole tree goes
    // instead, and everything after is covered by it.
    discard();
    element& root = doc_.root();
    pendingOp whole("replace", root.uid_);
    whole.node = &root;
    ops_.push_back(std::move(whole));
    root.freshSelf_ = ++lastOp_;
    return lastOp_;
  }
  ops_.push_back(std::move(op));
  return ++lastOp_;
}

// Keeps one operation per key: the first place, the last value.
void patchRecorder::merge(pendingOp op, const std::string& key) {
  auto [it, inserted] = merged_.emplace(key, ops_.size());
  if (inserted) {
    add(std::move(op));
  } else {
    pendingOp& kept = ops_[it->second];
    kept.text = std::move(op.text);
    kept.states = op.states;
  }
}

// Writes every whole node pending so far as it is now; nothing is fresh afterwards.
void patchRecorder::freeze() {
  for (pendingOp& op : ops_) {
    if (op.node && !op.frozen && op.op != std::string_view("count")) op.frozen = write(op);
  }
  epoch_ = lastOp_;
  merged_.clear();
}

void patchRecorder::attributeChanged(element& e, std::string_view name,
                                     std::optional<std::string_view> value) {
  if (coveredSelf(e)) return;
  pendingOp op("attr", e.uid_);
  op.name = std::string(name);
  if (value) op.text = std::string(*value);
  std::string key = std::to_string(e.uid_) + "a";
  for (char c : name) key += asciiUpper(c);
  merge(std::move(op), key);
}

void patchRecorder::statesChanged(element& e) {
  if (coveredSelf(e)) return;
  pendingOp op("state", e.uid_);
  op.states = e.states_;
  merge(std::move(op), std::to_string(e.uid_) + "s");
}

void patchRecorder::valueChanged(element& e) {
  if (coveredSelf(e)) return;
  pendingOp op("value", e.uid_);
  op.text = e.value();
  merge(std::move(op), std::to_string(e.uid_) + "v");
}

void patchRecorder::countChanged(element& list) {
  pendingOp op("count", list.uid_);
  op.node = &list;
  merge(std::move(op), std::to_string(list.uid_) + "n");
}

void patchRecorder::replacingContent(element& e) {
  for (const elementRef& k : e.kids_) {
    if (holdsFresh(*k)) {
      freeze();
      break;
    }
  }
  std::uint64_t earliest = none;
  std::uint64_t at;
  if (coveredKids(e, &earliest)) {
    at = earliest;
  } else {
    pendingOp op("content", e.uid_);
    op.node = &e;
    at = e.freshKids_ = add(std::move(op));
  }
  for (const elementRef& k : e.kids_) markRemoved(*k, at);
}

void patchRecorder::reordered(element& parent) {
  if (coveredKids(parent)) return;
  if (parent.sentLazy_) {
    countChanged(parent);
    return;
  }
  pendingOp op("content", parent.uid_);
  op.node = &parent;
  parent.freshKids_ = add(std::move(op));
}

void patchRecorder::inserting(element& parent, element& child, std::size_t index) {
  std::uint64_t earliest = none;
  if (coveredKids(parent, &earliest)) {
    // The pending node will carry the child, but the browser must not get it there
    // before it took the child away from where it showed it.
    std::uint64_t removed = 0;
    forSubtree(child, [&](const element& e) { removed = std::max(removed, e.removedAt_); });
    if (removed <= earliest) return;
    freeze();
  }
  if (parent.sentLazy_) {
    countChanged(parent);
    return;
  }
  if (parent.kids_.size() + 1 > doc_.lazyThreshold_) {
    // The list becomes lazy: send its content again, now by count.
    pendingOp op("content", parent.uid_);
    op.node = &parent;
    parent.freshKids_ = add(std::move(op));
    return;
  }
  pendingOp op("insert", child.uid_);
  op.node = &child;
  op.parent = parent.uid_;
  op.index = index;
  child.freshSelf_ = add(std::move(op));
}

void patchRecorder::removing(element& child) {
  element& parent = *child.parent_;
  if (holdsFresh(child)) freeze();
  std::uint64_t earliest = none;
  if (coveredKids(parent, &earliest)) {
    markRemoved(child, earliest);
    return;
  }
  if (parent.sentLazy_) {
    countChanged(parent);
    markRemoved(child, lastOp_);
    return;
  }
  pendingOp op("remove", child.uid_);
  markRemoved(child, add(std::move(op)));
}

void patchRecorder::scroll(element& e) {
  pendingOp op("scroll", e.uid_);
  op.node = &e;  // a row of a lazy list goes with its place, the browser may not hold it
  add(std::move(op));
}

void patchRecorder::focus(element& e) {
  pendingOp op("focus", e.uid_);
  add(std::move(op));
}

void patchRecorder::replaced(element& e) {
  if (coveredSelf(e)) return;
  pendingOp op("replace", e.uid_);
  op.node = &e;
  e.freshSelf_ = add(std::move(op));
}

nlohmann::json patchRecorder::write(pendingOp& op) {
  using nlohmann::json;
  std::string_view kind = op.op;
  if (op.frozen) return *op.frozen;
  json out = {{"op", op.op}};
  if (kind == "insert") {
    out["parent"] = op.parent;
    out["index"] = op.index;
    out["node"] = doc_.nodeJson(*op.node);
    return out;
  }
  if (kind == "content" && (op.node->sentLazy_ || op.node->childCount() > doc_.lazyThreshold_)) {
    // A list the browser holds lazily, or will: the node goes again, with "lazy" or "c".
    out["op"] = "replace";
    kind = "replace";
  }
  out["u"] = op.uid;
  if (kind == "replace") {
    out["node"] = doc_.nodeJson(*op.node);
  } else if (kind == "content") {
    out["c"] = doc_.childrenJson(*op.node);
  } else if (kind == "count") {
    out["count"] = op.node->childCount();
  } else if (kind == "scroll") {
    element* list = op.node->parent();
    if (list && list->sentLazy_) {
      out["list"] = list->uid_;
      out["index"] = op.node->index();
    }
  } else if (kind == "attr") {
    out["name"] = op.name;
    out["value"] = op.text ? json(*op.text) : json(nullptr);
  } else if (kind == "state") {
    out["s"] = op.states;
  } else if (kind == "value") {
    out["v"] = op.text.value_or(std::string());
  }
  return out;
}

nlohmann::json patchRecorder::take() {
  nlohmann::json ops = nlohmann::json::array();
  for (pendingOp& op : ops_) ops.push_back(write(op));
  discard();
  return ops;
}

void patchRecorder::discard() {
  ops_.clear();
  merged_.clear();
  epoch_ = lastOp_;
}

}  // namespace zv
