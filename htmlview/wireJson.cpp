// The wire form of nodes (htmlview/wire.md).
#include "htmlview/dom.h"
#include "htmlview/patches.h"

#include <nlohmann/json.hpp>

namespace zv {

nlohmann::json document::nodeJson(element& e) {
  using nlohmann::json;
  if (e.kids_.empty() && !fillers_.empty()) fillRow(e);
  json node = {{"u", e.uid_}, {"tag", e.tag_}};
  json attrs = json::array();
  for (const auto& [name, value] : e.attrs_) attrs.push_back(json::array({name, value}));
  node["a"] = std::move(attrs);
  if (e.states_ != 0) node["s"] = e.states_;
  if (e.hasValue()) node["v"] = e.value();
  if (e.kids_.size() > lazyThreshold_) {
    e.sentLazy_ = true;
    node["lazy"] = {{"count", e.kids_.size()}};
  } else if (e.tag_ == "textarea" || e.tag_ == "plaintext") {
    // Their text is the value.
    e.sentLazy_ = false;
    node["c"] = json::array();
  } else {
    node["c"] = childrenJson(e);
  }
  return node;
}

nlohmann::json document::childrenJson(element& e) {
  using nlohmann::json;
  e.sentLazy_ = false;
  json c = json::array();
  for (elementRef& k : e.kids_) {
    if (!k->before_.empty()) c.push_back(k->before_);
    c.push_back(nodeJson(*k));
  }
  if (!e.trailing_.empty()) c.push_back(e.trailing_);
  return c;
}

nlohmann::json document::snapshot() {
  if (observer_) observer_->beforeTaking();
  recorder_->discard();
  return nodeJson(*root_);
}

nlohmann::json document::rows(std::uint64_t uid, std::size_t from, std::size_t to) {
  using nlohmann::json;
  element* list = find(uid);
  if (!list) return nullptr;
  std::size_t count = list->kids_.size();
  to = std::min(to, count);
  json nodes = json::array();
  for (std::size_t i = from; i < to; ++i) nodes.push_back(nodeJson(*list->kids_[i]));
  return {{"u", uid}, {"from", from}, {"nodes", std::move(nodes)}, {"count", count}};
}

}  // namespace zv
