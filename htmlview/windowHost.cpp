#include "htmlview/windowHost.h"

#include "htmlview/clientFrames.h"
#include "platform/diagnostics.h"
#include "platform/windowMessages.h"

#include <algorithm>

namespace zv {
namespace {

using json = nlohmann::json;

// A client asks for the rows it shows plus a screen each side; more is not served.
constexpr std::size_t maxRowsPerRequest = 1000;

// The frame types that carry input for the window's document.
constexpr std::string_view inputTypes[] = {"click",  "dblclick",    "key",      "input",
                                           "select", "contextmenu", "menuitem", "popupDismissed",
                                           "drop",   "scroll",      "resized"};

bool isInputType(std::string_view type) {
  return std::find(std::begin(inputTypes), std::end(inputTypes), type) != std::end(inputTypes);
}

// Screen coordinates; the client's numbers are bounded to something sane.
int coordinate(const json& v) {
  constexpr std::int64_t limit = 1000000;
  if (v.is_number_unsigned()) return int(std::min<std::uint64_t>(v.get<std::uint64_t>(), limit));
  return int(std::clamp<std::int64_t>(v.get<std::int64_t>(), -limit, limit));
}

}  // namespace

windowHost::windowHost(eventLoop& loop) : loop_(loop), self_(std::make_shared<windowHost*>(this)) {
  loop_.setAfterEach([this] { flush(); });
}

windowHost::~windowHost() {
  loop_.setAfterEach(nullptr);
  self_.reset();
  for (auto& [id, w] : windows_) loop_.destroyWindow(id);
}

windowHost::window* windowHost::find(windowId id) const {
  auto it = windows_.find(id);
  return it == windows_.end() ? nullptr : it->second.get();
}

document* windowHost::doc(windowId id) const {
  window* w = find(id);
  return w ? w->doc.get() : nullptr;
}

const windowSpec* windowHost::spec(windowId id) const {
  window* w = find(id);
  return w ? &w->spec : nullptr;
}

std::vector<windowId> windowHost::openWindows() const {
  std::vector<const window*> open;
  for (const auto& [id, w] : windows_) open.push_back(w.get());
  std::sort(open.begin(), open.end(),
            [](const window* a, const window* b) { return a->order < b->order; });
  std::vector<windowId> ids;
  for (const window* w : open) ids.push_back(w->id);
  return ids;
}

windowId windowHost::activeWindow() const {
  const window* top = nullptr;
  for (const auto& [id, w] : windows_)
    if (w->spec.modal && (!top || w->order > top->order)) top = w.get();
  return top ? top->id : main_;
}

windowId windowHost::openWindow(windowSpec spec, std::string_view html) {
  auto doc = std::make_unique<document>();
  doc->load(html);
  return openWindow(std::move(spec), std::move(doc));
}

windowId windowHost::openWindow(windowSpec spec, std::unique_ptr<document> doc) {
  ZV_ASSERT_UI_THREAD();
  if (!doc) {
    ZV_REPORT("window host: window \"%s\" has no document", spec.title.c_str());
    return 0;
  }
  if (spec.owner != 0 && !isOpen(spec.owner)) {
    ZV_REPORT("window host: window \"%s\" names owner %u, which is not open", spec.title.c_str(),
              unsigned(spec.owner));
    return 0;
  }
  // The procedure looks the window up by id, so it stays valid whatever happens to the
  // host's table.
  auto alive = std::weak_ptr<windowHost*>(self_);
  windowId id = loop_.createWindow([alive](message& m) -> std::intptr_t {
    auto self = alive.lock();
    return self ? (*self)->windowMessage(m.window, m) : 0;
  });
  auto w = std::make_unique<window>();
  w->id = id;
  w->spec = std::move(spec);
  w->doc = std::move(doc);
  w->order = nextOrder_++;
  w->router = std::make_unique<eventRouter>(*w->doc);
  w->router->setScheduler([this, alive](std::function<void()> task) {
    loop_.postTask([alive, task = std::move(task)] {
      if (alive.lock()) task();
    });
  });
  if (styles_) {
    for (const std::string& url : w->spec.css) {
      if (std::optional<std::string> css = styles_(url)) w->router->addStyleSheet(*css);
    }
  }
  w->router->settle();
  if (main_ == 0 && w->spec.owner == 0 && !w->spec.modal) main_ = id;
  // The other windows' changes go first: the client draws the new window over the
  // state in which it was opened.
  flush();
  window& opened = *w;
  windows_.emplace(id, std::move(w));
  if (attached_) {
    send(windowFrame(opened));
  } else {
    opened.doc->takeBatch();  // the whole tree goes on attach
  }
  return id;
}

bool windowHost::closeWindow(windowId id) {
  ZV_ASSERT_UI_THREAD();
  if (!isOpen(id)) return false;
  // Owned windows go first, as their owner's children.
  std::vector<windowId> owned;
  for (const auto& [other, w] : windows_)
    if (w->spec.owner == id) owned.push_back(other);
  for (windowId other : owned) closeWindow(other);

  auto it = windows_.find(id);
  if (it == windows_.end()) return false;  // a close handler of an owned window closed it
  std::unique_ptr<window> gone = std::move(it->second);
  windows_.erase(it);
  if (main_ == id) main_ = 0;
  loop_.destroyWindow(id);
  if (attached_) send(json{{"t", "close"}, {"w", id}});
  // A router in the middle of an event must not be destroyed under it.
  if (handling_ > 0) retired_.push_back(std::move(gone));
  return true;
}

void windowHost::setEventHandler(windowId id, windowEventHandler handler) {
  window* w = find(id);
  if (!w) return;
  auto shared = std::make_shared<windowEventHandler>(std::move(handler));
  w->onEvent = shared;
  // The router holds the handler by value; the handler may close its own window.
  w->router->setApplicationHandler([shared](uiEvent& e) { return *shared && (*shared)(e); });
}

eventRouter* windowHost::router(windowId id) const {
  window* w = find(id);
  return w ? w->router.get() : nullptr;
}

void windowHost::setCloseHandler(windowId id, std::function<void()> handler) {
  if (window* w = find(id))
    w->onClose = std::make_shared<std::function<void()>>(std::move(handler));
}

void windowHost::setProcedure(windowId id, windowProc procedure) {
  if (window* w = find(id)) w->procedure = std::make_shared<windowProc>(std::move(procedure));
}

void windowHost::requestClose(windowId id) {
  window* w = find(id);
  if (!w) return;
  if (w->onClose && *w->onClose) {
    auto handler = w->onClose;  // the handler may close the window and free its slot
    (*handler)();
  } else {
    closeWindow(id);
  }
}

std::intptr_t windowHost::windowMessage(windowId id, message& m) {
  window* w = find(id);
  if (!w) return 0;
  if (m.id == wm::close) {
    requestClose(id);
    return 0;
  }
  if (!w->procedure) return 0;
  auto procedure = w->procedure;
  return (*procedure)(m);
}

std::optional<int> windowHost::runModal(windowId id) {
  ZV_ASSERT_UI_THREAD();
  window* w = find(id);
  if (!w) return std::nullopt;
  if (w->answer) {
    ZV_REPORT("window host: window %u already runs modally", unsigned(id));
    return std::nullopt;
  }
  std::optional<int> answer;
  w->answer = &answer;
  // What the caller changed before asking shows while the window waits.
  flush();
  loop_.runModal([this, id, &answer] { return answer.has_value() || !isOpen(id); });
  if (window* current = find(id)) {
    current->answer = nullptr;
    closeWindow(id);
  }
  return answer;
}

void windowHost::endModal(windowId id, int answer) {
  window* w = find(id);
  if (!w || !w->answer) return;
  *w->answer = answer;
}

void windowHost::send(const json& frame) {
  if (sender_) sender_(frame);
}

json windowHost::windowFrame(window& w) {
  json frame{{"t", "window"},
             {"w", w.id},
             {"title", w.spec.title},
             {"width", w.spec.width},
             {"height", w.spec.height},
             {"owner", w.spec.owner},
             {"modal", w.spec.modal},
             {"sizable", w.spec.sizable},
             {"root", w.doc->snapshot()},
             {"css", w.spec.css}};
  if (w.spec.minWidth > 0) frame["minWidth"] = w.spec.minWidth;
  if (w.spec.minHeight > 0) frame["minHeight"] = w.spec.minHeight;
  return frame;
}

void windowHost::flush() {
  ZV_ASSERT_UI_THREAD();
  for (windowId id : openWindows()) {
    window* w = find(id);
    if (!w || !w->doc->hasChanges()) continue;
    json ops = w->doc->takeBatch();
    if (attached_ && !ops.empty()) send(json{{"t", "batch"}, {"w", id}, {"ops", std::move(ops)}});
  }
}

void windowHost::setClipboard(std::string_view text) {
  if (attached_) send(json{{"t", "clipboard"}, {"text", std::string(text)}});
}

void windowHost::openInBrowser(std::string_view url) {
  if (attached_) send(json{{"t", "open"}, {"url", std::string(url)}});
}

void windowHost::setWaitCursor(bool wait) {
  if (attached_) send(json{{"t", "cursor"}, {"wait", wait}});
}

void windowHost::onUiThread(std::function<void()> work) {
  std::weak_ptr<windowHost*> alive = self_;
  loop_.postTask([alive, work = std::move(work)] {
    if (alive.lock()) work();
  });
}

void windowHost::onClientAttached() {
  onUiThread([this] { attached(); });
}

void windowHost::onClientDetached() {
  onUiThread([this] { attached_ = false; });
}

void windowHost::onMessage(const json& frame) {
  ++queued_;
  onUiThread([this, frame] {
    --queued_;
    handleFrame(frame);
  });
}

void windowHost::attached() {
  attached_ = true;
  std::vector<windowId> order = openWindows();
  if (main_ != 0) {
    std::erase(order, main_);
    order.insert(order.begin(), main_);
  }
  for (windowId id : order) send(windowFrame(*find(id)));
}

bool windowHost::acceptsInput(const window& w) const {
  // Everything under the topmost modal window is disabled, as its owner is.
  windowId top = activeWindow();
  if (top == 0 || top == main_) return true;
  return w.order >= find(top)->order;
}

void windowHost::handleFrame(const json& received) {
  ZV_ASSERT_UI_THREAD();
  // The browser host checked the frame already; a sink does not rely on its caller.
  checkedFrame checked = checkClientFrame(received);
  if (!checked.frame) {
    logMessage("window host: dropped a client frame: %s", checked.problem.c_str());
    return;
  }
  const json& frame = *checked.frame;
  const std::string& type = frame.at("t").get_ref<const std::string&>();
  windowId id = windowId(std::min<std::uint64_t>(frame.at("w").get<std::uint64_t>(), UINT32_MAX));
  window* w = find(id);
  if (!w) {
    logMessage("window host: dropped %s for window %llu, which is not open", type.c_str(),
               static_cast<unsigned long long>(frame.at("w").get<std::uint64_t>()));
    return;
  }
  if (type == "rows") {
    answerRows(*w, frame);
    return;
  }
  if (type == "geometry") {
    recordGeometry(*w, frame);
    return;
  }
  bool input = isInputType(type);
  bool passive = type == "scroll" || type == "popupDismissed";
  if (!passive && !acceptsInput(*w)) {
    logMessage("window host: dropped %s for window %u under a modal window", type.c_str(),
               unsigned(id));
    return;
  }
  if (type == "closeWindow") {
    requestClose(id);
    return;
  }
  if (!input) {
    logMessage("window host: dropped a frame of type %s", type.c_str());
    return;
  }
  ++handling_;
  routeInput(*w, frame, type);
  if (--handling_ == 0) retired_.clear();
}

void windowHost::routeInput(window& w, const json& frame, const std::string& type) {
  // Every uid must name an element of this window's document (0 for "no focus" aside).
  for (const char* field : {"u", "row", "target"}) {
    auto it = frame.find(field);
    if (it == frame.end()) continue;
    std::uint64_t uid = it->get<std::uint64_t>();
    if (uid == 0 && type == "key") continue;
    if (!w.doc->find(uid)) {
      logMessage("window host: dropped %s for window %u: no element %llu", type.c_str(),
                 unsigned(w.id), static_cast<unsigned long long>(uid));
      return;
    }
  }
  std::optional<uiEvent> event = eventFromClientFrame(frame, *w.doc);
  if (!event) {
    logMessage("window host: dropped %s for window %u: an element it names is not there",
               type.c_str(), unsigned(w.id));
    return;
  }
  if (event->kind == eventKind::select && !event->source->contains(*event->target)) {
    logMessage("window host: dropped select for window %u: the row is not in the list",
               unsigned(w.id));
    return;
  }
  w.router->dispatch(std::move(*event));
}

void windowHost::answerRows(window& w, const json& frame) {
  std::uint64_t uid = frame.at("u").get<std::uint64_t>();
  std::uint64_t from = frame.at("from").get<std::uint64_t>();
  std::uint64_t to = std::min(frame.at("to").get<std::uint64_t>(), from + maxRowsPerRequest);
  // Changes still pending come first, so the rows and the count match the batches.
  flush();
  json rows = w.doc->rows(uid, std::size_t(std::min<std::uint64_t>(from, SIZE_MAX)),
                          std::size_t(std::min<std::uint64_t>(to, SIZE_MAX)));
  if (rows.is_null()) {
    logMessage("window host: dropped rows for window %u: no element %llu", unsigned(w.id),
               static_cast<unsigned long long>(uid));
    return;
  }
  rows["t"] = "rows";
  rows["w"] = w.id;
  send(rows);
}

void windowHost::recordGeometry(const window& w, const json& frame) {
  if (w.id != main_) {
    logMessage("window host: dropped geometry for window %u, which is not the main window",
               unsigned(w.id));
    return;
  }
  windowGeometry g;
  g.x = coordinate(frame.at("x"));
  g.y = coordinate(frame.at("y"));
  g.width = coordinate(frame.at("width"));
  g.height = coordinate(frame.at("height"));
  g.screenWidth = coordinate(frame.at("screenWidth"));
  g.screenHeight = coordinate(frame.at("screenHeight"));
  // The window is kept on the screen the client reported, itself bounded to what
  // screens are: a forged geometry cannot place the next window far off any screen.
  constexpr int largestScreen = 16384;
  constexpr int smallestWindow = 100;
  if (g.screenWidth < smallestWindow || g.screenHeight < smallestWindow) {
    logMessage("window host: dropped geometry with a screen of %dx%d", g.screenWidth,
               g.screenHeight);
    return;
  }
  g.screenWidth = std::min(g.screenWidth, largestScreen);
  g.screenHeight = std::min(g.screenHeight, largestScreen);
  g.width = std::clamp(g.width, smallestWindow, g.screenWidth);
  g.height = std::clamp(g.height, smallestWindow, g.screenHeight);
  // Within a screen's breadth of the reported one (a screen beside it may have
  // negative coordinates); the session moves a window whose centre is off it back on.
  g.x = std::clamp(g.x, -g.screenWidth, g.screenWidth);
  g.y = std::clamp(g.y, -g.screenHeight, g.screenHeight);
  geometry_ = g;
}

}  // namespace zv
