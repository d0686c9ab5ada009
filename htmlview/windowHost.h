#pragma once
// The console's windows and their bridge to the browser client.
//
// A window is a document with a title, a size, an owner window (0: none) and a modal
// flag. Its id is an event-loop window (platform/eventLoop.h), so messages and timers
// can be addressed to it; the same id names it on the wire (htmlview/wire.md). The main
// window is the first window opened without owner and not modal.
//
// The host is the browser host's sink: its callbacks arrive on the I/O thread and are
// handed to the user-interface thread as event-loop tasks; documents are touched there
// only. When a client attaches it gets every open window (main window first). Client
// frames are checked again against the console's own state: a window that is not open,
// a uid that is not in that window's document, input for a window under an open modal
// window, are dropped with a line in the diagnostic log. What remains is handed to the
// window's event handler as a clientEvent whose uids are elements; "rows" requests are
// answered here, "geometry" of the main window is recorded, "closeWindow" (and
// wm::close posted to the window) calls the window's close handler, which by default
// closes the window.
//
// The host does not change a document for an event: applying an input's value,
// moving the current row and the like are for the handler.
//
// After every message, task and timer tick the loop handles, the host sends each
// window's pending changes as one "batch" frame (flush() does it at other times, and
// opening a window does it first, so the new window comes over the state it was
// opened in); while no client is attached the changes are dropped, since the windows
// go whole on attach.
//
// runModal(window) runs a nested event loop until endModal() answers the window or it
// is closed; the window is closed when it returns. Without a client the loop simply
// keeps running: the box is shown when a client attaches.
//
// Threads: the hostSink callbacks may be called from any thread; everything else
// belongs to the user-interface thread. The host must outlive the browser host that
// calls it (declare it first); the event loop must outlive the host.

#include "htmlview/dom.h"
#include "htmlview/webHost.h"
#include "platform/eventLoop.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

enum class clientEventKind {
  click,
  dblclick,
  key,
  input,
  select,
  contextMenu,
  menuItem,
  popupDismissed,
  drop,
  scroll,
};

// The wire's name of the kind ("click", "contextmenu", "menuitem"...).
const char* clientEventName(clientEventKind kind);

struct keyModifiers {
  bool ctrl = false;
  bool shift = false;
  bool alt = false;
};

// One input of the client for a window, its uids resolved to elements of the window's
// document. Fields that the kind does not carry stay empty.
struct clientEvent {
  clientEventKind kind = clientEventKind::click;
  windowId window = 0;
  elementRef element;               // u: the element; for key the focused element or empty
  keyModifiers mods;                // click, dblclick, key
  std::string key;                  // key: DOM key name ("Enter", "s")
  std::string value;                // input: the control's new value
  elementRef row;                   // select: the chosen row of the list `element`
  elementRef target;                // drop: the drop zone `element` was dropped on
  std::size_t index = 0;            // drop: the position among the zone's children
  std::optional<std::string> href;  // click on a link: the attribute as written
  double x = 0;                     // click, contextmenu: inside the element
  double y = 0;
  double top = 0;  // scroll
};

using clientEventHandler = std::function<void(clientEvent&)>;

// The main window's browser window and screen, as the client reports them.
struct windowGeometry {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int screenWidth = 0;
  int screenHeight = 0;
};

// What a window is besides its document.
struct windowSpec {
  std::string title;
  int width = 400;
  int height = 300;
  windowId owner = 0;
  bool modal = false;
  std::vector<std::string> css;  // style sheet URLs ("/skin/common-body.css")
};

class windowHost final : public hostSink {
 public:
  // Where the frames go: the browser host's send, or a recording host in tests.
  using frameSender = std::function<void(const nlohmann::json& frame)>;

  explicit windowHost(eventLoop& loop);
  ~windowHost() override;
  windowHost(const windowHost&) = delete;
  windowHost& operator=(const windowHost&) = delete;

  void setSender(frameSender sender) { sender_ = std::move(sender); }

  // Opens a window; 0 (logged) when the owner is not an open window or the document
  // is missing. Sent at once when a client is attached.
  windowId openWindow(windowSpec spec, std::string_view html);
  windowId openWindow(windowSpec spec, std::unique_ptr<document> doc);
  // Closes the window and, first, the windows it owns. False when it was not open.
  bool closeWindow(windowId window);

  bool isOpen(windowId window) const { return windows_.count(window) != 0; }
  document* doc(windowId window) const;
  const windowSpec* spec(windowId window) const;
  windowId mainWindow() const { return main_; }
  // The topmost open modal window, else the main window (0 when neither is open): the
  // owner of a message box that names none.
  windowId activeWindow() const;
  // Open windows in the order they were opened.
  std::vector<windowId> openWindows() const;

  void setEventHandler(windowId window, clientEventHandler handler);
  // Called for the close control and wm::close; without one the window is closed.
  void setCloseHandler(windowId window, std::function<void()> handler);
  // Receives the window's other messages (timers, application messages).
  void setProcedure(windowId window, windowProc procedure);
  // What the close control does: the close handler, or closing the window.
  void requestClose(windowId window);

  // Runs a nested loop until endModal() answers the window or it is closed, then
  // closes it. The answer; nullopt when the window was closed unanswered, was not open,
  // already runs modally, or the loop was told to quit. endModal outside runModal does
  // nothing.
  std::optional<int> runModal(windowId window);
  void endModal(windowId window, int answer);

  // Sends every window's pending changes (drops them while no client is attached).
  void flush();

  bool clientAttached() const { return attached_; }
  // The last geometry the client reported for the main window.
  std::optional<windowGeometry> mainGeometry() const { return geometry_; }

  // hostSink: any thread; each hands its work to the user-interface thread.
  void onClientAttached() override;
  void onClientDetached() override;
  void onMessage(const nlohmann::json& frame) override;

 private:
  struct window {
    windowId id = 0;
    windowSpec spec;
    std::unique_ptr<document> doc;
    std::shared_ptr<clientEventHandler> onEvent;
    std::shared_ptr<std::function<void()>> onClose;
    std::shared_ptr<windowProc> procedure;
    std::uint64_t order = 0;               // opening order
    std::optional<int>* answer = nullptr;  // while runModal waits for it
  };

  window* find(windowId id) const;
  std::intptr_t windowMessage(windowId id, message& m);
  void send(const nlohmann::json& frame);
  nlohmann::json windowFrame(window& w);
  void attached();
  void handleFrame(const nlohmann::json& frame);
  bool acceptsInput(const window& w) const;
  void answerRows(window& w, const nlohmann::json& frame);
  void recordGeometry(const window& w, const nlohmann::json& frame);
  bool resolve(window& w, const nlohmann::json& frame, clientEvent& event);
  // Queues work for the user-interface thread; skipped once the host is gone.
  void onUiThread(std::function<void()> work);

  eventLoop& loop_;
  frameSender sender_;
  std::map<windowId, std::unique_ptr<window>> windows_;
  std::uint64_t nextOrder_ = 1;
  windowId main_ = 0;
  bool attached_ = false;
  std::optional<windowGeometry> geometry_;
  // Tasks queued for the loop hold a weak reference: they do nothing once it is gone.
  std::shared_ptr<windowHost*> self_;
};

}  // namespace zv
