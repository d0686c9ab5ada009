#pragma once
// Recording of a document's changes as wire operations (htmlview/wire.md), used by the
// DOM only.
//
// Operations that send a node whole (insert, replace, content) keep the element and
// write it when the batch is taken, so later changes inside it need no operations: the
// node is then "fresh" and so is everything below it. Two moves would break that: a
// node the browser already shows being moved into a fresh node whose operation comes
// before the node's removal, and a fresh node leaving the tree. In both cases the
// pending nodes are written at once ("frozen") and recording carries on from there.
// Attribute, state and value operations on the same element are merged into the first
// one, with the last value. A batch nobody takes stops growing: past maxPendingOps it
// becomes one replace of the root. Children of a list the browser holds lazily are not sent:
// the list's length goes instead, once per batch, and the browser asks again.
//
// Thread safety: the document's (user-interface thread only).

#include "htmlview/dom.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zv {

class patchRecorder {
 public:
  // Past this many pending operations the batch becomes one replace of the root.
  static constexpr std::size_t maxPendingOps = 100000;

  explicit patchRecorder(document& doc) : doc_(doc) {}

  void attributeChanged(element& e, std::string_view name, std::optional<std::string_view> value);
  void statesChanged(element& e);
  void valueChanged(element& e);
  // Before the children of `e` are replaced; `e` is connected.
  void replacingContent(element& e);
  void reordered(element& parent);
  // Before `child` joins the connected `parent` at `index`.
  void inserting(element& parent, element& child, std::size_t index);
  // Before `child` leaves its connected parent.
  void removing(element& child);
  void scroll(element& e);
  void focus(element& e);
  void replaced(element& e);

  nlohmann::json take();
  bool empty() const { return ops_.empty(); }
  // Forgets the pending operations (the whole tree is about to be sent).
  void discard();

 private:
  struct pendingOp {
    pendingOp(const char* kind, std::uint64_t target) : op(kind), uid(target) {}
    const char* op;
    std::uint64_t uid;
    elementRef node;  // written at take time: insert, replace, content, count, scroll
    std::uint64_t parent = 0;
    std::size_t index = 0;
    std::string name;
    std::optional<std::string> text;
    std::uint32_t states = 0;
    std::optional<nlohmann::json> frozen;
  };

  bool fresh(std::uint64_t stamp) const { return stamp > epoch_; }
  // Whether the element's own attributes (coveredSelf) or its children (coveredKids)
  // go with a pending whole node; `earliest` gets the first such operation's number.
  bool coveredSelf(const element& e, std::uint64_t* earliest = nullptr) const;
  bool coveredKids(const element& e, std::uint64_t* earliest = nullptr) const;
  bool holdsFresh(const element& e) const;
  void freeze();
  std::uint64_t add(pendingOp op);
  void merge(pendingOp op, const std::string& key);
  void countChanged(element& list);
  void markRemoved(element& e, std::uint64_t at);
  nlohmann::json write(pendingOp& op);

  document& doc_;
  std::vector<pendingOp> ops_;
  std::uint64_t lastOp_ = 0;
  std::uint64_t epoch_ = 0;  // fresh stamps at or below it are spent
  // Merging: uid, kind and attribute name → index in ops_.
  std::unordered_map<std::string, std::size_t> merged_;
};

}  // namespace zv
