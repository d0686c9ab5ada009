#pragma once
// The console's per-user settings: the main window's place and size, the terminals
// column's width, the list's columns, sort and filter, and the log views' time source,
// kept as DWORD values under Software\Zelvar\ZVCenter in the HKCU store. Secondary
// windows ("options", "usb_wizard") keep their own four geometry values there.
//
// Reading never fails: a missing key, a missing value, a value of another type or a
// store that cannot be read gives the default of that value. The column flags are
// stored as read; terminalsList's computeColumns derives what the list actually shows.
//
// Plain values and free functions; the registry store serialises its own access, but
// the settings object itself belongs to the user-interface thread.

#include "platform/registry.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zv {

// The window system's "place it yourself" marker for a position or a size.
constexpr int32_t cwUseDefault = int32_t(0x80000000u);
constexpr int32_t minimumMainWidth = 1200;
// Bounds of a dragged width of the left column; a stored width outside them (or 0)
// leaves the column sized by its content.
constexpr uint32_t minimumColumnWidth = 160;
constexpr uint32_t maximumColumnWidth = 1600;
constexpr uint32_t clampColumnWidth(uint32_t width) {
  return width < minimumColumnWidth || width > maximumColumnWidth ? 0 : width;
}
constexpr int32_t minimumMainHeight = 950;

constexpr std::string_view userSettingsKey = "Software\\Zelvar\\ZVCenter";

// A rectangle of the screen in pixels: a window's outer frame or a monitor's area.
struct screenRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  friend bool operator==(const screenRect&, const screenRect&) = default;
};

// Sort columns of the terminals list.
enum : int {
  sortByMac = 1,
  sortByIp = 2,
  sortByHost = 3,
  sortByComment = 4,
  sortByLastSeen = 5,
  sortByLastLogin = 6,
};

// Filters of the terminals list (which registered terminals it shows).
enum : int {
  filterUnhidden = 1,    // all but the hidden
  filterProduct = 2,     // unhidden terminals running the product
  filterConfigured = 3,  // unhidden terminals with their own configuration
  filterAll = 5,         // all, hidden too
};

struct userSettings {
  int32_t posX = cwUseDefault;
  int32_t posY = 0;
  int32_t width = minimumMainWidth;
  int32_t height = minimumMainHeight;
  uint32_t terminalsWidth = 300;  // read at start, written back unchanged
  // The left column's width as the user dragged it (CSS pixels, minimumColumnWidth to
  // maximumColumnWidth); 0: the column is sized by its content. Value "listwidth".
  uint32_t columnWidth = 0;
  bool showMAC = true;
  bool showHost = true;
  bool showIP = false;
  bool showNote = false;
  bool showLastlogin = false;
  bool showOnline = false;
  bool showTime = false;
  bool serverTime = true;
  int sortColumn = sortByMac;         // 1 to 6
  int filterColumn = filterUnhidden;  // 1, 2, 3 or 5

  // The main window's rectangle as stored (the position may be the marker).
  screenRect window() const { return {posX, posY, width, height}; }
};

// Reads every value with its default and clamp: width and height raised to 1200 × 950
// (the marker counts as less), a sort column outside 1 to 6 and a filter other than
// 1, 2, 3 or 5 read as 1.
userSettings loadSettings(registryStore& store);
// Writes, creating the key: posX, posY, width, terminalswidth, height (from `window`),
// then showMAC, showHost, showIP, showNote, showLastlogin, showOnline, showTime,
// serverTime, sortColumn, filterColumn. False when a value could not be written.
bool saveSettings(registryStore& store, const userSettings& settings, const screenRect& window);

// Where a window with this saved rectangle opens: unchanged when its centre lies on a
// monitor; otherwise (and when its position is the marker) moved to the top-left corner
// of the nearest monitor, the first one for the marker. No monitors: unchanged.
screenRect placeOnMonitors(const screenRect& saved, std::span<const screenRect> monitors);

// The main window's opening rectangle from the settings.
screenRect mainWindowPlacement(const userSettings& settings, std::span<const screenRect> monitors);

// Secondary windows: the values <name>posX, <name>posY, <name>width, <name>height. A
// value name longer than 63 characters is refused (internal error, false / nullopt).
bool saveWindowGeometry(registryStore& store, std::string_view name, const screenRect& window);
// The saved rectangle, placed on the monitors; nullopt when any of the four is missing
// (the window then keeps its own default).
std::optional<screenRect> loadWindowGeometry(registryStore& store, std::string_view name,
                                             std::span<const screenRect> monitors);

}  // namespace zv
