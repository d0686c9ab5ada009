#pragma once
// A stand-in for the browser client, for tests of the console's windows.
//
// It takes the place of the browser host: the window host sends it its frames, which it
// records and applies to a mirror of every window, as the client would draw them
// (htmlview/wire.md), so a test asserts what the user would see. It sends input the
// way the client does (click, input, key, select...), addressed by uids it finds in the
// mirror with the engine's selectors; the window host handles that input when the
// event loop runs (pump() or a modal loop).
//
// Message boxes are answered from a script: answerBox() queues an answer for the next
// box whose caption or text contains a fragment, onBox() an action of the test's own
// (close it, press Escape...). A box nobody scripted is answered with its default
// (first) button and counted, so a test can insist on none. Other windows can be
// driven the same way with onWindow(). Actions run when the window arrives, inside the
// console's call that opened it: they should only send input, which the loop handles
// afterwards.
//
// Like the real client it receives nothing while detached; it starts detached, and
// attach() is handled by the loop like a real connection.
//
// User-interface thread only; the window host must outlive it.

#include "htmlview/messageBoxWindow.h"
#include "htmlview/windowHost.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

class recordingHost {
 public:
  // One element as the client holds it.
  struct node {
    struct child {
      std::string text;  // a text run, when `element` is empty
      std::unique_ptr<node> element;
    };
    std::uint64_t uid = 0;
    std::string tag;
    std::vector<std::pair<std::string, std::string>> attrs;
    std::uint32_t states = 0;
    std::optional<std::string> value;
    std::vector<child> children;
    // A list sent lazily: its length, and the rows received so far by index.
    std::optional<std::size_t> lazyCount;
    std::map<std::size_t, std::unique_ptr<node>> rows;

    const std::string* attribute(std::string_view name) const;
    bool hasState(std::uint32_t bits) const { return (states & bits) == bits; }
    // The text as drawn: text runs and children's text, br as a line break; a lazy
    // list's received rows one per line.
    std::string text() const;
    std::vector<const node*> elements() const;
  };

  struct shownWindow {
    windowId id = 0;
    std::string title;
    int width = 0;
    int height = 0;
    windowId owner = 0;
    bool modal = false;
    std::vector<std::string> css;
    std::unique_ptr<node> root;
    std::uint64_t focused = 0;            // the last focus operation's uid
    std::vector<std::uint64_t> scrolled;  // scroll operations, in order
  };

  struct shownBox {
    windowId window = 0;
    std::string caption;
    std::string text;
    std::vector<std::string> buttons;  // ids, in order
    std::string icon;                  // "error", "warning"..., empty for none
    std::string answer;                // the button id clicked; empty after an onBox action
    bool scripted = false;
  };

  explicit recordingHost(windowHost& windows);
  ~recordingHost();
  recordingHost(const recordingHost&) = delete;
  recordingHost& operator=(const recordingHost&) = delete;

  // A client connects or leaves (handled when the loop runs); leaving clears the mirror.
  void attach();
  void detach();
  bool attached() const { return attached_; }

  // Every frame received, in order, as read back from its text.
  const std::vector<nlohmann::json>& frames() const { return frames_; }
  // The received frames of one type ("batch", "open"...).
  std::vector<nlohmann::json> framesOf(std::string_view type) const;
  void clearFrames() { frames_.clear(); }

  // The mirror.
  const shownWindow* window(windowId id) const;
  // Open windows in the order they arrived.
  std::vector<windowId> shownWindows() const;
  const node* find(windowId w, std::uint64_t uid) const;
  // Elements matching a selector (htmlview/selector.h), in document order.
  std::vector<const node*> select(windowId w, std::string_view selector) const;
  const node* first(windowId w, std::string_view selector) const;
  // The text of the first match; empty when nothing matches.
  std::string text(windowId w, std::string_view selector) const;
  // The mirror of a window in the wire's node form with adjacent text runs joined:
  // what a window frame of the console's document would carry now. Null when the
  // window is not shown.
  nlohmann::json tree(windowId w) const;
  // Operations naming a uid the mirror does not hold (ignored, as the client does).
  std::size_t ignoredOps() const { return ignoredOps_; }

  // Input as the client sends it. The element is the first match of the selector in
  // the mirror; false (nothing sent) when there is none.
  void send(nlohmann::json frame);
  bool click(windowId w, std::string_view selector, keyModifiers mods = {});
  bool clickLink(windowId w, std::string_view selector);
  bool dblclick(windowId w, std::string_view selector, keyModifiers mods = {});
  // Types into a control: the mirror shows the value at once, as the browser does.
  bool input(windowId w, std::string_view selector, std::string_view value);
  // A key on the element (empty selector: nothing has the focus).
  bool key(windowId w, std::string_view selector, std::string_view keyName, keyModifiers mods = {});
  bool choose(windowId w, std::string_view list, std::string_view row);
  bool contextMenu(windowId w, std::string_view selector);
  bool menuItem(windowId w, std::string_view selector);
  bool dismissPopup(windowId w, std::string_view selector);
  bool drop(windowId w, std::string_view dragged, std::string_view zone, std::size_t index);
  bool scroll(windowId w, std::string_view selector, double top);
  bool askRows(windowId w, std::string_view list, std::size_t from, std::size_t to);
  void closeWindow(windowId w);
  void reportGeometry(windowId w, const windowGeometry& g);

  // Scripts.
  void answerBox(std::string fragment, boxAnswer answer);
  void onBox(std::string fragment, std::function<void(windowId)> action);
  void onWindow(std::string titleFragment, std::function<void(windowId)> action);
  const std::vector<shownBox>& boxes() const { return boxes_; }
  std::size_t unscriptedBoxes() const;
  // Scripted answers and window actions not used yet.
  std::size_t pendingScripts() const { return boxScript_.size() + windowScript_.size(); }

 private:
  struct boxStep {
    std::string fragment;
    std::string button;                    // answerBox: the id to click
    std::function<void(windowId)> action;  // onBox
  };
  struct windowStep {
    std::string fragment;
    std::function<void(windowId)> action;
  };

  void receive(const nlohmann::json& frame);
  void showWindow(const nlohmann::json& frame);
  void applyBatch(const nlohmann::json& frame);
  void applyOp(shownWindow& w, const nlohmann::json& op);
  void receiveRows(const nlohmann::json& frame);
  void answerIfBox(const shownWindow& w);
  void runWindowScript(const shownWindow& w);
  std::uint64_t uidOf(windowId w, std::string_view selector) const;
  nlohmann::json frameFor(const char* type, windowId w, std::uint64_t uid) const;

  windowHost& windows_;
  bool attached_ = false;
  std::vector<nlohmann::json> frames_;
  std::map<windowId, shownWindow> shown_;
  std::vector<windowId> order_;
  std::size_t ignoredOps_ = 0;
  std::deque<boxStep> boxScript_;
  std::deque<windowStep> windowScript_;
  std::vector<shownBox> boxes_;
};

}  // namespace zv
