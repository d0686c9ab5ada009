#include "zvc/terminalsList.h"

#include "common/DHCPIgnoreMACs.h"
#include "common/fstream.h"
#include "common/installPaths.h"
#include "htmlview/collation.h"
#include "htmlview/rows.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/registerLock.h"
#include "platform/textConv.h"
#include "zvc/messageBox.h"
#include "zvc/terminalForms.h"
#include "zvc/terminalsListMarkup.h"

#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace zv {
namespace {

// Pseudo-terminals after every real terminal: boot USB, boot CD, boot SD, groups.
// Called for every comparison of a sort, so it looks at the bytes itself.
int rankOf(const macAddress& mac) {
  const auto& b = mac.bytes;
  uint8_t first = b[0];
  if (first != 0xBB && first != 0xCD && first != 0x5D && first != 0xFF) return 0;
  if (mac == bootUsbMac) return 1;
  if (mac == bootCdMac) return 2;
  if (mac == bootSdMac) return 3;
  if (mac.groupNumber() != 0) return 4;
  return 0;
}

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

void computeColumns(userSettings& s) {
  if (!s.showMAC && !s.showIP && !s.showHost && !s.showNote && !s.showLastlogin) s.showMAC = true;
  bool shown = false;
  switch (s.sortColumn) {
    case sortByMac:
      shown = s.showMAC;
      break;
    case sortByIp:
      shown = s.showIP;
      break;
    case sortByHost:
      shown = s.showHost;
      break;
    case sortByComment:
      shown = s.showNote;
      break;
    case sortByLastSeen:
      shown = s.showTime;
      break;
    case sortByLastLogin:
      shown = s.showLastlogin;
      break;
  }
  if (shown) return;
  // The online column has no sort of its own, so the walk goes on to last seen.
  if (s.showMAC)
    s.sortColumn = sortByMac;
  else if (s.showIP)
    s.sortColumn = sortByIp;
  else if (s.showHost)
    s.sortColumn = sortByHost;
  else if (s.showNote)
    s.sortColumn = sortByComment;
  else if (s.showLastlogin)
    s.sortColumn = sortByLastLogin;
  else if (s.showTime)
    s.sortColumn = sortByLastSeen;
}

terminalsList::terminalsList(document& doc, terminalRegister& terminals, userSettings& settings,
                             terminalsListHooks hooks)
    : doc_(doc), terminals_(terminals), settings_(settings), hooks_(std::move(hooks)) {
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
  if (t.mac.isPseudo()) return true;
  switch (settings_.filterColumn) {
    case 1:
      return !t.hidden;
    case 2:
      return !t.hidden && t.runsProduct;
    case 3:
      return !t.hidden && configStatus(t) == 1;
    case 5:
      return true;
  }
  errno = EINVAL;
  ZV_INTERNAL_ERROR();
  return false;
}

const terminalsList::lastSeen& terminalsList::seenOf(const terminal& t) const {
  auto found = seen_.find(&t);
  if (found != seen_.end()) return found->second;
  lastSeen seen;
  if (!t.mac.isPseudo() && !paths().terminalsDir.empty()) {
    std::string directory = existingTerminalDirectory(t.mac);
    struct stat info {};
    if (::stat(directory.c_str(), &info) == 0) {
      seen.known = true;
      seen.nanoseconds = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    } else {
      int error = errno;
      logMessage("Unable to open %s. Error %d (0x%x).", directory.c_str(), error, error);
    }
  }
  return seen_.emplace(&t, seen).first->second;
}

int terminalsList::compareTerminals(const terminal& a, const terminal& b) const {
  int ra = rankOf(a.mac);
  int rb = rankOf(b.mac);
  if (ra != rb) return ra < rb ? -1 : 1;
  if (ra != 0 && ra != 4) return 0;  // one boot medium of each kind
  auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  switch (settings_.sortColumn) {
    case sortByMac:
      return sign(a.mac, b.mac);
    case sortByIp:
      return sign(ntohl(a.ip), ntohl(b.ip));
    case sortByHost: {
      int c = a.host.compare(b.host);
      return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    case sortByComment:
      return compareLinguistic(std::u16string_view(a.comment).substr(0, 64),
                               std::u16string_view(b.comment).substr(0, 64));
    case sortByLastLogin:
      return compareLinguistic(std::u16string_view(a.lastLogin).substr(0, 64),
                               std::u16string_view(b.lastLogin).substr(0, 64));
    case sortByLastSeen: {
      bool onA = a.onlineCountdown > 0;
      bool onB = b.onlineCountdown > 0;
      if (onA != onB) return onA ? -1 : 1;
      if (onA) return sign(a.mac, b.mac);
      const lastSeen& sa = seenOf(a);
      const lastSeen& sb = seenOf(b);
      if (!sa.known || !sb.known) return 0;
      return sign(sb.nanoseconds, sa.nanoseconds);  // newer first
    }
  }
  return 0;
}

void terminalsList::sortDisplayed() const {
  if (sorted_) return;
  // A stable sort of the arrival order is what offering one by one gives.
  std::stable_sort(displayed_.begin(), displayed_.end(),
                   [&](terminal* a, terminal* b) { return compareTerminals(*a, *b) < 0; });
  sorted_ = true;
}

const std::vector<terminal*>& terminalsList::displayed() const {
  sortDisplayed();
  return displayed_;
}

std::size_t terminalsList::placeFor(const terminal& t) const {
  // After every entry that is not greater: equal entries keep their arrival order.
  auto at = std::upper_bound(
      displayed_.begin(), displayed_.end(), &t,
      [&](const terminal* x, terminal* e) { return compareTerminals(*e, *x) > 0; });
  return std::size_t(at - displayed_.begin());
}

std::ptrdiff_t terminalsList::displayedIndex(const terminal& t) const {
  auto found = std::find(displayed_.begin(), displayed_.end(), &t);
  return found == displayed_.end() ? -1 : found - displayed_.begin();
}

void terminalsList::offerTerminal(terminal& t) {
  if (!terminalShown(t)) return;
  if (!listed_.insert(t.mac).second) {
    errno = EEXIST;
    ZV_INTERNAL_ERROR();
    return;
  }
  seen_.erase(&t);
  if (!rowsBuilt_) {
    // Start-up offers every terminal before the rows exist: sort once, when asked.
    displayed_.push_back(&t);
    sorted_ = displayed_.size() < 2;
    return;
  }
  sortDisplayed();
  displayed_.insert(displayed_.begin() + std::ptrdiff_t(placeFor(t)), &t);
}

void terminalsList::rebuildDisplayedList() {
  displayed_.clear();
  listed_.clear();
  seen_.clear();
  for (terminal* t : terminals_.all()) {
    if (!terminalShown(*t) || !listed_.insert(t->mac).second) continue;
    displayed_.push_back(t);
  }
  sorted_ = false;
  sortDisplayed();
}

// --- Rows -----------------------------------------------------------------------------

std::string terminalsList::lastSeenText(const terminal& t) const {
  if (t.mac.isPseudo()) return {};
  const lastSeen& seen = seenOf(t);
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

elementRef terminalsList::makeRow(const terminal& t, bool current) {
  elementRef holder = doc_.createElement("div");
  holder->setInnerHtml(rowHtml(t, current));
  elementRef row = holder->child(0);
  if (!row) return {};
  row->detach();
  if (current) row->setStates(stateCurrent, 0);
  return row;
}

element* terminalsList::rowOf(const terminal& t) const {
  auto found = rows_.find(t.mac);
  if (found == rows_.end() || !found->second->isConnected()) return nullptr;
  return found->second.get();
}

void terminalsList::rebuildRows() {
  element* list = widget();
  if (!list) {
    errno = ENOENT;
    ZV_INTERNAL_ERROR();
    return;
  }
  sortDisplayed();
  recomputeDays();
  rows_.clear();
  spare_.clear();
  currentRow_ = {};
  const terminal* current = terminals_.current();
  std::string html;
  html.reserve(displayed_.size() * 600);
  for (const terminal* t : displayed_) html += rowHtml(*t, t == current);
  // Emptying the list before parsing the new rows halves the time at 50,000 rows: the
  // old rows are freed before the new ones are allocated.
  list->clear();
  list->setInnerHtml(html);
  rowsBuilt_ = true;
  std::size_t count = std::min(list->childCount(), displayed_.size());
  for (std::size_t i = 0; i < count; ++i) {
    element* row = list->child(i);
    rows_.emplace(displayed_[i]->mac, row);
    if (displayed_[i] == current) {
      row->setStates(stateCurrent, 0);
      currentRow_ = row;
    }
  }
  if (!current && count > 0) activate(*displayed_.front(), true);
}

void terminalsList::selectRow(const terminal* t) {
  if (currentRow_) {
    currentRow_->setStates(0, stateCurrent);
    currentRow_->removeAttribute("current");
    currentRow_ = {};
  }
  element* row = t ? rowOf(*t) : nullptr;
  if (!row) return;
  row->setStates(stateCurrent, 0);
  row->setAttribute("current", "");
  row->scrollIntoView();
  currentRow_ = row;
}

void terminalsList::insertRow(terminal& t) {
  element* list = widget();
  if (!terminalsMode_ || !list || !rowsBuilt_ || rowOf(t)) return;
  sortDisplayed();
  std::ptrdiff_t index = displayedIndex(t);
  if (index < 0) {
    offerTerminal(t);
    index = displayedIndex(t);
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
  element* row = rowOf(t);
  if (!row) {
    // Not listed before (the filter left it out); listed now when it passes.
    if (rowsBuilt_ && terminalShown(t)) insertRow(t);
    return;
  }
  sortDisplayed();
  std::ptrdiff_t old = displayedIndex(t);
  if (old >= 0) displayed_.erase(displayed_.begin() + old);
  seen_.erase(&t);
  if (!terminalShown(t)) {
    removeRow(t);
    return;
  }
  listed_.insert(t.mac);
  std::size_t place = placeFor(t);
  displayed_.insert(displayed_.begin() + std::ptrdiff_t(place), &t);
  row->setInnerHtml(rowContentHtml(t));
  bool current = terminals_.current() == &t;
  row->setAttribute("class", rowClass(t));
  if (std::ptrdiff_t(place) != old) list->insert(elementRef(row), place);
  if (current) selectRow(&t);
}

void terminalsList::withdrawTerminal(const terminal& t) {
  removeRow(t);
}

void terminalsList::removeRow(const terminal& t) {
  std::ptrdiff_t index = displayedIndex(t);
  if (index >= 0) displayed_.erase(displayed_.begin() + index);
  listed_.erase(t.mac);
  seen_.erase(&t);
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
  menu->setInnerHtml(settingsMenuHtml(settings_));
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
}

void terminalsList::onColumnClicked(element& checkbox) {
  std::optional<std::string_view> id = checkbox.attribute("id");
  bool userSettings::*flag = id ? columnFlag(*id) : nullptr;
  if (!flag) return;
  settings_.*flag = checkbox.hasState(stateChecked);
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
  elementRef option = doc_.byId("filter_" + value);
  if (option) option->setText(caption);
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
  sortDisplayed();
  currentRow_ = {};
  const terminal* current = terminals_.current();
  // Each displayed terminal's row gets its place; rows of terminals no longer displayed
  // go after them and are taken off the end. Rows are moved in one sort of the list's
  // children, never one by one (50,000 single moves would each shift the rest). The sort
  // reads each row's place by its index before the sort.
  const std::size_t gone = displayed_.size();
  std::vector<std::size_t> place(list->childCount(), gone);
  std::unordered_set<macAddress, macAddressHash> shown;
  shown.reserve(displayed_.size());
  std::size_t placed = 0;
  for (std::size_t i = 0; i < displayed_.size(); ++i) {
    const terminal* t = displayed_[i];
    shown.insert(t->mac);
    auto found = rows_.find(t->mac);
    if (found != rows_.end() && found->second->parent() == list) {
      element& row = *found->second;
      markSortColumn(row, settings_, t->mac.isPseudo());
      std::string wanted = rowClass(*t);
      if (row.attribute("class") != wanted) row.setAttribute("class", wanted);
      row.setStates(0, stateCurrent);
      row.removeAttribute("current");
      place[row.index()] = i;
      ++placed;
    } else {
      // A row the filter took away earlier comes back as it was (its content does not
      // depend on the sort); otherwise it is made.
      elementRef row;
      if (auto spare = spare_.find(t->mac); spare != spare_.end()) {
        row = std::move(spare->second);
        spare_.erase(spare);
        markSortColumn(*row, settings_, t->mac.isPseudo());
        std::string wanted = rowClass(*t);
        if (row->attribute("class") != wanted) row->setAttribute("class", wanted);
      } else {
        row = makeRow(*t, false);
      }
      if (!row) continue;
      list->append(row);
      place.push_back(i);
      rows_[t->mac] = row;
      ++placed;
    }
  }
  list->sortChildren(0, list->childCount(), [&](const element& a, const element& b) {
    std::size_t x = place[a.index()], y = place[b.index()];
    return x < y ? -1 : x > y ? 1 : 0;
  });
  // What sorted last are the rows of terminals that left the list.
  while (list->childCount() > placed) list->child(list->childCount() - 1)->remove();
  // Rows of terminals the filter leaves out are kept for when it lets them in again.
  std::erase_if(rows_, [&](auto& entry) {
    if (shown.count(entry.first)) return false;
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
    element* row = rowOf(*t);
    if (row && !t->hidden) row->setAttribute("class", "");
  }
}

void terminalsList::refreshLastSeen() {
  if (!settings_.showTime) return;
  element* list = widget();
  if (!list) return;
  recomputeDays();
  spare_.clear();  // their times would be old
  for (std::size_t i = 0; i < list->childCount(); ++i) {
    element* row = list->child(i);
    std::optional<std::string_view> key = row->attribute("tlgID");
    terminal* t = key ? terminals_.findByMacText(*key) : nullptr;
    if (!t) continue;
    elementRef cell = row->selectFirst(".accesstime");
    if (!cell) continue;
    seen_.erase(t);
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
  bool mayLeave = true;
  if (hooks_.mayLeave) {
    leaveCheck_ = true;
    mayLeave = hooks_.mayLeave();
    leaveCheck_ = false;
  }
  if (!mayLeave) {
    row.setStates(0, stateCurrent);
    if (currentRow_ == &row) currentRow_ = {};
    selectRow(terminals_.current());
    return;
  }
  terminal* t = terminals_.findByMacText(*key);
  if (!t) return;
  activate(*t, !byKeyboard);
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

// --- Row commands ---------------------------------------------------------------------

void terminalsList::hideCurrent() {
  terminal* t = terminals_.current();
  if (!t || t->mac.isPseudo()) return;
  if (hooks_.mayLeave && !hooks_.mayLeave()) return;
  registerLock lock;
  if (!lock.take(paths().dataDir)) {
    messageBox(registerBusyText, errorCaption, boxButtons::ok, boxIcon::error);
    return;
  }
  // A terminal another program removed meanwhile keeps its row, but its directory is not
  // made again just to hold "hidden".
  if (paths().terminalsDir.empty() || !isDirectory(paths().terminalsDir + t->mac.directoryName())) {
    logMessage("Terminal %s has no directory any more; it is not hidden.",
               t->mac.logText().c_str());
    return;
  }
  std::string directory = terminalDirectory(t->mac);
  if (directory.empty()) return;
  if (t->hidden) {
    // Listed only under "all, hidden too": the same command shows it again.
    if (!removeIfPresent(directory + "hidden")) return;
    t->hidden = false;
    if (element* row = rowOf(*t)) row->setAttribute("class", rowClass(*t));
    return;
  }
  if (!writeBytesFile(directory + "hidden", "1")) {
    ZV_INTERNAL_ERROR();
    return;
  }
  t->hidden = true;
  element* row = rowOf(*t);
  if (settings_.filterColumn == 5) {
    if (row) row->setAttribute("class", "hidden_item current");
    return;
  }
  std::size_t index = row ? row->index() : 0;
  removeRow(*t);
  if (row) activateNeighbour(index);
}

void terminalsList::removeCurrent() {
  terminal* t = terminals_.current();
  if (!t || t->mac.isPseudo()) return;
  if (messageBox("Вы действительно хотите удалить терминал со всеми настройками и "
                 "конфигурационным файлом?",
                 warningCaption, boxButtons::yesNo, boxIcon::warning) != boxAnswer::yes)
    return;
  registerLock lock;
  if (!lock.take(paths().dataDir)) {
    messageBox(registerBusyText, errorCaption, boxButtons::ok, boxIcon::error);
    return;
  }
  if (!deleteTerminal(*t)) return;
  lock.release();
  element* row = rowOf(*t);
  std::size_t index = row ? row->index() : 0;
  removeRow(*t);
  terminals_.remove(t);
  activateNeighbour(index);
}

void terminalsList::copyMac() {
  terminal* t = terminals_.current();
  if (!t || t->mac.isPseudo() || !hooks_.setClipboard) return;
  hooks_.setClipboard(t->mac.logText());
}

void terminalsList::setDhcpIgnored(bool ignore) {
  terminal* t = terminals_.current();
  if (!t || t->mac.isPseudo() || paths().dhcpDir.empty()) return;
  ignoreList list;
  if (!loadIgnoreList(paths().dhcpDir, list)) {
    // Saving now would drop every MAC after the damaged line.
    messageBox("Список игнорируемых MAC-адресов DHCP сервера повреждён и не изменён.", errorCaption,
               boxButtons::ok, boxIcon::error);
    return;
  }
  // Listed means ignored in mode 0 and answered in mode 1.
  bool listed = ignore == (list.mode == ignoreMode::ignoreListed);
  if (listed) {
    if (!list.add(t->mac)) {
      errno = ENOSPC;
      ZV_INTERNAL_ERROR();
      return;
    }
  } else {
    list.remove(t->mac);
  }
  if (!saveIgnoreList(paths().dhcpDir, list)) return;
  updateDhcpItems(t);
}

}  // namespace zv
