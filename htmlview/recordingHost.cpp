#include "htmlview/recordingHost.h"

#include "htmlview/dom.h"

#include <algorithm>
#include <cctype>

namespace zv {
namespace {

using json = nlohmann::json;
using node = recordingHost::node;

// The attribute that carries a mirror node's uid into the copy used for selectors.
constexpr const char* mirrorUid = "data-zv-mirror";

std::unique_ptr<node> parseNode(const json& j);

std::vector<node::child> parseChildren(const json& c) {
  std::vector<node::child> out;
  for (const json& item : c) {
    node::child kid;
    if (item.is_string()) {
      kid.text = item.get<std::string>();
    } else {
      kid.element = parseNode(item);
    }
    out.push_back(std::move(kid));
  }
  return out;
}

std::unique_ptr<node> parseNode(const json& j) {
  auto n = std::make_unique<node>();
  n->uid = j.at("u").get<std::uint64_t>();
  n->tag = j.at("tag").get<std::string>();
  for (const json& a : j.value("a", json::array()))
    n->attrs.emplace_back(a.at(0).get<std::string>(), a.at(1).get<std::string>());
  n->states = j.value("s", 0u);
  if (j.contains("v")) n->value = j["v"].get<std::string>();
  if (j.contains("lazy")) {
    n->lazyCount = j["lazy"].at("count").get<std::size_t>();
  } else if (j.contains("c")) {
    n->children = parseChildren(j["c"]);
  }
  return n;
}

// Where a node sits: in `parent`'s children at `pos`, or among its lazy rows at `pos`.
struct place {
  node* parent = nullptr;
  node* self = nullptr;
  std::size_t pos = 0;
  bool row = false;
};

bool locate(node& at, std::uint64_t uid, place& out) {
  for (std::size_t i = 0; i < at.children.size(); ++i) {
    node* kid = at.children[i].element.get();
    if (!kid) continue;
    if (kid->uid == uid) {
      out = {&at, kid, i, false};
      return true;
    }
    if (locate(*kid, uid, out)) return true;
  }
  for (auto& [index, row] : at.rows) {
    if (row->uid == uid) {
      out = {&at, row.get(), index, true};
      return true;
    }
    if (locate(*row, uid, out)) return true;
  }
  return false;
}

node* findNode(node& root, std::uint64_t uid) {
  if (root.uid == uid) return &root;
  place p;
  return locate(root, uid, p) ? p.self : nullptr;
}

void appendText(const node& n, std::string& out) {
  if (n.tag == "br") out += '\n';
  if ((n.tag == "textarea" || n.tag == "plaintext") && n.value) out += *n.value;
  for (const node::child& kid : n.children) {
    if (kid.element) {
      appendText(*kid.element, out);
    } else {
      out += kid.text;
    }
  }
  for (const auto& [index, row] : n.rows) {
    appendText(*row, out);
    out += '\n';
  }
}

// Copies a mirror node into an engine element, so the engine's selectors can run on it.
void copyInto(document& doc, element& into, const node& n) {
  for (const auto& [name, value] : n.attrs) into.setAttribute(name, value);
  into.setAttribute(mirrorUid, std::to_string(n.uid));
  into.setStates(n.states, 0);
  auto addKid = [&](const node& kid) {
    elementRef e = doc.createElement(kid.tag);
    copyInto(doc, *e, kid);
    into.append(e);
  };
  for (const node::child& kid : n.children)
    if (kid.element) addKid(*kid.element);
  for (const auto& [index, row] : n.rows) addKid(*row);
}

void setAttr(node& n, const std::string& name, const json& value) {
  auto it = std::find_if(n.attrs.begin(), n.attrs.end(), [&](const auto& a) {
    return a.first.size() == name.size() &&
           std::equal(name.begin(), name.end(), a.first.begin(),
                      [](char x, char y) { return std::tolower(x) == std::tolower(y); });
  });
  if (value.is_null()) {
    if (it != n.attrs.end()) n.attrs.erase(it);
  } else if (it != n.attrs.end()) {
    it->second = value.get<std::string>();
  } else {
    n.attrs.emplace_back(name, value.get<std::string>());
  }
}

json treeJson(const node& n) {
  json attrs = json::array();
  for (const auto& [name, value] : n.attrs) attrs.push_back(json::array({name, value}));
  json out = {{"u", n.uid}, {"tag", n.tag}, {"a", std::move(attrs)}};
  if (n.states != 0) out["s"] = n.states;
  if (n.value) out["v"] = *n.value;
  if (n.lazyCount) {
    out["lazy"] = {{"count", *n.lazyCount}};
    return out;
  }
  json c = json::array();
  for (const node::child& kid : n.children) {
    if (kid.element) {
      c.push_back(treeJson(*kid.element));
    } else if (kid.text.empty()) {
      continue;
    } else if (!c.empty() && c.back().is_string()) {
      c.back() = c.back().get<std::string>() + kid.text;
    } else {
      c.push_back(kid.text);
    }
  }
  out["c"] = std::move(c);
  return out;
}

}  // namespace

const std::string* recordingHost::node::attribute(std::string_view name) const {
  for (const auto& [n, v] : attrs)
    if (n == name) return &v;
  return nullptr;
}

std::string recordingHost::node::text() const {
  std::string out;
  appendText(*this, out);
  return out;
}

std::vector<const node*> recordingHost::node::elements() const {
  std::vector<const node*> out;
  for (const child& kid : children)
    if (kid.element) out.push_back(kid.element.get());
  return out;
}

recordingHost::recordingHost(windowHost& windows) : windows_(windows) {
  windows_.setSender([this](const json& frame) { receive(frame); });
}

recordingHost::~recordingHost() {
  windows_.setSender(nullptr);
}

void recordingHost::attach() {
  attached_ = true;
  windows_.onClientAttached();
}

void recordingHost::detach() {
  attached_ = false;
  shown_.clear();
  order_.clear();
  windows_.onClientDetached();
}

std::vector<json> recordingHost::framesOf(std::string_view type) const {
  std::vector<json> out;
  for (const json& f : frames_)
    if (f.value("t", "") == type) out.push_back(f);
  return out;
}

const recordingHost::shownWindow* recordingHost::window(windowId id) const {
  auto it = shown_.find(id);
  return it == shown_.end() ? nullptr : &it->second;
}

std::vector<windowId> recordingHost::shownWindows() const {
  return order_;
}

json recordingHost::tree(windowId w) const {
  const shownWindow* shown = window(w);
  return shown && shown->root ? treeJson(*shown->root) : json();
}

const node* recordingHost::find(windowId w, std::uint64_t uid) const {
  const shownWindow* shown = window(w);
  return shown && shown->root ? findNode(*shown->root, uid) : nullptr;
}

std::vector<const node*> recordingHost::select(windowId w, std::string_view selector) const {
  std::vector<const node*> out;
  const shownWindow* shown = window(w);
  if (!shown || !shown->root) return out;
  document copy;
  if (shown->root->tag == "html") {
    copyInto(copy, copy.root(), *shown->root);
  } else {
    elementRef top = copy.createElement(shown->root->tag);
    copyInto(copy, *top, *shown->root);
    copy.root().append(top);
  }
  for (const elementRef& e : copy.selectAll(selector)) {
    std::uint64_t uid = std::stoull(std::string(e->attribute(mirrorUid).value_or("0")));
    if (const node* n = find(w, uid)) out.push_back(n);
  }
  return out;
}

const node* recordingHost::first(windowId w, std::string_view selector) const {
  std::vector<const node*> all = select(w, selector);
  return all.empty() ? nullptr : all.front();
}

std::string recordingHost::text(windowId w, std::string_view selector) const {
  const node* n = first(w, selector);
  return n ? n->text() : std::string();
}

// ---- frames from the console

void recordingHost::receive(const json& sent) {
  if (!attached_) return;  // nobody to receive it: dropped, as by the browser host
  // What the browser reads is the frame's text.
  json frame = json::parse(sent.dump(-1, ' ', false, json::error_handler_t::replace));
  frames_.push_back(frame);
  const std::string type = frame.value("t", "");
  if (type == "window") {
    showWindow(frame);
  } else if (type == "close") {
    windowId id = frame.at("w").get<windowId>();
    shown_.erase(id);
    std::erase(order_, id);
  } else if (type == "batch") {
    applyBatch(frame);
  } else if (type == "rows") {
    receiveRows(frame);
  }
}

void recordingHost::showWindow(const json& frame) {
  shownWindow w;
  w.id = frame.at("w").get<windowId>();
  w.title = frame.at("title").get<std::string>();
  w.width = frame.at("width").get<int>();
  w.height = frame.at("height").get<int>();
  w.owner = frame.at("owner").get<windowId>();
  w.modal = frame.at("modal").get<bool>();
  w.css = frame.at("css").get<std::vector<std::string>>();
  w.root = parseNode(frame.at("root"));
  windowId id = w.id;
  shown_[id] = std::move(w);
  std::erase(order_, id);
  order_.push_back(id);
  const shownWindow& shown = shown_[id];
  if (first(id, "body.messagebox")) {
    answerIfBox(shown);
  } else {
    runWindowScript(shown);
  }
}

void recordingHost::applyBatch(const json& frame) {
  auto it = shown_.find(frame.at("w").get<windowId>());
  if (it == shown_.end()) return;
  for (const json& op : frame.at("ops")) applyOp(it->second, op);
}

void recordingHost::applyOp(shownWindow& w, const json& op) {
  const std::string kind = op.at("op").get<std::string>();
  std::uint64_t uid = op.value("u", std::uint64_t(0));
  if (kind == "insert") {
    node* parent = findNode(*w.root, op.at("parent").get<std::uint64_t>());
    if (!parent || parent->lazyCount) {
      ++ignoredOps_;
      return;
    }
    // Before the element child at `index`, after the text in front of it.
    std::size_t index = op.at("index").get<std::size_t>();
    std::size_t pos = parent->children.size();
    std::size_t seen = 0;
    for (std::size_t i = 0; i < parent->children.size(); ++i) {
      if (!parent->children[i].element) continue;
      if (seen++ == index) {
        pos = i;
        break;
      }
    }
    node::child kid;
    kid.element = parseNode(op.at("node"));
    parent->children.insert(parent->children.begin() + std::ptrdiff_t(pos), std::move(kid));
    return;
  }
  if (kind == "replace" && w.root->uid == uid) {
    w.root = parseNode(op.at("node"));
    return;
  }
  place p;
  node* target = w.root->uid == uid ? w.root.get() : nullptr;
  if (!target && locate(*w.root, uid, p)) target = p.self;
  if (!target) {
    ++ignoredOps_;
    return;
  }
  if (kind == "replace" || kind == "remove") {
    if (!p.parent) {
      ++ignoredOps_;  // the root is replaced above and never removed
      return;
    }
    if (p.row) {
      if (kind == "replace") {
        p.parent->rows[p.pos] = parseNode(op.at("node"));
      } else {
        p.parent->rows.erase(p.pos);
      }
    } else if (kind == "replace") {
      p.parent->children[p.pos].element = parseNode(op.at("node"));
    } else {
      p.parent->children.erase(p.parent->children.begin() + std::ptrdiff_t(p.pos));
    }
  } else if (kind == "attr") {
    setAttr(*target, op.at("name").get<std::string>(), op.at("value"));
  } else if (kind == "state") {
    target->states = op.at("s").get<std::uint32_t>();
  } else if (kind == "value") {
    target->value = op.at("v").get<std::string>();
  } else if (kind == "content") {
    target->lazyCount.reset();
    target->rows.clear();
    target->children = parseChildren(op.at("c"));
  } else if (kind == "count") {
    // The client asks again for the rows it shows.
    target->lazyCount = op.at("count").get<std::size_t>();
    target->rows.clear();
  } else if (kind == "scroll") {
    w.scrolled.push_back(uid);
  } else if (kind == "focus") {
    w.focused = uid;
  } else {
    ++ignoredOps_;
  }
}

void recordingHost::receiveRows(const json& frame) {
  auto it = shown_.find(frame.at("w").get<windowId>());
  if (it == shown_.end()) return;
  node* list = findNode(*it->second.root, frame.at("u").get<std::uint64_t>());
  if (!list) {
    ++ignoredOps_;
    return;
  }
  list->lazyCount = frame.at("count").get<std::size_t>();
  std::size_t index = frame.at("from").get<std::size_t>();
  for (const json& n : frame.at("nodes")) list->rows[index++] = parseNode(n);
}

// ---- scripts

void recordingHost::answerBox(std::string fragment, boxAnswer answer) {
  boxScript_.push_back({std::move(fragment), boxButtonId(answer), nullptr});
}

void recordingHost::onBox(std::string fragment, std::function<void(windowId)> action) {
  boxScript_.push_back({std::move(fragment), {}, std::move(action)});
}

void recordingHost::onWindow(std::string titleFragment, std::function<void(windowId)> action) {
  windowScript_.push_back({std::move(titleFragment), std::move(action)});
}

std::size_t recordingHost::unscriptedBoxes() const {
  return std::size_t(
      std::count_if(boxes_.begin(), boxes_.end(), [](const shownBox& b) { return !b.scripted; }));
}

void recordingHost::answerIfBox(const shownWindow& w) {
  shownBox box;
  box.window = w.id;
  box.caption = w.title;
  box.text = text(w.id, ".box-text");
  for (const node* button : select(w.id, ".box-buttons button"))
    if (const std::string* id = button->attribute("id")) box.buttons.push_back(*id);
  if (const std::string* classes = first(w.id, "body")->attribute("class")) {
    std::size_t at = classes->find("icon-");
    if (at != std::string::npos)
      box.icon = classes->substr(at + 5, classes->find(' ', at) - at - 5);
  }
  auto step = std::find_if(boxScript_.begin(), boxScript_.end(), [&](const boxStep& s) {
    return box.caption.find(s.fragment) != std::string::npos ||
           box.text.find(s.fragment) != std::string::npos;
  });
  std::function<void(windowId)> action;
  if (step != boxScript_.end()) {
    action = std::move(step->action);
    std::string wanted = std::move(step->button);
    boxScript_.erase(step);
    box.scripted =
        action || std::find(box.buttons.begin(), box.buttons.end(), wanted) != box.buttons.end();
    if (box.scripted && !action) box.answer = wanted;
  }
  // Unscripted, or scripted with a button the box does not have: the default button.
  if (!box.scripted && !box.buttons.empty()) box.answer = box.buttons.front();
  windowId id = w.id;
  std::string answer = box.answer;
  boxes_.push_back(std::move(box));
  if (action) {
    action(id);
  } else if (!answer.empty()) {
    click(id, "#" + answer);
  }
}

void recordingHost::runWindowScript(const shownWindow& w) {
  auto step = std::find_if(windowScript_.begin(), windowScript_.end(), [&](const windowStep& s) {
    return w.title.find(s.fragment) != std::string::npos;
  });
  if (step == windowScript_.end()) return;
  std::function<void(windowId)> action = std::move(step->action);
  windowScript_.erase(step);
  action(w.id);
}

// ---- input to the console

std::uint64_t recordingHost::uidOf(windowId w, std::string_view selector) const {
  const node* n = first(w, selector);
  return n ? n->uid : 0;
}

json recordingHost::frameFor(const char* type, windowId w, std::uint64_t uid) const {
  return json{{"t", type}, {"w", w}, {"u", uid}};
}

void recordingHost::send(json frame) {
  windows_.onMessage(frame);
}

namespace {

json modsJson(const keyModifiers& mods) {
  return json{{"ctrl", mods.ctrl}, {"shift", mods.shift}, {"alt", mods.alt}};
}

}  // namespace

bool recordingHost::click(windowId w, std::string_view selector, keyModifiers mods) {
  std::uint64_t uid = uidOf(w, selector);
  if (!uid) return false;
  json f = frameFor("click", w, uid);
  f["mods"] = modsJson(mods);
  f["x"] = 1;
  f["y"] = 1;
  send(std::move(f));
  return true;
}

bool recordingHost::clickLink(windowId w, std::string_view selector) {
  const node* n = first(w, selector);
  const std::string* href = n ? n->attribute("href") : nullptr;
  if (!href) return false;
  json f = frameFor("click", w, n->uid);
  f["mods"] = modsJson({});
  f["x"] = 1;
  f["y"] = 1;
  f["href"] = *href;
  send(std::move(f));
  return true;
}

bool recordingHost::dblclick(windowId w, std::string_view selector, keyModifiers mods) {
  std::uint64_t uid = uidOf(w, selector);
  if (!uid) return false;
  json f = frameFor("dblclick", w, uid);
  f["mods"] = modsJson(mods);
  send(std::move(f));
  return true;
}

bool recordingHost::input(windowId w, std::string_view selector, std::string_view value) {
  std::uint64_t uid = uidOf(w, selector);
  if (!uid) return false;
  findNode(*shown_.at(w).root, uid)->value = std::string(value);
  json f = frameFor("input", w, uid);
  f["v"] = value;
  send(std::move(f));
  return true;
}

bool recordingHost::key(windowId w, std::string_view selector, std::string_view keyName,
                        keyModifiers mods) {
  std::uint64_t uid = 0;
  if (!selector.empty() && !(uid = uidOf(w, selector))) return false;
  json f = frameFor("key", w, uid);
  f["key"] = keyName;
  f["mods"] = modsJson(mods);
  send(std::move(f));
  return true;
}

bool recordingHost::choose(windowId w, std::string_view list, std::string_view row) {
  std::uint64_t listUid = uidOf(w, list);
  std::uint64_t rowUid = uidOf(w, row);
  if (!listUid || !rowUid) return false;
  json f = frameFor("select", w, listUid);
  f["row"] = rowUid;
  send(std::move(f));
  return true;
}

bool recordingHost::contextMenu(windowId w, std::string_view selector) {
  std::uint64_t uid = uidOf(w, selector);
  if (!uid) return false;
  json f = frameFor("contextmenu", w, uid);
  f["x"] = 1;
  f["y"] = 1;
  send(std::move(f));
  return true;
}

bool recordingHost::menuItem(windowId w, std::string_view selector) {
  std::uint64_t uid = uidOf(w, selector);
  if (!uid) return false;
  send(frameFor("menuitem", w, uid));
  return true;
}

bool recordingHost::dismissPopup(windowId w, std::string_view selector) {
  std::uint64_t uid = uidOf(w, selector);
  if (!uid) return false;
  send(frameFor("popupDismissed", w, uid));
  return true;
}

bool recordingHost::drop(windowId w, std::string_view dragged, std::string_view zone,
                         std::size_t index) {
  std::uint64_t uid = uidOf(w, dragged);
  std::uint64_t zoneUid = uidOf(w, zone);
  if (!uid || !zoneUid) return false;
  json f = frameFor("drop", w, uid);
  f["target"] = zoneUid;
  f["index"] = index;
  send(std::move(f));
  return true;
}

bool recordingHost::scroll(windowId w, std::string_view selector, double top) {
  std::uint64_t uid = uidOf(w, selector);
  if (!uid) return false;
  json f = frameFor("scroll", w, uid);
  f["top"] = top;
  send(std::move(f));
  return true;
}

bool recordingHost::askRows(windowId w, std::string_view list, std::size_t from, std::size_t to) {
  std::uint64_t uid = uidOf(w, list);
  if (!uid) return false;
  json f = frameFor("rows", w, uid);
  f["from"] = from;
  f["to"] = to;
  send(std::move(f));
  return true;
}

void recordingHost::closeWindow(windowId w) {
  send(json{{"t", "closeWindow"}, {"w", w}});
}

void recordingHost::reportGeometry(windowId w, const windowGeometry& g) {
  send(json{{"t", "geometry"},
            {"w", w},
            {"x", g.x},
            {"y", g.y},
            {"width", g.width},
            {"height", g.height},
            {"screenWidth", g.screenWidth},
            {"screenHeight", g.screenHeight}});
}

}  // namespace zv
