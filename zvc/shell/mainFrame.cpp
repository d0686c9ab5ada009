#include "zvc/shell/mainFrame.h"

#include "htmlview/dom.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "zvc/register/terminalsList.h"
#include "zvc/register/versions.h"

namespace zv {
namespace {

struct fontFace {
  const char* family;
  const char* file;
};

constexpr fontFace fontFaces[] = {
    {"Source Code Pro 4 Zelvar", "SourceCodePro-Regular.ttf"},
    {"Source Code Pro Bold 4 Zelvar", "SourceCodePro-Bold.ttf"},
    {"fontello", "fontello.ttf"},
};

struct tooltip {
  const char* id;
  const char* text;
};

// The mode buttons' and the column menu's tooltips; the list's icons bring their own.
constexpr tooltip tooltips[] = {
    {"terminals-details", "Настройка терминалов"},
    {"tools-details", "Утилиты"},
    {"menu_details", "Настройка колонок"},
    {"BOOT_USB-details", "Загрузочный USB диск для x86 и x64 (UEFI)"},
    {"BOOT_pi-details", "Загрузочная SD карта для Raspberry Pi"},
};

void appendModeButton(std::string& html, std::string_view name, bool current) {
  html += "<button id=\"";
  html += name;
  html += current ? "\" class=\"currentmode\">" : "\" class=\"mainbutton\">";
  html += "<img src=\"";
  html += name;
  html += ".png\" titleid=\"";
  html += name;
  html += "-details\"></button>";
}

void appendTabs(std::string& html, const mainFrameChoices& choices) {
  // The strip takes the focus when a tab is clicked, so the tabs' keys reach it.
  html += "<div id=\"main_tabs\" class=\"tabs\"><div class=\"strip\" tabindex=\"0\">";
  for (const mainPanel& p : mainPanels) {
    html += "<div panel=\"";
    html += p.name;
    html += '"';
    if (p.selected) html += " selected";
    if (p.hidden) html += " style=\"display:none\"";
    html += '>';
    html += p.tab;
    html += "</div>";
  }
  html += "</div>";
  for (const mainPanel& p : mainPanels) {
    html += "<div name=\"";
    html += p.name;
    html += "\" id=\"";
    html += p.name;
    html += '"';
    if (p.selected) html += " selected";
    html += "></div>";
  }
  html += "<div class=\"version_row\">Версия: ";
  html += choices.versionSelect;
  html += "</div></div>";
}

}  // namespace

std::string mainDocumentHtml(const std::string& skinDirectory) {
  std::string html = "<html>\n<head>\n<style>\n";
  for (const fontFace& f : fontFaces) {
    html += "@font-face { font-family: \"";
    html += f.family;
    html += "\"; src: url(";
    html += f.file;
    html += "); }\n";
  }
  for (const char* sheet : mainStyleSheets) {
    if (std::optional<std::string> css = readFileBytes(skinDirectory + sheet)) {
      html += *css;
      if (!css->empty() && css->back() != '\n') html += '\n';
    }
  }
  html += "</style>\n<menu></menu>\n</head>\n<body>\n</body>\n</html>\n";
  return html;
}

void bootMediaButtons(const installedVersions& versions, mainFrameChoices& choices) {
  choices.usbButton = false;
  choices.piButton = false;
  for (const versionEntry& v : versions.entries()) {
    if (v.kind == versionKind::pcAndPi || v.kind == versionKind::pcOnly) choices.usbButton = true;
    if (v.kind == versionKind::pcAndPi || v.kind == versionKind::piOnly) choices.piButton = true;
  }
}

std::string mainFrameHtml(const mainFrameChoices& choices) {
  bool terminals = choices.mode == consoleMode::terminals;
  std::string html = "<div id=\"col_table\"><div class=\"modebuttons\">";
  appendModeButton(html, "terminals", terminals);
  appendModeButton(html, "tools", !terminals);
  if (choices.usbButton) appendModeButton(html, "BOOT_USB", false);
  if (choices.piButton) appendModeButton(html, "BOOT_pi", false);
  html += "</div>";
  if (terminals) {
    html +=
        "<div class=\"div_h\"><button id=\"menu_terminals\" type=\"menu\" "
        "title=\"Настройка колонок\" titleid=\"menu_details\">$<menu class=\"checkmenu\">"
        "</menu></button><div id=\"ver_caption\"></div></div>"
        "<widget id=\"terminals_widget\" type=\"select\"></widget>"
        "<div class=\"div_h\"><button id=\"add_terminal\">Добавить</button>"
        "<button id=\"find_terminal\">Найти</button></div>";
    html += listContextMenuHtml();
  } else {
    html += "<widget id=\"utility_widget\" type=\"select\"></widget>";
  }
  html += "</div>";
  if (terminals) {
    appendTabs(html, choices);
  } else {
    html += "<div id=\"utility_fill\"></div>";
  }
  for (const tooltip& t : tooltips) {
    html += "<popup id=\"";
    html += t.id;
    html += "\">";
    html += t.text;
    html += "</popup>";
  }
  html += listTooltipsHtml();
  return html;
}

}  // namespace zv
