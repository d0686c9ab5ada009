#pragma once
// The main window: its document, the mode, the timers, the application messages other
// threads send, and the dispatch of the document's events to whoever handles them.
//
// Events reach the window after the behaviours (htmlview/eventRouter.h). Behaviour
// events are dispatched by kind and by the id of their source: button clicks and menu
// item clicks through the command tables (every id the console knows is in them from
// the start; ids whose handlers come with later parts of the console do nothing until
// one is set with onCommand), the others through on(kind, id). Double clicks and Enter
// look for the nearest ancestor of the target with a handler for their kind; Ctrl+S and
// Ctrl+Z (either letter case) run the commands "save_config" and "restore_config".
//
// Timers: 7 (5 s) refreshes the version caption, 11 (60 s) runs the online tick and 13
// (1 hour) the last-seen refresh, the last two only in terminals mode and when their
// settings are on. Application messages: WM_APP + 0 (the log listener died), + 10 (a log
// capture ended), + 11 (a terminal changed), + 14 (another console takes over: the
// loop ends at once with code 0, without the leave check or saving the settings); + 2 to + 9 go to
// the panels' hook; + 1 is an internal error here.
//
// User-interface thread only.

#include "common/mac.h"
#include "htmlview/events.h"
#include "htmlview/windowHost.h"
#include "platform/eventLoop.h"
#include "zvc/shell/mainFrame.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace zv {

class installedVersions;

// The terminal from which the console's remote session was opened.
struct sessionTerminal {
  std::string version;
  macAddress mac;
};

// "Zelvar v.6.2.63 on 00.1A.2B.3C.4D.5E"; empty without a version.
std::string versionCaptionText(const std::optional<sessionTerminal>& session);

// What other parts of the console plug in. Every member may be empty.
struct mainWindowHooks {
  // May the current terminal be left (its unsaved changes are offered for saving)?
  std::function<bool()> mayLeaveTerminal;
  // The body was rebuilt: the left column's list and the panels start over on it.
  std::function<void(consoleMode, document&)> frameBuilt;
  std::function<std::optional<sessionTerminal>()> session;
  std::function<bool()> onlineMarking;  // the showOnline setting
  std::function<bool()> lastSeenShown;  // the showTime setting
  std::function<void()> onlineTick;
  std::function<void()> refreshLastSeen;
  std::function<void(const macAddress&)> terminalChanged;
  std::function<void(const macAddress&)> logCaptureEnded;
  std::function<void(unsigned message)> panelMessage;  // WM_APP + 2 .. + 9
  // Before the window closes, after the leave check.
  std::function<void()> saveSettings;
  // Drops and the other mouse events nobody took (drag and drop of the panels).
  std::function<void(uiEvent&)> mouse;
  std::function<void(uiEvent&)> scroll;
  // Typing into a text control and choosing an option, before the control takes the
  // value (the panels note their unsaved edits).
  std::function<void(uiEvent&)> edit;
  // The user dragged the sizing handle of an element (the left column).
  std::function<void(uiEvent&)> resized;
  // A right click in the terminals list at the target, before its context menu shows;
  // false: the menu does not show.
  std::function<bool(element& target)> listContext;
  // Ends the console at once (WM_APP + 14); empty: the loop ends with code 0.
  std::function<void(int code)> exitNow;
};

class mainWindow {
 public:
  using action = std::function<void(uiEvent&)>;

  mainWindow(windowHost& windows, eventLoop& loop, const installedVersions& versions,
             std::string skinDirectory, mainWindowHooks hooks);
  ~mainWindow();
  mainWindow(const mainWindow&) = delete;
  mainWindow& operator=(const mainWindow&) = delete;

  // The skeleton with the edit menus and the frame in terminals mode, ready to open.
  std::unique_ptr<document> buildDocument();
  // Takes over the opened window: event handler, procedure, version caption, timers.
  void attach(windowId window);

  windowId window() const { return window_; }
  document* doc() const;
  consoleMode mode() const { return mode_; }
  void setMode(consoleMode mode);
  void buildMainFrame();
  void refreshVersionCaption();
  // The leave check of the current terminal (true without one).
  bool mayLeaveTerminal() { return !hooks_.mayLeaveTerminal || hooks_.mayLeaveTerminal(); }
  // The close control: leave check, settings, then the window closes and the loop ends.
  bool closeRequested();

  // Sets what a button or menu item id does (replacing the do-nothing default).
  void onCommand(const std::string& id, action a);
  // Sets what a behaviour event (or dblclick, key Enter) for an element id does.
  void on(eventKind kind, const std::string& id, action a);
  // Runs a command as if its button was clicked (`from`: the click, whose source the
  // action gets); false for an unknown id.
  bool runCommand(const std::string& id, const uiEvent* from = nullptr);
  bool knowsCommand(const std::string& id) const { return commands_.count(id) != 0; }

  // The window's event handler (public for tests of the dispatch).
  bool handleEvent(uiEvent& e);

 private:
  std::intptr_t procedure(message& m);
  void timer(unsigned id);
  bool dispatchById(eventKind kind, element* from, uiEvent& e, bool walkUp);
  void switchToTools(const std::string& command);

  windowHost& windows_;
  eventLoop& loop_;
  const installedVersions& versions_;
  std::string skin_;
  mainWindowHooks hooks_;
  windowId window_ = 0;
  std::unique_ptr<document> pending_;  // built by buildDocument until attach
  consoleMode mode_ = consoleMode::terminals;
  std::map<std::string, action> commands_;
  std::map<std::pair<eventKind, std::string>, action> handlers_;
  std::optional<std::pair<std::string, std::string>> lastSession_;  // version, MAC text
  bool captionKnown_ = false;
};

}  // namespace zv
