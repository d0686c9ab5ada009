#pragma once
// The main window's document: the skeleton loaded once (style sheets of the skin, font
// faces, the edit menus) and the main frame, the body rebuilt for each mode.
//
// The frame in terminals mode: the left column `col_table` with the mode buttons, the
// column menu button `menu_terminals` with its empty `checkmenu` menu, the version
// caption `ver_caption`, the list `terminals_widget`, the buttons `add_terminal` and
// `find_terminal` and the list's context menu `list_context`; on the right the tab set
// `main_tabs` with its eight panels and the version selector `options_version`. In
// tools mode the column holds the list `utility_widget` and the right part the container
// `utility_fill`. Tooltip popups for the mode buttons, the column menu and the list's
// icons are part of every frame.
//
// Pure functions of their inputs; no thread affinity.

#include "zvc/ui/editMenus.h"

#include <array>
#include <string>
#include <string_view>

namespace zv {

class document;
class installedVersions;

enum class consoleMode : int { terminals = 0, tools = 1 };

// The skin's sheets of the main document, in the order they are included.
inline constexpr std::array<const char*, 13> mainStyleSheets = {
    "common-body.css",       "command-button.css", "main-button.css",      "main-select.css",
    "main-tabs.css",         "video.css",          "main-logging.css",     "utility-main.css",
    "std-menu.css",          "config-main.css",    "config-templates.css", "config-connections.css",
    "terminals_list_new.css"};

// The skeleton with the sheets of `skinDirectory` (ending with '/') inlined; a sheet that
// cannot be read contributes nothing.
std::string mainDocumentHtml(const std::string& skinDirectory);

// What the frame shows besides the mode.
struct mainFrameChoices {
  consoleMode mode = consoleMode::terminals;
  bool usbButton = false;     // a version with PC boot files is installed
  bool piButton = false;      // a version with Raspberry Pi boot files is installed
  std::string versionSelect;  // the options_version select, as HTML
};

// Which boot media buttons the installed versions call for.
void bootMediaButtons(const installedVersions& versions, mainFrameChoices& choices);

// The body's inner HTML.
std::string mainFrameHtml(const mainFrameChoices& choices);

// The panels of main_tabs in strip order.
struct mainPanel {
  const char* name;
  const char* tab;
  bool hidden;    // the tab is hidden at first
  bool selected;  // the tab selected at first
};
inline constexpr std::array<mainPanel, 8> mainPanels = {{
    {"panel-noConfig", "Нет конфигурационного файла", true, false},
    {"panel-templates", "Терминал", false, true},
    {"panel-video", "Видео", false, false},
    {"panel-workplace1", "Экраны", false, false},
    {"panel-workplace2", "Рабочее место 2", true, false},
    {"panel-text", "Текст", false, false},
    {"panel-dhcp", "DHCP", false, false},
    {"panel-logs", "Логи", false, false},
}};

}  // namespace zv
