#pragma once
// The console's windows and their bridge to the browser client.
//
// A window is a document with a title, a size, an owner window (0: none), a modal flag
// and whether the user may resize it. Its id is an event-loop window
// (platform/eventLoop.h), so messages and timers can be addressed to it; the same id
// names it on the wire (htmlview/wire.md). The main
// window is the first window opened without owner and not modal.
//
// The host is the browser host's sink: its callbacks arrive on the I/O thread and are
// handed to the user-interface thread as event-loop tasks; documents are touched there
// only. When a client attaches it gets every open window (main window first). Client
// frames are checked again against the console's own state: a window that is not open,
// a uid that is not in that window's document, input for a window under an open modal
// window, are dropped with a line in the diagnostic log. What remains is handed to the
// window's event router (htmlview/eventRouter.h) as a uiEvent whose uids are elements:
// behaviours take it first, then the window's application handler, then the control's
// own action. "rows" requests are answered here, "geometry" of the main window is recorded,
// "closeWindow" (and wm::close posted to the window) calls the window's close handler, which by
// default closes the window.
//
// Each window's router attaches behaviours from the document's own <style> elements and
// from the window's `css` sheets (read through the style sheet source). A window closed
// while one of its events is being handled is destroyed once that handling is over.
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
#include "htmlview/eventRouter.h"
#include "htmlview/events.h"
#include "htmlview/webHost.h"
#include "platform/eventLoop.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// The window's application handler: gets the events that no behaviour took on their
// way up (htmlview/eventRouter.h); true when it handled one.
using windowEventHandler = std::function<bool(uiEvent&)>;

// Reads a style sheet named by a window's `css` URL ("/skin/main-tabs.css"); nullopt when
// it cannot be read. The behaviours that the sheet names are attached to the window's
// elements.
using styleSheetSource = std::function<std::optional<std::string>(const std::string& url)>;

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
  bool sizable = false;          // the user may resize it (a sizing border)
  // The least size the user may give a sizable window; 0: the client's own least size.
  int minWidth = 0;
  int minHeight = 0;
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
  // Where the windows' `css` sheets are read for their behaviour declarations; windows
  // opened before it is set get none from them.
  void setStyleSheetSource(styleSheetSource source) { styles_ = std::move(source); }

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

  void setEventHandler(windowId window, windowEventHandler handler);
  // The window's event router (post, send, method calls); nullptr when it is not open.
  eventRouter* router(windowId window) const;
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

  // Frames for the browser itself (dropped while no client is attached): put text on
  // its clipboard, open a page in a new tab, show or end the wait cursor.
  void setClipboard(std::string_view text);
  void openInBrowser(std::string_view url);
  void setWaitCursor(bool wait);

  bool clientAttached() const { return attached_; }
  // The last geometry the client reported for the main window.
  std::optional<windowGeometry> mainGeometry() const { return geometry_; }

  // hostSink: any thread; each hands its work to the user-interface thread.
  void onClientAttached() override;
  void onClientDetached() override;
  void onMessage(const nlohmann::json& frame) override;
  std::size_t queuedFrames() const override { return queued_; }

 private:
  struct window {
    windowId id = 0;
    windowSpec spec;
    std::unique_ptr<document> doc;
    std::unique_ptr<eventRouter> router;  // after doc: goes first, as it observes doc
    std::shared_ptr<windowEventHandler> onEvent;
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
  void routeInput(window& w, const nlohmann::json& frame, const std::string& type);
  // Queues work for the user-interface thread; skipped once the host is gone.
  void onUiThread(std::function<void()> work);

  eventLoop& loop_;
  frameSender sender_;
  styleSheetSource styles_;
  // Windows closed while an event was being handled; destroyed when it is over.
  std::vector<std::unique_ptr<window>> retired_;
  int handling_ = 0;
  std::map<windowId, std::unique_ptr<window>> windows_;
  std::uint64_t nextOrder_ = 1;
  windowId main_ = 0;
  bool attached_ = false;
  std::optional<windowGeometry> geometry_;
  // Tasks queued for the loop hold a weak reference: they do nothing once it is gone.
  std::shared_ptr<windowHost*> self_;
  // Client frames handed to the loop and not yet handled.
  std::atomic<std::size_t> queued_{0};
};

}  // namespace zv
