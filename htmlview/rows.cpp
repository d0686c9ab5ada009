// Rows of tables and lists and keyboard moves among them.
#include "htmlview/rows.h"

#include "platform/textConv.h"

#include <array>
#include <charconv>

namespace zv {
namespace {

bool isSection(const element& e) {
  return e.tag() == "thead" || e.tag() == "tbody" || e.tag() == "tfoot";
}

bool isCell(const element& e) {
  return e.tag() == "td" || e.tag() == "th";
}

}  // namespace

std::optional<rowMove> rowMoveForKey(std::string_view key) {
  struct keyRow {
    std::string_view key;
    rowMove move;
  };
  static constexpr std::array<keyRow, 6> keys{{
      {"ArrowUp", rowMove::previous},
      {"ArrowDown", rowMove::next},
      {"PageUp", rowMove::pageUp},
      {"PageDown", rowMove::pageDown},
      {"Home", rowMove::first},
      {"End", rowMove::last},
  }};
  for (const keyRow& k : keys) {
    if (k.key == key) return k.move;
  }
  return std::nullopt;
}

bool isChoosable(const element& row) {
  return !row.hasState(stateDisabled) && row.isVisible();
}

element* movedRow(const std::vector<element*>& rows, const element* current, rowMove move,
                  std::size_t page) {
  auto firstChoosable = [&]() -> element* {
    for (element* r : rows) {
      if (isChoosable(*r)) return r;
    }
    return nullptr;
  };
  auto lastChoosable = [&]() -> element* {
    for (std::size_t i = rows.size(); i-- > 0;) {
      if (isChoosable(*rows[i])) return rows[i];
    }
    return nullptr;
  };
  std::size_t at = rows.size();
  for (std::size_t i = 0; current && i < rows.size(); ++i) {
    if (rows[i] == current) at = i;
  }
  if (move == rowMove::first) return firstChoosable();
  if (move == rowMove::last) return lastChoosable();
  bool forward = move == rowMove::next || move == rowMove::pageDown;
  if (at == rows.size()) return forward ? firstChoosable() : lastChoosable();
  std::size_t steps =
      move == rowMove::next || move == rowMove::previous ? 1 : std::max<std::size_t>(page, 1);
  // Counts choosable rows from the current one; a page stops early at the last one.
  element* reached = nullptr;
  std::size_t i = at;
  while (steps > 0 && (forward ? i + 1 < rows.size() : i > 0)) {
    i = forward ? i + 1 : i - 1;
    if (!isChoosable(*rows[i])) continue;
    reached = rows[i];
    --steps;
  }
  return reached;
}

std::vector<element*> tableRows(element& table) {
  std::vector<element*> rows;
  for (std::size_t i = 0; i < table.childCount(); ++i) {
    element* k = table.child(i);
    if (k->tag() == "tr") {
      rows.push_back(k);
    } else if (isSection(*k)) {
      for (std::size_t j = 0; j < k->childCount(); ++j) {
        if (k->child(j)->tag() == "tr") rows.push_back(k->child(j));
      }
    }
  }
  return rows;
}

element* tableRowOf(element& table, element& e) {
  for (element* at = &e; at && at != &table; at = at->parent()) {
    if (at->tag() != "tr") continue;
    element* p = at->parent();
    if (p == &table || (p && isSection(*p) && p->parent() == &table)) return at;
  }
  return nullptr;
}

std::vector<element*> rowCells(element& row) {
  std::vector<element*> cells;
  for (std::size_t i = 0; i < row.childCount(); ++i) {
    if (isCell(*row.child(i))) cells.push_back(row.child(i));
  }
  return cells;
}

std::optional<std::size_t> columnOf(element& row, element& e) {
  std::vector<element*> cells = rowCells(row);
  for (std::size_t c = 0; c < cells.size(); ++c) {
    if (cells[c]->contains(e)) return c;
  }
  return std::nullopt;
}

std::size_t fixedRows(const element& table) {
  std::optional<std::string_view> v = table.attribute("fixedrows");
  if (!v) return 0;
  std::string_view s = *v;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  std::size_t n = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
  return ec == std::errc() ? n : 0;
}

bool isList(const element& e) {
  std::string_view type = e.attribute("type").value_or("");
  if (e.tag() == "widget") return startsWithNoCase(type, "select");
  if (e.tag() != "select") return false;
  std::string_view size = e.attribute("size").value_or("");
  int rows = 0;
  std::from_chars(size.data(), size.data() + size.size(), rows);
  return rows > 1 || e.hasAttribute("multiple") || equalsNoCase(type, "list") ||
         equalsNoCase(type, "select");
}

std::vector<element*> listRows(element& list) {
  std::vector<element*> rows;
  for (elementRef& o : list.selectAll("option")) rows.push_back(o.get());
  if (!rows.empty()) return rows;
  for (std::size_t i = 0; i < list.childCount(); ++i) rows.push_back(list.child(i));
  return rows;
}

element* listRowOf(element& list, element& e) {
  if (&e == &list || !list.contains(e)) return nullptr;
  for (element* at = &e; at && at != &list; at = at->parent()) {
    if (at->tag() == "option") return at;
  }
  for (element* at = &e; at && at != &list; at = at->parent()) {
    if (at->parent() == &list) return at;
  }
  return nullptr;
}

element* firstWithState(const std::vector<element*>& rows, std::uint32_t bits) {
  for (element* r : rows) {
    if (r->hasState(bits)) return r;
  }
  return nullptr;
}

}  // namespace zv
