#pragma once
// Rows of tables and lists, and how the keyboard moves among them; shared by the grid
// behaviours, the item lists, the tab set and the lists' own key handling.
//
// Keyboard moves skip rows that cannot be chosen: hidden ones (display:none on the row
// or above it) and disabled ones. Page Up and Page Down move by the rows the browser
// shows whole in the list's view, which it tells with the key; by rowsPerPage when it
// did not.
//
// Thread safety: the document's thread.

#include "htmlview/dom.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zv {

constexpr std::size_t rowsPerPage = 10;

// The page of a Page Up/Down: `shown` rows (a key event's index), else rowsPerPage.
inline std::size_t pageRows(std::int64_t shown) {
  return shown > 0 ? static_cast<std::size_t>(shown) : rowsPerPage;
}

enum class rowMove { previous, next, pageUp, pageDown, first, last };

// The move a key without Ctrl or Alt makes in a list: ArrowUp, ArrowDown, PageUp,
// PageDown, Home, End.
std::optional<rowMove> rowMoveForKey(std::string_view key);

// Shown and not disabled.
bool isChoosable(const element& row);

// The row the move leads to from `current` (nullptr: none yet; previous, page up and
// last then go to the last choosable row, the others to the first). nullptr when there
// is nowhere to go: no choosable row on that side.
element* movedRow(const std::vector<element*>& rows, const element* current, rowMove move,
                  std::size_t page = rowsPerPage);

// A table's rows in order: its tr children and those of its thead, tbody and tfoot.
std::vector<element*> tableRows(element& table);
// The table's row that holds `e` (nullptr when `e` is in no row of this table; rows of
// a nested table belong to that table).
element* tableRowOf(element& table, element& e);
// The cells of a row (td and th children) and the column of the cell holding `e`.
std::vector<element*> rowCells(element& row);
std::optional<std::size_t> columnOf(element& row, element& e);
// How many of the first rows are header rows: the fixedrows attribute, 0 without it.
std::size_t fixedRows(const element& table);

// Lists as the browser draws them: a select with size > 1, multiple or type "list" or
// "select", and a widget whose type starts with "select".
bool isList(const element& e);
// A list's rows: the option elements inside it, or else its children.
std::vector<element*> listRows(element& list);
// The list row that holds `e`, or nullptr.
element* listRowOf(element& list, element& e);

// Sets or clears the state bits.
inline void switchStates(element& e, std::uint32_t bits, bool on) {
  e.setStates(on ? bits : 0, on ? 0 : bits);
}

// The first element with every bit of `bits` among `rows`, or nullptr.
element* firstWithState(const std::vector<element*>& rows, std::uint32_t bits);

}  // namespace zv
