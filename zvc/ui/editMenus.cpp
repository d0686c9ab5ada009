#include "zvc/ui/editMenus.h"

#include "htmlview/dom.h"
#include "platform/diagnostics.h"

#include <string_view>

namespace zv {
namespace {

struct menuItem {
  const char* command;  // after the menu's command prefix
  const char* text;
  const char* shortcut;
};

constexpr menuItem editItems[] = {
    {"undo", "Отменить", "Ctrl+Z"},          {"cut", "Вырезать", "Ctrl+X"},
    {"copy", "Копировать", "Ctrl+C"},        {"paste", "Вставить", "Ctrl+V"},
    {"selectall", "Выделить все", "Ctrl+A"},
};

void appendEditMenu(std::string& html, std::string_view id, std::string_view prefix) {
  html += "<menu class=\"context\" id=\"";
  html += id;
  html += "\">";
  for (const menuItem& item : editItems) {
    html += "<li command=\"";
    html += prefix;
    html += item.command;
    html += "\">";
    html += item.text;
    html += "<span class=\"accesskey\">";
    html += item.shortcut;
    html += "</span></li>";
  }
  html += "</menu>";
}

}  // namespace

std::string editMenusHtml() {
  std::string html;
  appendEditMenu(html, "input-edit", "behavior:edit:");
  appendEditMenu(html, "text-edit", "richtext:");
  return html;
}

bool addEditMenus(document& doc) {
  elementRef menu = doc.selectFirst("head > menu");
  if (!menu) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  menu->setInnerHtml(editMenusHtml());
  return true;
}

}  // namespace zv
