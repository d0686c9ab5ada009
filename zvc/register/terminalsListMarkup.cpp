#include "zvc/register/terminalsListMarkup.h"

#include "htmlview/parser.h"
#include "platform/textConv.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <vector>

namespace zv {
namespace {

constexpr const char* nbsp2 = "&nbsp;&nbsp;";

// Single-byte identity texts: ASCII as is, anything else as '?' so that the markup
// stays valid UTF-8.
std::string fromSingleByte(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  return out;
}

struct textItem {
  const char* name;
  int sortColumn;
};

constexpr textItem macItem{"MAC_item", sortByMac};
constexpr textItem ipItem{"IP_item", sortByIp};
constexpr textItem hostItem{"host_item", sortByHost};
constexpr textItem commentItem{"comment_item", sortByComment};
constexpr textItem lastLoginItem{"lastlogin_item", sortByLastLogin};
constexpr textItem versionItem{"version_item", 0};

void appendItem(std::string& out, const textItem& item, bool sortProperty, std::string_view text) {
  out += "<div name=\"";
  out += item.name;
  out += "\" class=\"";
  out += item.name;
  if (sortProperty) out += " sortProperty";
  out += "\">";
  out += text;
  out += "</div>";
}

// The src part of the platform icon.
const char* platformIcon(const terminal& t) {
  if (t.mac.isBootCd()) return "\"cdrom.png\" title=\"cdrom\" titleid=\"cdrom\"";
  if (t.mac.isBootUsb()) return "\"usb.png\" title=\"usb\" titleid=\"usb\"";
  if (t.mac.groupNumber() != 0) return "\"group.png\" title=\"group\" titleid=\"group\"";
  switch (t.platform) {
    case platformX86:
      return "\"x86.png\" title=\"X86\" titleid=\"X86\"";
    case platformUefi:
      return "\"uefi.png\" title=\"uefi\" titleid=\"uefi\"";
    case platformPi2B:
      return "\"pi.png\" title=\"pi\" titleid=\"pi\"";
    case platformPi64bit:
      return "\"pi_64.png\" title=\"pi_64\" titleid=\"pi_64\"";
    case platformWindows:
      return "\"windows.png\" title=\"win\" titleid=\"win\"";
    default:
      return "\"terminal_for_list.png\"";
  }
}

const char* configIcon(int status) {
  switch (status) {
    case 1:
      return "\"config.png\" title=\"config\" titleid=\"config\"";
    case 2:
      return "\"config_broken.png\" title=\"config broken\" titleid=\"config_broken\"";
    default:
      return "\"config_none.png\" title=\"no config\" titleid=\"noconfig\"";
  }
}

std::string dottedIp(uint32_t ip) {
  uint32_t h = ntohl(ip);
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", h >> 24, (h >> 16) & 0xFF, (h >> 8) & 0xFF,
                h & 0xFF);
  return text;
}

struct filterRow {
  int value;
  const char* optionText;
  const char* caption;
  bool (*passes)(const terminal&);
};
constexpr filterRow filters[] = {
    {filterUnhidden, "Все кроме скрытых", "все", [](const terminal& t) { return !t.hidden; }},
    {filterProduct, "Только Zelvar", "только Zelvar",
     [](const terminal& t) { return !t.hidden && t.runsProduct; }},
    {filterConfigured, "Только настроенные Zelvar (с конфигом)", "только с конфигурацией",
     [](const terminal& t) { return !t.hidden && configStatus(t) == 1; }},
    {filterAll, "Все, в том числе скрытые", "все, включая скрытые",
     [](const terminal&) { return true; }},
};

struct columnRow {
  const char* id;
  const char* text;
  bool userSettings::*flag;
};
constexpr columnRow columns[] = {
    {"showMAC", "MAC - уникальный ID", &userSettings::showMAC},
    {"showIP", "IP", &userSettings::showIP},
    {"showHost", "Host", &userSettings::showHost},
    {"showNote", "Комментарий", &userSettings::showNote},
    {"showLastlogin", "Последний логин", &userSettings::showLastlogin},
    {"showOnline", "В сети", &userSettings::showOnline},
    {"showTime", "Время последнего обращения", &userSettings::showTime},
};

struct sortRow {
  const char* id;
  const char* text;
  int column;
  bool userSettings::*flag;
};
constexpr sortRow sorts[] = {
    {"sort_mac", "MAC", sortByMac, &userSettings::showMAC},
    {"sort_ip", "IP", sortByIp, &userSettings::showIP},
    {"sort_host", "Host", sortByHost, &userSettings::showHost},
    {"sort_comment", "Comment", sortByComment, &userSettings::showNote},
    {"sort_lastlogin", "Последний логин", sortByLastLogin, &userSettings::showLastlogin},
    {"sort_time", "Время последнего обращения", sortByLastSeen, &userSettings::showTime},
};

}  // namespace

int64_t utcDay(int64_t seconds) {
  return seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
}

std::string lastSeenLabel(int64_t day, int64_t today) {
  if (day == today) return "Сегодня";
  if (day == today - 1) return "Вчера";
  std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{day}}};
  char text[32];
  std::snprintf(text, sizeof text, "%02u.%02u.%d", unsigned(date.day()), unsigned(date.month()),
                int(date.year()));
  return text;
}

std::string terminalRowClass(const terminal& t, const userSettings& settings) {
  if (t.hidden) return "hidden_item";
  if (settings.showOnline && t.onlineCountdown > 0) return "online";
  return {};
}

std::string terminalRowContentHtml(const terminal& t, const userSettings& s,
                                   std::string_view lastSeen, const groupNameLookup& groupName) {
  bool pseudo = t.mac.isPseudo();
  std::string out =
      "<div class=\"div_h\"><div class=\"div_images\"><img class=\"platform_img\" src=";
  out += platformIcon(t);
  out += "><img class=\"config_img\" src=";
  out += configIcon(configStatus(t));
  out += "></div></div><div class=\"div_col\">";

  auto sorted = [&](const textItem& item) { return s.sortColumn == item.sortColumn; };
  std::string mac;
  if (s.showMAC) {
    mac = pseudo ? toUtf8(pseudoTerminalName(t.mac, groupName)) : t.mac.logText();
    std::string text;
    appendEscaped(text, mac, true);
    text += nbsp2;
    mac.clear();
    appendItem(mac, macItem, sorted(macItem) && !pseudo, text);
  }
  std::string ip;
  if (s.showIP && t.ip != 0) appendItem(ip, ipItem, sorted(ipItem), dottedIp(t.ip) + nbsp2);
  if (s.showMAC && s.showIP) {
    out += "<div class=\"div_h\">" + mac + ip + "</div>";
  } else {
    out += mac;
    out += ip;
  }
  auto escapedItem = [&](bool shown, const textItem& item, const std::string& value) {
    if (!shown || value.empty()) return;
    std::string text;
    appendEscaped(text, value, true);
    appendItem(out, item, sorted(item), text);
  };
  escapedItem(s.showHost, hostItem, fromSingleByte(t.host));
  escapedItem(s.showNote, commentItem, toUtf8(t.comment));
  escapedItem(s.showLastlogin, lastLoginItem, toUtf8(t.lastLogin));

  out += "<div class=\"div_h\">";
  if (s.showTime) {
    out += "<div class=\"accesstime\">";
    out += lastSeen;
    out += "</div>";
  }
  std::string version;
  if (!pseudo && !t.version.empty()) {
    version = "v.";
    appendEscaped(version, fromSingleByte(t.version), true);
    version += nbsp2;
  }
  appendItem(out, versionItem, false, version);
  out += "</div></div>";
  return out;
}

std::string terminalRowHtml(const terminal& t, const userSettings& settings, bool current,
                            std::string_view lastSeen, const groupNameLookup& groupName) {
  std::string out = "<option class=\"" + terminalRowClass(t, settings) + "\"";
  if (current) out += " current ";
  if (t.mac.isPseudo()) out += " tmplt ";
  out += " tlgID=\"" + t.mac.logText() + "\">";
  out += terminalRowContentHtml(t, settings, lastSeen, groupName);
  out += "</option>";
  return out;
}

std::string settingsMenuHtml(const userSettings& s) {
  std::string out;
  for (const columnRow& c : columns) {
    out += std::string("<li><button type=\"checkbox\" class=\"menu_li\" id=\"") + c.id + "\"";
    if (s.*(c.flag)) out += " checked ";
    out += std::string(">") + c.text + "</button></li>";
  }
  out += "<li>&nbsp;Сортировать:<select id=\"sort_terminals\" style=\"width:16em\">";
  for (const sortRow& r : sorts) {
    if (!(s.*(r.flag))) continue;
    out += std::string("<option id=\"") + r.id + "\"";
    if (r.column == s.sortColumn) out += " selected";
    out += std::string(">") + r.text + "</option>";
  }
  out += "</select></li>";
  out += "<li>&nbsp;&nbsp;Показывать:<select id=\"filter_terminals\" style=\"width:16em\">";
  for (const filterRow& f : filters) {
    out += "<option value=\"" + std::to_string(f.value) + "\" id=\"filter_" +
           std::to_string(f.value) + "\"";
    if (f.value == s.filterColumn) out += " selected";
    out += std::string(">") + f.optionText + "</option>";
  }
  out += "</select></li>";
  return out;
}

namespace {

// The class an item should have: its name, with " sortProperty" when it is the sorted one.
bool hasItemClass(const element& e, std::string_view name, bool marked) {
  std::optional<std::string_view> cls = e.attribute("class");
  if (!cls) return false;
  constexpr std::string_view mark = " sortProperty";
  if (!marked) return *cls == name;
  return cls->size() == name.size() + mark.size() && cls->starts_with(name) && cls->ends_with(mark);
}

void markItems(element& e, const userSettings& settings, bool pseudo) {
  for (std::size_t i = 0; i < e.childCount(); ++i) {
    element& child = *e.child(i);
    if (std::optional<std::string_view> name = child.attribute("name")) {
      for (const textItem* item : {&macItem, &ipItem, &hostItem, &commentItem, &lastLoginItem}) {
        if (*name != item->name) continue;
        bool marked = settings.sortColumn == item->sortColumn && !(pseudo && item == &macItem);
        if (!hasItemClass(child, item->name, marked))
          child.setAttribute("class", std::string(item->name) + (marked ? " sortProperty" : ""));
      }
    }
    if (child.childCount() > 0) markItems(child, settings, pseudo);
  }
}

}  // namespace

void markSortColumn(element& row, const userSettings& settings, bool pseudo) {
  // Called for every row when the sort changes: no allocation unless a class changes.
  markItems(row, settings, pseudo);
}

bool userSettings::*columnFlag(std::string_view id) {
  for (const columnRow& c : columns)
    if (id == c.id) return c.flag;
  return nullptr;
}

bool (*filterPredicate(int filter))(const terminal&) {
  for (const filterRow& f : filters)
    if (f.value == filter) return f.passes;
  return nullptr;
}

bool sortColumnShown(const userSettings& settings, int column) {
  for (const sortRow& r : sorts)
    if (r.column == column) return settings.*(r.flag);
  return false;
}

int firstShownSortColumn(const userSettings& settings) {
  for (const sortRow& r : sorts)
    if (settings.*(r.flag)) return r.column;
  return 0;
}

const char* filterCaption(int filter) {
  for (const filterRow& f : filters)
    if (f.value == filter) return f.caption;
  return nullptr;
}

int sortColumnFromCaption(std::string_view caption) {
  if (equalsNoCase(caption, "MAC")) return sortByMac;
  if (equalsNoCase(caption, "IP")) return sortByIp;
  if (equalsNoCase(caption, "host")) return sortByHost;
  if (equalsNoCase(caption, "comment")) return sortByComment;
  if (caption == "Последний логин") return sortByLastLogin;
  return sortByLastSeen;
}

std::string listContextMenuHtml() {
  return "<menu id=\"list_context\" class=\"context\">"
         "<li id=\"webinterface\">Открыть web-интерфейс</li>"
         "<li id=\"terminal_zvrc\">Удаленное управление</li>"
         "<hr>"
         "<li id=\"terminal_reboot\">Перегрузить терминал</li>"
         "<li id=\"mac_copy\">Копировать MAC в буфер обмена</li>"
         "<hr>"
         "<li id=\"terminal_new\">Добавить терминал</li>"
         "<li id=\"terminal_find\">Найти терминал</li>"
         "<li id=\"terminal_copyto\">Копировать конфигурацию в...</li>"
         "<hr>"
         "<li id=\"terminal_remove\">Удалить терминал</li>"
         "<li id=\"terminal_hide\">Скрыть терминал</li>"
         "<hr>"
         "<li>ZVDHCP<menu>"
         "<li id=\"DHCPignores\">Игнорирует терминал</li>"
         "<li id=\"DHCPlistens\">Отвечает терминалу</li>"
         "</menu></li>"
         "</menu>";
}

std::string listTooltipsHtml() {
  static const std::pair<const char*, const char*> tips[] = {
      {"X86", "x86 терминал"},
      {"uefi", "UEFI терминал"},
      {"pi", "Raspberry Pi терминал"},
      {"win", "Windows компьютер"},
      {"config", "Есть индивидуальный конфигурационный файл"},
      {"config_broken", "Неверный индивидуальный конфигурационный файл"},
      {"config_error", "Индивидуальный конфигурационный файл несовместим с версией Zelvar"},
      {"noconfig", "Нет индивидуального конфигурационного файла"},
      {"cdrom", "Загрузочный CD-ROM"},
      {"usb", "Загрузочный USB"},
      {"group", "Группа терминалов подсети"},
      {"error_curr", "Не проходит контроль текущей версией."},
      {"error_ver", "Не проходит контроль версией терминала."},
  };
  std::string out;
  for (const auto& [id, text] : tips)
    out += std::string("<popup id=\"") + id + "\">" + text + "</popup>";
  return out;
}

}  // namespace zv
