#pragma once
// The terminals list of the main window: the displayed list (the registered terminals
// that pass the filter, in sort order), one `option` row per displayed terminal inside
// the element "terminals_widget", the settings menu of "menu_terminals" (columns, sort,
// filter), the online marks and last-seen cells, the selection of the current terminal
// and the row commands (hide, delete, copy MAC, DHCP ignore).
//
// Rows carry the terminal's MAC in display form in the attribute tlgID. The list keeps
// a handle on every row, so one changed terminal touches one row; the whole list is
// rebuilt only when the columns change, and put in order when the sort or the filter
// changes. A row is made hollow (the option alone) and gets its content when the
// browser first shows it (document::setRowFiller), so 50,000 terminals cost 50,000
// elements, not half a million. Long lists go to the
// browser lazily (the document decides by its lazy threshold). Pseudo-terminals (boot
// media, groups) are listed under every filter, after every real terminal.
//
// What lies outside the list (the configuration panels, the leave check, reloading a
// terminal from disk, the clipboard, the discovery broadcast) is reached through hooks;
// an empty hook is skipped.
//
// The main window owns the list and wires it: the register's offerToList calls
// offerTerminal (terminals loaded before the rows exist are sorted once, when the rows
// are first built), buildMainFrame calls rebuildMenu and rebuildRows, the dispatch calls
// the handlers below by element id, the timers onlineTick and refreshLastSeen, and the
// status feed updateRow or insertRow.
//
// Thread safety: the user-interface thread, which owns the document, the register and
// the settings.

#include "common/mac.h"
#include "htmlview/dom.h"
#include "zvc/register/terminals.h"
#include "zvc/register/terminalsListMarkup.h"
#include "zvc/register/terminalsListModel.h"
#include "zvc/ui/userSettings.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace zv {

struct terminalsListHooks {
  // May the terminal in the panels be left (unsaved changes)? Empty: yes.
  std::function<bool()> mayLeave;
  // Reads a registered terminal again from its directory (identity, hidden flag,
  // specification, DHCP options, configuration, comment, wake-on-LAN port).
  std::function<void(terminal&)> reloadTerminal;
  // The terminal became current (nullptr: none): reset the panels' change marks, give
  // them a working copy of its configuration and rebuild them.
  std::function<void(terminal*)> showTerminal;
  // A real terminal became current: refresh its DHCP and log panels.
  std::function<void(terminal&)> refreshTerminalPanels;
  // Makes the tab of the named panel current in "main_tabs".
  std::function<void(std::string_view panel)> selectPanel;
  // Puts 8-bit text on the clipboard.
  std::function<void(const std::string&)> setClipboard;
  // Sends the discovery query to the terminals.
  std::function<void()> broadcastDiscovery;
  // Names of groups, for the group pseudo-terminals.
  groupNameLookup groupName;
  // Calendar time (UTC) for "today" and "yesterday"; empty: the system clock.
  std::function<std::chrono::system_clock::time_point()> now;
};

class terminalsList {
 public:
  static constexpr const char* widgetId = "terminals_widget";

  terminalsList(document& doc, terminalRegister& terminals, userSettings& settings,
                terminalsListHooks hooks = {});
  ~terminalsList();
  terminalsList(const terminalsList&) = delete;
  terminalsList& operator=(const terminalsList&) = delete;

  terminalsListHooks& hooks() { return hooks_; }
  // Off in tools mode: updateRow and insertRow then leave the rows alone.
  void setTerminalsMode(bool on) { terminalsMode_ = on; }

  // The displayed list (terminalsListModel).
  const terminalsListModel& model() const { return model_; }
  bool terminalShown(const terminal& t) const;
  // Negative, zero or positive as a sorts before, with or after b.
  int compareTerminals(const terminal& a, const terminal& b) const;
  // Inserts a terminal that passes the filter after every entry not greater than it; a
  // MAC listed already is an internal error.
  void offerTerminal(terminal& t);
  // Empties the displayed list and offers every registered terminal in register order.
  void rebuildDisplayedList();
  const std::vector<terminal*>& displayed() const;

  // Rows.
  std::string rowHtml(const terminal& t, bool current) const;
  std::string rowContentHtml(const terminal& t) const;
  // Replaces the widget's content with one row per displayed terminal; the current
  // terminal's row is marked, or the first row becomes current when none is.
  void rebuildRows();
  // Marks the terminal's row current and scrolls it into view (nullptr: no row).
  void selectRow(const terminal* t);
  // The row of a terminal new to the register, at its place.
  void insertRow(terminal& t);
  // Refreshes a changed terminal's row and moves it to its new place.
  void updateRow(terminal& t);
  // Takes a terminal out of the displayed list and its row out of the widget (a
  // terminal leaving the register, the group pseudo-terminals before groups reload).
  void withdrawTerminal(const terminal& t);
  // The row element of a terminal with its content, or nullptr.
  element* rowOf(const terminal& t) const;

  // The settings menu.
  void rebuildMenu();
  // A column checkbox ("showMAC" … "showTime") was clicked.
  void onColumnClicked(element& checkbox);
  // The filter select "filter_terminals" closed.
  void onFilterChosen();
  // The menu of "menu_terminals" closed: apply the sort, column and filter choices.
  void applyMenu();

  // Timers: every minute with showOnline, every hour with showTime.
  void onlineTick();
  void refreshLastSeen();

  // A row of the widget was selected (byKeyboard: moved to with the keys). Ignored
  // while the leave check of an earlier selection is still asking.
  void onRowSelected(element& row, bool byKeyboard);
  // Makes the terminal current by the path a click on its row takes: its row is made
  // (a filter that leaves it out gives way to "all, hidden too"), the leave check asks,
  // then the panels, "main_tabs@tlgID" and the row commands follow it. False when the
  // leave check keeps the terminal that was current.
  bool makeCurrent(terminal& t);
  // A right click at `target` in the list: the row under it becomes current before the
  // context menu shows. False when the leave check kept another terminal current (the
  // menu then does not show).
  bool onRowContext(element& target);

  // Row commands on the current terminal.
  void hideCurrent();
  void removeCurrent();
  void copyMac();
  // ignore: "DHCPignores"; otherwise "DHCPlistens".
  void setDhcpIgnored(bool ignore);

 private:
  element* widget() const;
  std::string lastSeenText(const terminal& t) const;
  std::string rowClass(const terminal& t) const;
  elementRef makeRow(const terminal& t, bool current);
  // The row as it is (it may be hollow), or nullptr.
  element* rowElement(const terminal& t) const;
  std::string contentOfRow(const element& row) const;
  void rearrangeRows();
  void removeRow(const terminal& t);
  void activate(terminal& t, bool reload);
  bool mayLeave();
  void activateNeighbour(std::size_t index);
  void updateDhcpItems(const terminal* t);
  void recomputeDays();
  std::chrono::system_clock::time_point now() const;

  document& doc_;
  terminalRegister& terminals_;
  userSettings& settings_;
  terminalsListHooks hooks_;
  terminalsListModel model_;
  bool terminalsMode_ = true;
  bool menuChanged_ = false;
  bool columnsChanged_ = false;
  bool leaveCheck_ = false;  // the leave check is asking the administrator
  int64_t today_ = 0;        // UTC days since the epoch
  bool rowsBuilt_ = false;
  std::unordered_map<macAddress, elementRef, macAddressHash> rows_;
  // Rows a filter change took out, by MAC, reused when the filter lets them in again;
  // dropped when the terminal changes, the columns change or the times are refreshed.
  std::unordered_map<macAddress, elementRef, macAddressHash> spare_;
  elementRef currentRow_;
};

}  // namespace zv
