// The table behaviours: grid, sortable-grid and sel-grid.
//
// A grid's first rows, as many as its fixedrows attribute says, are header rows; the
// others are data rows, and one of them may be current. With the multiple attribute
// data rows can be checked as well: Ctrl+click toggles a row, Shift+click checks the
// shown rows from the anchor row to the clicked one and no others, a plain click checks
// only the clicked row and makes it the anchor. The keys move the current row only.
// Clicks post tableRowClick, tableRowDoubleClick and tableHeaderClick; a click on a
// control inside a row also goes on to the control.
#include "htmlview/collation.h"
#include "htmlview/controlActions.h"
#include "htmlview/eventRouter.h"
#include "htmlview/rows.h"
#include "htmlview/standardBehaviors.h"

#include <algorithm>
#include <unordered_map>

namespace zv {
namespace {

struct tableParts {
  std::vector<element*> rows;
  std::size_t fixed = 0;  // header rows
  std::vector<element*> data() const { return {rows.begin() + std::ptrdiff_t(fixed), rows.end()}; }
};

tableParts partsOf(element& table) {
  tableParts p;
  p.rows = tableRows(table);
  p.fixed = std::min(fixedRows(table), p.rows.size());
  return p;
}

std::size_t indexOf(const std::vector<element*>& rows, const element* row) {
  return std::size_t(std::find(rows.begin(), rows.end(), row) - rows.begin());
}

// Something inside the row that acts on clicks by itself.
bool insideControl(const element& target, const element& row) {
  for (const element* e = &target; e && e != &row; e = e->parent()) {
    const std::string& tag = e->tag();
    if (isButton(*e) || e->hasAttribute("href") || tag == "input" || tag == "select" ||
        tag == "textarea" || tag == "plaintext" || tag == "widget") {
      return true;
    }
  }
  return false;
}

void makeCurrentRow(const std::vector<element*>& data, element& row) {
  for (element* r : data) {
    if (r != &row && r->hasState(stateCurrent)) r->setStates(0, stateCurrent);
  }
  row.setStates(stateCurrent, 0);
  row.scrollIntoView();
}

void checkOnClick(const std::vector<element*>& data, element& row, const keyModifiers& mods) {
  if (mods.ctrl) {
    switchStates(row, stateChecked, !row.hasState(stateChecked));
    return;
  }
  element* anchor = mods.shift ? firstWithState(data, stateAnchor) : nullptr;
  if (!anchor) {
    for (element* r : data) switchStates(*r, stateAnchor, r == &row);
    anchor = &row;
  }
  std::size_t a = indexOf(data, anchor);
  std::size_t b = indexOf(data, &row);
  if (a > b) std::swap(a, b);
  for (std::size_t i = 0; i < data.size(); ++i) {
    bool in = i >= a && i <= b && (data[i] == &row || isChoosable(*data[i]));
    switchStates(*data[i], stateChecked, in);
  }
}

class grid : public behavior {
 public:
  grid() : grid("grid", groupMouse | groupKey) {}

  bool handleEvent(element& table, uiEvent& event, eventRouter& router) override {
    switch (event.kind) {
      case eventKind::click:
      case eventKind::dblclick:
        return onMouse(table, event, router);
      case eventKind::key:
        return onKey(table, event);
      default:
        return false;
    }
  }

 protected:
  grid(std::string name, unsigned groups) : behavior(std::move(name), groups) {}

  // A header cell was clicked, before the event is posted.
  virtual void headerClicked(element&, element&, std::size_t) {}

 private:
  bool onMouse(element& table, uiEvent& event, eventRouter& router) {
    element* row = tableRowOf(table, *event.target);
    if (!row) return false;
    tableParts parts = partsOf(table);
    std::size_t at = indexOf(parts.rows, row);
    if (at < parts.fixed) {
      std::optional<std::size_t> column = columnOf(*row, *event.target);
      if (!column || event.kind != eventKind::click) return false;
      element& cell = *rowCells(*row)[*column];
      headerClicked(table, cell, *column);
      router.postEvent(
          uiEvent::behavior(eventKind::tableHeaderClick, cell, table, std::int64_t(*column)));
      return true;
    }
    if (row->hasState(stateDisabled)) return true;
    std::vector<element*> data = parts.data();
    bool click = event.kind == eventKind::click;
    if (click && table.hasAttribute("multiple")) checkOnClick(data, *row, event.mods);
    makeCurrentRow(data, *row);
    router.postEvent(
        uiEvent::behavior(click ? eventKind::tableRowClick : eventKind::tableRowDoubleClick, *row,
                          table, std::int64_t(at)));
    return !insideControl(*event.target, *row);
  }

  static bool onKey(element& table, uiEvent& event) {
    std::optional<rowMove> move = rowMoveForKey(event.key);
    if (!move || event.mods.ctrl || event.mods.alt) return false;
    std::vector<element*> data = partsOf(table).data();
    element* current = firstWithState(data, stateCurrent);
    element* next = movedRow(data, current, *move, pageRows(event.index));
    if (next && next != current) makeCurrentRow(data, *next);
    return true;
  }
};

// The text a column sorts by: the cell's text with runs of blanks made one space.
std::u16string sortText(element& row, std::size_t column) {
  std::vector<element*> cells = rowCells(row);
  if (column >= cells.size()) return {};
  std::u16string out;
  bool blank = false;
  for (char16_t c : cells[column]->textU16()) {
    if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == 0x00A0) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += u' ';
    blank = false;
    out += c;
  }
  return out;
}

void sortDataRows(const std::vector<element*>& data, std::size_t column) {
  std::unordered_map<const element*, std::u16string> keys;
  for (element* r : data) keys.emplace(r, sortText(*r, column));
  auto compare = [&](const element& a, const element& b) {
    auto ka = keys.find(&a);
    auto kb = keys.find(&b);
    if (ka == keys.end() || kb == keys.end()) return 0;
    return compareLinguistic(ka->second, kb->second);
  };
  // Rows are sorted where they stand: each run of data rows under one parent.
  std::size_t i = 0;
  while (i < data.size()) {
    element* parent = data[i]->parent();
    std::size_t from = data[i]->index();
    std::size_t j = i + 1;
    while (j < data.size() && data[j]->parent() == parent && data[j]->index() == from + (j - i))
      ++j;
    parent->sortChildren(from, from + (j - i), compare);
    i = j;
  }
}

class sortableGrid final : public grid {
 public:
  sortableGrid() : grid("sortable-grid", groupMouse | groupKey) {}

 private:
  void headerClicked(element& table, element& cell, std::size_t column) override {
    if (cell.hasState(stateChecked)) return;
    tableParts parts = partsOf(table);
    for (std::size_t r = 0; r < parts.fixed; ++r) {
      for (element* c : rowCells(*parts.rows[r])) c->setStates(0, stateChecked);
    }
    cell.setStates(stateChecked, 0);
    std::vector<element*> data = parts.data();
    sortDataRows(data, column);
    if (element* current = firstWithState(data, stateCurrent)) current->scrollIntoView();
  }
};

class selGrid final : public grid {
 public:
  selGrid() : grid("sel-grid", groupMouse | groupKey | groupMethodCalls) {}

  bool callMethod(element& table, methodCall& call, eventRouter&) override {
    std::vector<element*> data = partsOf(table).data();
    switch (call.number) {
      case selGridMethod::setCurrentRow:
        if (!call.row || indexOf(data, call.row.get()) == data.size()) return false;
        makeCurrentRow(data, *call.row);
        return true;
      case selGridMethod::clearCurrentRow:
        for (element* r : data) r->setStates(0, stateCurrent);
        return true;
      case selGridMethod::currentRow:
        call.row = firstWithState(data, stateCurrent);
        return true;
      default:
        return false;
    }
  }
};

}  // namespace

behavior& gridBehavior() {
  static grid instance;
  return instance;
}

behavior& sortableGridBehavior() {
  static sortableGrid instance;
  return instance;
}

behavior& selGridBehavior() {
  static selGrid instance;
  return instance;
}

}  // namespace zv
