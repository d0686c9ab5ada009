#pragma once
// The markup of the terminals list: a terminal's row, the settings menu of
// "menu_terminals", the context menu "list_context" and the tooltips of the list's
// icons, with the tables behind the settings menu. Functions of a terminal and the
// settings only; terminalsList puts the markup into the document.
//
// A row is one `option`:
//   <option class="CLASS"[ current ][ tmplt ] tlgID="MAC">images, text items</option>
// CLASS is "hidden_item", "online" or empty; text items are divs whose name and class
// are "MAC_item", "IP_item", "host_item", "comment_item", "lastlogin_item" and
// "version_item", the sorted column's with the extra class "sortProperty". Texts from
// the terminal are escaped, so a comment never becomes markup.
//
// Thread safety: pure functions, except that rows ask the disk for the configuration
// status; the user-interface thread calls them.

#include "common/mac.h"
#include "htmlview/dom.h"
#include "zvc/register/terminals.h"
#include "zvc/ui/userSettings.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zv {

// "hidden_item" for a hidden terminal, else "online" while it counts as online and
// online marks are on, else empty.
std::string terminalRowClass(const terminal& t, const userSettings& settings);
// The content of a row; `lastSeen` is the text of the last-seen cell (shown with
// showTime), `groupName` names group pseudo-terminals.
std::string terminalRowContentHtml(const terminal& t, const userSettings& settings,
                                   std::string_view lastSeen, const groupNameLookup& groupName);
std::string terminalRowHtml(const terminal& t, const userSettings& settings, bool current,
                            std::string_view lastSeen, const groupNameLookup& groupName);
// Moves the "sortProperty" class of a row's text items to the settings' sort column.
void markSortColumn(element& row, const userSettings& settings, bool pseudo);

// The UTC day (days since the epoch) of a time in seconds since the epoch.
int64_t utcDay(int64_t seconds);
// "Сегодня", "Вчера" or the date as dd.mm.yyyy.
std::string lastSeenLabel(int64_t day, int64_t today);

// The settings menu: seven column checkboxes, the sort select (one option per shown
// column) and the filter select.
std::string settingsMenuHtml(const userSettings& settings);
// The flag of a column checkbox id ("showMAC" … "showTime"); nullptr for another id.
bool userSettings::*columnFlag(std::string_view id);
// Whether a registered terminal passes the filter (pseudo-terminals aside); nullptr for
// no filter.
bool (*filterPredicate(int filter))(const terminal&);
// Whether the sort column's column is shown.
bool sortColumnShown(const userSettings& settings, int column);
// The first sort column whose column is shown, in the sort select's order (MAC, IP,
// host, comment, last login, last seen); 0 with none.
int firstShownSortColumn(const userSettings& settings);
// The caption shown once a filter is chosen ("все" …); nullptr for no filter.
const char* filterCaption(int filter);
// The sort select's caption → sort column: "MAC" 1, "IP" 2, "host" 3, "comment" 4
// (ASCII case ignored), "Последний логин" 6, anything else 5.
int sortColumnFromCaption(std::string_view caption);

std::string listContextMenuHtml();
// The tooltip popups of the list's icons, for the main frame.
std::string listTooltipsHtml();

}  // namespace zv
