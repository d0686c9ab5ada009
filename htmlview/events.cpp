// Event kinds, their groups and names, and input events from the browser's frames.
#include "htmlview/events.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>

namespace zv {
namespace {

constexpr std::int64_t maxPageRows = 10000;

struct kindRow {
  eventKind kind;
  const char* name;
  eventGroup group;
};

// One row per kind, in the enumeration's order.
constexpr std::array<kindRow, 23> kinds{{
    {eventKind::click, "click", groupMouse},
    {eventKind::dblclick, "dblclick", groupMouse},
    {eventKind::key, "key", groupKey},
    {eventKind::input, "input", groupControl},
    {eventKind::select, "select", groupControl},
    {eventKind::contextmenu, "contextmenu", groupMouse},
    {eventKind::menuitem, "menuitem", groupControl},
    {eventKind::popupClosed, "popupClosed", groupControl},
    {eventKind::drop, "drop", groupMouse},
    {eventKind::scroll, "scroll", groupScroll},
    {eventKind::resized, "resized", groupScroll},
    {eventKind::buttonClick, "buttonClick", groupBehaviorEvents},
    {eventKind::editValueChanged, "editValueChanged", groupBehaviorEvents},
    {eventKind::selectionChanged, "selectionChanged", groupBehaviorEvents},
    {eventKind::popupReady, "popupReady", groupBehaviorEvents},
    {eventKind::popupDismissed, "popupDismissed", groupBehaviorEvents},
    {eventKind::menuItemClick, "menuItemClick", groupBehaviorEvents},
    {eventKind::tableRowClick, "tableRowClick", groupBehaviorEvents},
    {eventKind::tableRowDoubleClick, "tableRowDoubleClick", groupBehaviorEvents},
    {eventKind::tableHeaderClick, "tableHeaderClick", groupBehaviorEvents},
    {eventKind::elementExpanded, "elementExpanded", groupBehaviorEvents},
    {eventKind::elementCollapsed, "elementCollapsed", groupBehaviorEvents},
    {eventKind::activateChild, "activateChild", groupBehaviorEvents},
}};

const kindRow& rowOf(eventKind kind) {
  return kinds[static_cast<std::size_t>(kind)];
}

keyModifiers modsOf(const nlohmann::json& frame) {
  keyModifiers m;
  auto it = frame.find("mods");
  if (it == frame.end() || !it->is_object()) return m;
  m.ctrl = it->value("ctrl", false);
  m.shift = it->value("shift", false);
  m.alt = it->value("alt", false);
  return m;
}

// A number field as an int, clamped (the browser's coordinates are fractional and not
// to be trusted with the range of int).
int intField(const nlohmann::json& frame, const char* name) {
  auto it = frame.find(name);
  if (it == frame.end() || !it->is_number()) return 0;
  double v = it->get<double>();
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::clamp(v, -1e9, 1e9));
}

}  // namespace

bool isBehaviorEvent(eventKind kind) {
  return rowOf(kind).group == groupBehaviorEvents;
}

eventGroup groupOf(eventKind kind) {
  return rowOf(kind).group;
}

const char* eventKindName(eventKind kind) {
  return rowOf(kind).name;
}

uiEvent uiEvent::behavior(eventKind kind, element& target, element& source, std::int64_t index) {
  uiEvent e;
  e.kind = kind;
  e.target = &target;
  e.source = &source;
  e.index = index;
  return e;
}

std::optional<uiEvent> eventFromClientFrame(const nlohmann::json& frame, document& doc) {
  if (!frame.is_object()) return std::nullopt;
  const std::string type = frame.value("t", std::string());
  auto uidElement = [&](const char* field) -> element* {
    auto it = frame.find(field);
    if (it == frame.end() || !it->is_number_integer()) return nullptr;
    if (it->is_number_unsigned()) return doc.find(it->get<std::uint64_t>());
    std::int64_t v = it->get<std::int64_t>();
    return v > 0 ? doc.find(static_cast<std::uint64_t>(v)) : nullptr;
  };
  uiEvent e;
  element* u = uidElement("u");
  if (type == "key") {
    // The browser names the focused element, or 0 when nothing has the focus.
    e.kind = eventKind::key;
    e.target = u ? u : doc.focused() ? doc.focused() : &doc.root();
    e.source = e.target;
    e.key = frame.value("key", std::string());
    e.mods = modsOf(frame);
    // Page Up/Down: how many rows the browser shows whole (bounded: a view holds
    // far fewer rows than this).
    auto page = frame.find("page");
    if (page != frame.end() && page->is_number_unsigned())
      e.index = static_cast<std::int64_t>(
          std::min<std::uint64_t>(page->get<std::uint64_t>(), maxPageRows));
    else if (page != frame.end() && page->is_number_integer() && page->get<std::int64_t>() > 0)
      e.index = std::min<std::int64_t>(page->get<std::int64_t>(), maxPageRows);
    return e;
  }
  if (!u) return std::nullopt;
  e.target = u;
  e.source = u;
  if (type == "click" || type == "dblclick" || type == "contextmenu") {
    e.kind = type == "click"      ? eventKind::click
             : type == "dblclick" ? eventKind::dblclick
                                  : eventKind::contextmenu;
    e.mods = modsOf(frame);
    e.x = intField(frame, "x");
    e.y = intField(frame, "y");
    auto href = frame.find("href");
    if (href != frame.end() && href->is_string()) e.href = href->get<std::string>();
  } else if (type == "input") {
    e.kind = eventKind::input;
    e.value = frame.value("v", std::string());
  } else if (type == "select") {
    element* row = uidElement("row");
    if (!row) return std::nullopt;
    e.kind = eventKind::select;
    e.target = row;
  } else if (type == "menuitem") {
    e.kind = eventKind::menuitem;
  } else if (type == "popupDismissed") {
    e.kind = eventKind::popupClosed;
  } else if (type == "drop") {
    element* zone = uidElement("target");
    if (!zone) return std::nullopt;
    e.kind = eventKind::drop;
    e.target = zone;
    auto index = frame.find("index");
    e.index = index != frame.end() && index->is_number_integer() ? index->get<std::int64_t>() : 0;
  } else if (type == "scroll") {
    e.kind = eventKind::scroll;
    e.y = intField(frame, "top");
  } else if (type == "resized") {
    e.kind = eventKind::resized;
    e.x = intField(frame, "width");
  } else {
    return std::nullopt;
  }
  return e;
}

}  // namespace zv
