#include "zvc/register/terminalsList.h"

#include "common/DHCPIgnoreMACs.h"
#include "common/fstream.h"
#include "common/installPaths.h"
#include "htmlview/collation.h"
#include "htmlview/rows.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/registerLock.h"
#include "platform/textConv.h"
#include "zvc/register/terminalForms.h"
#include "zvc/register/terminalsListMarkup.h"
#include "zvc/ui/messageBox.h"

#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace zv {
namespace {

// The caption a select shows: its current option's text, else its value.
std::string selectCaption(element& select) {
  for (elementRef& option : select.selectAll("option"))
    if (option->hasState(stateCurrent)) return option->text();
  std::string value = select.value();
  if (!value.empty()) return value;
  elementRef chosen = select.selectFirst("option[selected]");
  return chosen ? chosen->text() : std::string();
}

void setEnabled(document& doc, std::string_view id, bool enabled) {
  elementRef e = doc.byId(id);
  if (e) switchStates(*e, stateDisabled, !enabled);
}

}  // namespace

terminalsList::~terminalsList() {
  if (element* list = widget()) doc_.setRowFiller(*list, {});
}

terminalsList::terminalsList(document& doc, terminalRegister& terminals, userSettings& settings,
                             terminalsListHooks hooks)
    : doc_(doc),
      terminals_(terminals),
      settings_(settings),
      hooks_(std::move(hooks)),
      model_(settings_) {
  computeColumns(settings_);
  recomputeDays();
}

std::chrono::system_clock::time_point terminalsList::now() const {
  return hooks_.now ? hooks_.now() : std::chrono::system_clock::now();
}

void terminalsList::recomputeDays() {
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now().time_since_epoch()).count();
  today_ = utcDay(seconds);
}

element* terminalsList::widget() const {
  elementRef w = doc_.byId(widgetId);
  return w.get();
}

// --- The displayed list ---------------------------------------------------------------

bool terminalsList::terminalShown(const terminal& t) const {
  return model_.shown(t);
}

int terminalsList::compareTerminals(const terminal& a, const terminal& b) const {
  return model_.compare(a, b);
}

const std::vector<terminal*>& terminalsList::displayed() const {
  return model_.displayed();
}

void terminalsList::offerTerminal(terminal& t) {
  model_.offer(t);
}

void terminalsList::rebuildDisplayedList() {
  model_.rebuild(terminals_.all());
}

// --- Rows -----------------------------------------------------------------------------

std::string terminalsList::lastSeenText(const terminal& t) const {
  if (t.mac.isPseudo()) return {};
  const terminalsListModel::lastSeen& seen = model_.seenOf(t);
  if (!seen.known) return {};
  int64_t seconds = seen.nanoseconds >= 0 ? seen.nanoseconds / 1000000000
                                          : -((-seen.nanoseconds + 999999999) / 1000000000);
  return lastSeenLabel(utcDay(seconds), today_);
}

std::string terminalsList::rowClass(const terminal& t) const {
  return terminalRowClass(t, settings_);
}

std::string terminalsList::rowContentHtml(const terminal& t) const {
  return terminalRowContentHtml(t, settings_, settings_.showTime ? lastSeenText(t) : std::string(),
                                hooks_.groupName);
}

std::string terminalsList::rowHtml(const terminal& t, bool current) const {
  return terminalRowHtml(t, settings_, current,
                         settings_.showTime ? lastSeenText(t) : std::string(), hooks_.groupName);
}

// A row starts hollow: the option with its class, marks and MAC; the document asks
// rowContentHtml for the rest when the browser is to show the row.
elementRef terminalsList::makeRow(const terminal& t, bool current) {
  elementRef row = doc_.createElement("option");
  row->setAttribute("class", rowClass(t));
  if (current) row->setAttribute("current", "");
  if (t.mac.isPseudo()) row->setAttribute("tmplt", "");
  row->setAttribute("tlgID", t.mac.logText());
  if (current) row->setStates(stateCurrent, 0);
  return row;
}

element* terminalsList::rowElement(const terminal& t) const {
  auto found = rows_.find(t.mac);
  if (found == rows_.end() || !found->second->isConnected()) return nullptr;
  return found->second.get();
}

element* terminalsList::rowOf(const terminal& t) const {
  element* row = rowElement(t);
  if (row) doc_.fillRow(*row);
  return row;
}

std::string terminalsList::contentOfRow(const element& row) const {
  std::optional<std::string_view> key = row.attribute("tlgID");
  const terminal* t = key ? terminals_.findByMacText(*key) : nullptr;
  return t ? rowContentHtml(*t) : std::string();
}

void terminalsList::rebuildRows() {
  element* list = widget();
  if (!list) {
    errno = ENOENT;
    ZV_INTERNAL_ERROR();
    return;
  }
  const std::vector<terminal*>& displayed = model_.displayed();
  recomputeDays();
  rows_.clear();
  spare_.clear();
  currentRow_ = {};
  const terminal* current = terminals_.current();
  doc_.setRowFiller(*list, [this](const element& row) { return contentOfRow(row); });
  // Emptying the list before making the new rows halves the time at 50,000 rows: the
  // old rows are freed before the new ones are allocated.
  list->clear();
  std::vector<elementRef> rows;
  rows.reserve(displayed.size());
  rows_.reserve(displayed.size());
  for (const terminal* t : displayed) {
    rows.push_back(makeRow(*t, t == current));
    rows_.emplace(t->mac, rows.back());
    if (t == current) currentRow_ = rows.back();
  }
  list->setChildren(std::move(rows));
  rowsBuilt_ = true;
  model_.keepSorted();
  if (!current && !displayed.empty()) activate(*displayed.front(), true);
}

void terminalsList::selectRow(const terminal* t) {
  if (currentRow_) {
    currentRow_->setStates(0, stateCurrent);
    currentRow_->removeAttribute("current");
    currentRow_ = {};
  }
  element* row = t ? rowElement(*t) : nullptr;
  if (!row) return;
  row->setStates(stateCurrent, 0);
  row->setAttribute("current", "");
  row->scrollIntoView();
  currentRow_ = row;
}

void terminalsList::insertRow(terminal& t) {
  element* list = widget();
  if (!terminalsMode_ || !list || !rowsBuilt_ || rowElement(t)) return;
  std::ptrdiff_t index = model_.indexOf(t);
  if (index < 0) {
    model_.offer(t);
    index = model_.indexOf(t);
    if (index < 0) return;  // the filter leaves it out
  }
  elementRef row = makeRow(t, false);
  if (!row) return;
  list->insert(row, std::size_t(index));
  rows_[t.mac] = row;
}

void terminalsList::updateRow(terminal& t) {
  spare_.erase(t.mac);  // a kept row would show the terminal as it was
  element* list = widget();
  if (!terminalsMode_ || !list || t.mac.isPseudo()) return;
  element* row = rowElement(t);
  if (!row) {
    // Not listed before (the filter left it out); listed now when it passes.
    if (rowsBuilt_ && terminalShown(t)) insertRow(t);
    return;
  }
  std::ptrdiff_t old = model_.indexOf(t);
  std::ptrdiff_t at = model_.replace(t);
  if (at < 0) {
    removeRow(t);
    return;
  }
  std::size_t place = std::size_t(at);
  if (row->childCount() > 0) row->setInnerHtml(rowContentHtml(t));  // a hollow row waits
  bool current = terminals_.current() == &t;
  row->setAttribute("class", rowClass(t));
  if (std::ptrdiff_t(place) != old) list->insert(elementRef(row), place);
  if (current) selectRow(&t);
}

void terminalsList::withdrawTerminal(const terminal& t) {
  removeRow(t);
}

void terminalsList::removeRow(const terminal& t) {
  model_.withdraw(t);
  auto found = rows_.find(t.mac);
  if (found == rows_.end()) return;
  if (currentRow_ == found->second) currentRow_ = {};
  found->second->remove();
  rows_.erase(found);
}

// --- Settings menu --------------------------------------------------------------------

void terminalsList::rebuildMenu() {
  elementRef button = doc_.byId("menu_terminals");
  elementRef menu = button ? button->selectFirst("menu") : elementRef();
  if (!menu) {
    errno = ENOENT;
    ZV_INTERNAL_ERROR();
    return;
  }
  // The menu shows the columns and the sort in use, which computeColumns derives from
  // the flags (with every column unticked the MAC is shown).
  userSettings inUse = settings_;
  computeColumns(inUse);
  menu->setInnerHtml(settingsMenuHtml(inUse));
  // The selects show their chosen option.
  for (const char* id : {"sort_terminals", "filter_terminals"}) {
    elementRef select = doc_.byId(id);
    if (!select) continue;
    // A sort column not offered (its column was just hidden): the first option shows.
    elementRef chosen = select->selectFirst("option[selected]");
    if (!chosen) chosen = select->selectFirst("option");
    if (!chosen) continue;
    chosen->setStates(stateCurrent, 0);
    select->setValue(chosen->attribute("value").value_or(chosen->text()));
  }
  // The closed filter select shows the caption of the filter in use, also after the find
  // window switched it or a column changed, as it does when the user chooses it.
  if (elementRef option = doc_.byId("filter_" + std::to_string(inUse.filterColumn)))
    if (const char* caption = filterCaption(inUse.filterColumn))
      option->setAttribute("caption", caption);
}

void terminalsList::onColumnClicked(element& checkbox) {
  std::optional<std::string_view> id = checkbox.attribute("id");
  bool userSettings::*flag = id ? columnFlag(*id) : nullptr;
  if (!flag) return;
  settings_.*flag = checkbox.hasState(stateChecked);
  // Unticking the last text column leaves the MAC shown, as the list will show it.
  if (!settings_.showMAC && !settings_.showIP && !settings_.showHost && !settings_.showNote &&
      !settings_.showLastlogin)
    settings_.showMAC = true;
  menuChanged_ = columnsChanged_ = true;
  rebuildMenu();
}

void terminalsList::onFilterChosen() {
  elementRef select = doc_.byId("filter_terminals");
  if (!select) return;
  std::string value = select->value();
  int filter = value.size() == 1 ? value[0] - '0' : 0;
  const char* caption = filterCaption(filter);
  if (!caption) return;
  if (settings_.filterColumn != filter) menuChanged_ = true;
  settings_.filterColumn = filter;
  // The closed select shows the caption; the option keeps its own text for the
  // drop-down.
  for (elementRef& option : select->selectAll("option")) option->removeAttribute("caption");
  elementRef option = doc_.byId("filter_" + value);
  if (option) option->setAttribute("caption", caption);
}

void terminalsList::applyMenu() {
  elementRef select = doc_.byId("sort_terminals");
  int sort = select ? sortColumnFromCaption(selectCaption(*select)) : settings_.sortColumn;
  bool changed = menuChanged_ || sort != settings_.sortColumn;
  bool columns = columnsChanged_;
  menuChanged_ = columnsChanged_ = false;
  if (!changed) return;
  settings_.sortColumn = sort;
  computeColumns(settings_);
  rebuildDisplayedList();
  // Rows whose content stays (a new sort or filter) are kept and only put in order.
  if (columns || !rowsBuilt_)
    rebuildRows();
  else
    rearrangeRows();
  selectRow(terminals_.current());
}

void terminalsList::rearrangeRows() {
  element* list = widget();
  if (!list) {
    errno = ENOENT;
    ZV_INTERNAL_ERROR();
    return;
  }
  const std::vector<terminal*>& displayed = model_.displayed();
  currentRow_ = {};
  const terminal* current = terminals_.current();
  // Each displayed terminal's row gets its place; rows of terminals no longer displayed
  // go after them and are taken off the end. Rows are moved in one permutation of the
  // list's children, never one by one (50,000 single moves would each shift the rest).
  constexpr std::size_t unplaced = SIZE_MAX;
  std::vector<std::size_t> place(list->childCount(), unplaced);
  place.reserve(list->childCount() + displayed.size());
  for (std::size_t i = 0; i < displayed.size(); ++i) {
    const terminal* t = displayed[i];
    auto found = rows_.find(t->mac);
    elementRef row;
    if (found != rows_.end() && found->second->parent() == list) {
      row = found->second;
    } else if (auto spare = spare_.find(t->mac); spare != spare_.end()) {
      // A row the filter took away earlier comes back as it was (its content does not
      // depend on the filter); otherwise it is made.
      row = std::move(spare->second);
      spare_.erase(spare);
    } else {
      row = makeRow(*t, false);
    }
    markSortColumn(*row, settings_, t->mac.isPseudo());
    std::string wanted = rowClass(*t);
    if (row->attribute("class") != wanted) row->setAttribute("class", wanted);
    if (row->hasState(stateCurrent)) row->setStates(0, stateCurrent);
    if (row->hasAttribute("current")) row->removeAttribute("current");
    if (row->parent() != list) {
      list->append(row);
      place.push_back(unplaced);
      rows_[t->mac] = row;
    }
    place[row->index()] = i;
  }
  std::size_t next = displayed.size();
  for (std::size_t& p : place)
    if (p == unplaced) p = next++;
  list->permuteChildren(place);
  // What comes last are the rows of terminals that left the list.
  while (list->childCount() > displayed.size()) list->child(list->childCount() - 1)->remove();
  // Rows of terminals the filter leaves out are kept for when it lets them in again.
  std::erase_if(rows_, [&](auto& entry) {
    if (model_.listsMac(entry.first)) return false;
    spare_[entry.first] = std::move(entry.second);
    return true;
  });
  if (current) selectRow(current);
}

// --- Timers ---------------------------------------------------------------------------

void terminalsList::onlineTick() {
  if (!settings_.showOnline) return;
  if (hooks_.broadcastDiscovery) hooks_.broadcastDiscovery();
  for (terminal* t : terminals_.all()) {
    if (t->onlineCountdown == 0) continue;
    if (--t->onlineCountdown > 0) continue;
    element* row = rowElement(*t);
    if (row && !t->hidden) row->setAttribute("class", "");
  }
}

void terminalsList::refreshLastSeen() {
  if (!settings_.showTime) return;
  element* list = widget();
  if (!list) return;
  recomputeDays();
  spare_.clear();  // their times would be old
  model_.forgetAllSeen();
  for (std::size_t i = 0; i < list->childCount(); ++i) {
    element* row = list->child(i);
    if (row->childCount() == 0) continue;  // hollow: made with the time of its day
    std::optional<std::string_view> key = row->attribute("tlgID");
    terminal* t = key ? terminals_.findByMacText(*key) : nullptr;
    if (!t) continue;
    elementRef cell = row->selectFirst(".accesstime");
    if (!cell) continue;
    std::string text = lastSeenText(*t);
    if (cell->text() != text) cell->setText(text);
  }
}

// --- Selection ------------------------------------------------------------------------

void terminalsList::updateDhcpItems(const terminal* t) {
  elementRef ignores = doc_.byId("DHCPignores");
  elementRef listens = doc_.byId("DHCPlistens");
  bool ignored = false;
  if (t && !paths().dhcpDir.empty()) {
    ignoreList list;
    loadIgnoreList(paths().dhcpDir, list);
    bool listed = list.contains(t->mac);
    ignored = list.mode == ignoreMode::ignoreListed ? listed : !listed;
  }
  for (auto& [item, checked] : {std::pair{ignores, ignored}, std::pair{listens, !ignored}}) {
    if (!item) continue;
    if (!t) {
      item->setAttribute("class", "");
      item->setStates(stateDisabled, stateChecked);
      continue;
    }
    item->setStates(0, stateDisabled);
    item->setAttribute("class", checked ? "item_checked" : "");
  }
}

void terminalsList::activate(terminal& t, bool reload) {
  terminals_.setCurrent(&t);
  if (reload && hooks_.reloadTerminal) hooks_.reloadTerminal(t);
  if (hooks_.showTerminal) hooks_.showTerminal(&t);
  selectRow(&t);

  bool pseudo = t.mac.isPseudo();
  elementRef tabs = doc_.byId("main_tabs");
  bool leavePanel = false;
  for (const char* panel : {"panel-dhcp", "panel-logs"}) {
    elementRef tab =
        tabs ? tabs->selectFirst(std::string("[panel='") + panel + "']") : elementRef();
    if (!tab) continue;
    if (pseudo && (tab->hasState(stateCurrent) || tab->hasAttribute("selected"))) leavePanel = true;
    tab->setStyle("display", pseudo ? "none" : "block");
  }
  for (const char* id :
       {"terminal_remove", "terminal_hide", "terminal_reboot", "options_version", "mac_copy"})
    setEnabled(doc_, id, !pseudo);
  if (pseudo) {
    if (leavePanel && hooks_.selectPanel) hooks_.selectPanel("panel-templates");
    updateDhcpItems(nullptr);
  } else {
    if (hooks_.refreshTerminalPanels) hooks_.refreshTerminalPanels(t);
    updateDhcpItems(&t);
  }
  setEnabled(doc_, "webinterface", t.ip != 0);
  if (tabs) tabs->setAttribute("tlgID", t.mac.logText());
}

void terminalsList::onRowSelected(element& row, bool byKeyboard) {
  std::optional<std::string_view> key = row.attribute("tlgID");
  if (!key) return;
  elementRef tabs = doc_.byId("main_tabs");
  std::optional<std::string_view> shown = tabs ? tabs->attribute("tlgID") : std::nullopt;
  if (shown && *shown == *key) return;
  if (leaveCheck_) return;  // a selection made while the save question is open
  if (!mayLeave()) {
    row.setStates(0, stateCurrent);
    if (currentRow_ == &row) currentRow_ = {};
    selectRow(terminals_.current());
    return;
  }
  terminal* t = terminals_.findByMacText(*key);
  if (!t) return;
  activate(*t, !byKeyboard);
}

bool terminalsList::mayLeave() {
  if (!hooks_.mayLeave) return true;
  leaveCheck_ = true;
  bool may = hooks_.mayLeave();
  leaveCheck_ = false;
  return may;
}

bool terminalsList::makeCurrent(terminal& t) {
  if (leaveCheck_) return false;
  if (!model_.contains(t)) {
    if (!model_.shown(t)) {
      // A terminal the filter leaves out (a hidden one found by the find window) is
      // listed by the filter that lists every terminal, so that its row can be current.
      settings_.filterColumn = filterAll;
      rebuildDisplayedList();
      if (rowsBuilt_) rearrangeRows();
      if (doc_.byId("menu_terminals")) rebuildMenu();
    } else {
      insertRow(t);
    }
  }
  if (terminals_.current() == &t) {
    elementRef tabs = doc_.byId("main_tabs");
    if (tabs && tabs->attribute("tlgID") == t.mac.logText()) {
      selectRow(&t);
      return true;
    }
  }
  if (!mayLeave()) {
    selectRow(terminals_.current());
    return false;
  }
  activate(t, true);
  return true;
}

bool terminalsList::onRowContext(element& target) {
  element* list = widget();
  element* row = &target;
  while (row && row->parent() != list) row = row->parent();
  std::optional<std::string_view> key = row ? row->attribute("tlgID") : std::nullopt;
  terminal* t = key ? terminals_.findByMacText(*key) : nullptr;
  if (!t) return true;  // not on a row: the menu acts on the current terminal
  if (terminals_.current() != t) makeCurrent(*t);
  return terminals_.current() == t;
}

void terminalsList::activateNeighbour(std::size_t index) {
  element* list = widget();
  if (list && list->childCount() > 0) {
    element* row = list->child(std::min(index, list->childCount() - 1));
    std::optional<std::string_view> key = row->attribute("tlgID");
    terminal* next = key ? terminals_.findByMacText(*key) : nullptr;
    if (next) {
      activate(*next, true);
      return;
    }
  }
  terminals_.setCurrent(nullptr);
  selectRow(nullptr);
  elementRef tabs = doc_.byId("main_tabs");
  if (tabs) tabs->removeAttribute("tlgID");
  if (hooks_.showTerminal) hooks_.showTerminal(nullptr);
}

}  // namespace zv
