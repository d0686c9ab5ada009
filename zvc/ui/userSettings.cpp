#include "zvc/ui/userSettings.h"

#include "platform/diagnostics.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <string>

namespace zv {
namespace {

constexpr std::size_t valueNameLimit = 63;

// A DWORD as stored, or the default when missing, of another type or unreadable.
uint32_t readDword(registryStore& store, std::string_view name, uint32_t fallback) {
  uint32_t number = 0;
  return store.queryDword(userSettingsKey, name, number) == regStatus::ok ? number : fallback;
}

int32_t readSigned(registryStore& store, std::string_view name, int32_t fallback) {
  return int32_t(readDword(store, name, uint32_t(fallback)));
}

bool readFlag(registryStore& store, std::string_view name, bool fallback) {
  return readDword(store, name, fallback ? 1 : 0) != 0;
}

bool writeDword(registryStore& store, std::string_view name, uint32_t number) {
  return store.set(userSettingsKey, name, regValue::dword(number));
}

int64_t distanceSquared(int64_t px, int64_t py, const screenRect& r) {
  auto along = [](int64_t p, int64_t from, int64_t length) -> int64_t {
    if (p < from) return from - p;
    if (p >= from + length) return p - (from + length - 1);
    return 0;
  };
  int64_t dx = along(px, r.x, r.width);
  int64_t dy = along(py, r.y, r.height);
  return dx * dx + dy * dy;
}

bool nameFits(std::string_view name) {
  // "height" is the longest of the four suffixes.
  if (name.size() + 6 <= valueNameLimit) return true;
  errno = ENAMETOOLONG;
  ZV_INTERNAL_ERROR();
  return false;
}

}  // namespace

userSettings loadSettings(registryStore& store) {
  userSettings s;
  s.posX = readSigned(store, "posX", cwUseDefault);
  s.posY = readSigned(store, "posY", 0);
  s.width = std::max(readSigned(store, "width", cwUseDefault), minimumMainWidth);
  s.height = std::max(readSigned(store, "height", 0), minimumMainHeight);
  s.terminalsWidth = readDword(store, "terminalswidth", 300);
  s.columnWidth = clampColumnWidth(readDword(store, "listwidth", 0));
  s.showMAC = readFlag(store, "showMAC", true);
  s.showHost = readFlag(store, "showHost", true);
  s.showIP = readFlag(store, "showIP", false);
  s.showNote = readFlag(store, "showNote", false);
  s.showLastlogin = readFlag(store, "showLastlogin", false);
  s.showOnline = readFlag(store, "showOnline", false);
  s.showTime = readFlag(store, "showTime", false);
  s.serverTime = readFlag(store, "serverTime", true);
  uint32_t sort = readDword(store, "sortColumn", sortByMac);
  s.sortColumn = sort >= 1 && sort <= 6 ? int(sort) : sortByMac;
  uint32_t filter = readDword(store, "filterColumn", 1);
  s.filterColumn = filter == 1 || filter == 2 || filter == 3 || filter == 5 ? int(filter) : 1;
  return s;
}

bool saveSettings(registryStore& store, const userSettings& s, const screenRect& window) {
  if (!store.createKey(userSettingsKey)) return false;
  const std::pair<std::string_view, uint32_t> values[] = {
      {"posX", uint32_t(window.x)},
      {"posY", uint32_t(window.y)},
      {"width", uint32_t(window.width)},
      {"terminalswidth", s.terminalsWidth},
      {"height", uint32_t(window.height)},
      {"showMAC", s.showMAC},
      {"showHost", s.showHost},
      {"showIP", s.showIP},
      {"showNote", s.showNote},
      {"showLastlogin", s.showLastlogin},
      {"showOnline", s.showOnline},
      {"showTime", s.showTime},
      {"serverTime", s.serverTime},
      {"sortColumn", uint32_t(s.sortColumn)},
      {"filterColumn", uint32_t(s.filterColumn)},
      {"listwidth", s.columnWidth},
  };
  bool ok = true;
  for (const auto& [name, number] : values) ok = writeDword(store, name, number) && ok;
  return ok;
}

screenRect placeOnMonitors(const screenRect& saved, std::span<const screenRect> monitors) {
  if (monitors.empty()) return saved;
  screenRect placed = saved;
  if (saved.x == cwUseDefault) {
    placed.x = monitors.front().x;
    placed.y = monitors.front().y;
    return placed;
  }
  int64_t cx = int64_t(saved.x) + saved.width / 2;
  int64_t cy = int64_t(saved.y) + saved.height / 2;
  const screenRect* nearest = &monitors.front();
  int64_t best = std::numeric_limits<int64_t>::max();
  for (const screenRect& m : monitors) {
    int64_t d = distanceSquared(cx, cy, m);
    if (d == 0) return saved;  // the centre is on this monitor
    if (d < best) {
      best = d;
      nearest = &m;
    }
  }
  placed.x = nearest->x;
  placed.y = nearest->y;
  return placed;
}

screenRect mainWindowPlacement(const userSettings& s, std::span<const screenRect> monitors) {
  return placeOnMonitors(s.window(), monitors);
}

bool saveWindowGeometry(registryStore& store, std::string_view name, const screenRect& window) {
  if (!nameFits(name)) return false;
  std::string prefix(name);
  bool ok = writeDword(store, prefix + "posX", uint32_t(window.x));
  ok = writeDword(store, prefix + "posY", uint32_t(window.y)) && ok;
  ok = writeDword(store, prefix + "width", uint32_t(window.width)) && ok;
  ok = writeDword(store, prefix + "height", uint32_t(window.height)) && ok;
  return ok;
}

std::optional<screenRect> loadWindowGeometry(registryStore& store, std::string_view name,
                                             std::span<const screenRect> monitors) {
  if (!nameFits(name)) return std::nullopt;
  std::string prefix(name);
  uint32_t v[4];
  const char* suffixes[] = {"posX", "posY", "width", "height"};
  for (int i = 0; i < 4; ++i)
    if (store.queryDword(userSettingsKey, prefix + suffixes[i], v[i]) != regStatus::ok)
      return std::nullopt;
  return placeOnMonitors({int32_t(v[0]), int32_t(v[1]), int32_t(v[2]), int32_t(v[3])}, monitors);
}

}  // namespace zv
