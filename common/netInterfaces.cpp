#include "common/netInterfaces.h"

#include "common/mac.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/sockets.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace zv {
namespace {

constexpr const char* routeTablePath = "/proc/net/route";
constexpr std::size_t systemFileLimit = 1u << 20;

// Addresses no terminal is ever served from: none, the limited broadcast and
// link-local ones the system gives itself.
bool servesTerminals(uint32_t ip) {
  uint32_t hostOrder = ntohl(ip);
  return hostOrder != 0 && hostOrder != 0xFFFFFFFFu && (hostOrder & 0xFFFF0000u) != 0xA9FE0000u;
}

// Adapters with no MTU or the pseudo-adapters' huge one carry no terminal traffic; the
// loopback adapter (65536 on Linux) stays, flagged, for consoles confined to it.
bool takesAdapter(uint32_t mtu, bool loopback) {
  if (loopback) return mtu > 0;
  return mtu > 0 && mtu < 65535;
}

std::vector<std::string_view> splitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t at = 0;
  while (at < line.size() && fields.size() < 16) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    std::size_t end = at;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
    if (end > at) fields.push_back(line.substr(at, end - at));
    at = end;
  }
  return fields;
}

std::optional<uint32_t> hexField(std::string_view text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The system's file of this adapter, or empty.
std::string sysClassNetText(const std::string& device, const char* name) {
  if (device.empty() || device.find('/') != std::string::npos || device[0] == '.') return {};
  fileContents file =
      readFileLimited("/sys/class/net/" + device + "/" + name, 4096, linkRule::follow);
  return file.ok() ? file.bytes : std::string();
}

struct adapterLink {
  std::array<uint8_t, 6> mac{};
  uint32_t ifIndex = 0;
};

// The hardware address and index of every adapter the list names.
std::vector<std::pair<std::string, adapterLink>> adapterLinks(const ifaddrs* list) {
  std::vector<std::pair<std::string, adapterLink>> links;
  for (const ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET || !a->ifa_name) continue;
    if (links.size() >= interfaceTableLimit) break;
    sockaddr_ll packet{};
    std::memcpy(&packet, a->ifa_addr, sizeof packet);
    adapterLink link;
    link.ifIndex = uint32_t(packet.sll_ifindex);
    if (packet.sll_halen == 6) std::memcpy(link.mac.data(), packet.sll_addr, 6);
    links.emplace_back(a->ifa_name, link);
  }
  return links;
}

// The internal-error line with `error` as its number.
void internalError(int error, const char* file, int line) {
  errno = error;
  reportInternalError(file, line);
}

}  // namespace

bool interfaceNameAllowed(std::string_view name, std::string_view allowed) {
  if (allowed.empty()) return true;
  while (!allowed.empty()) {
    std::size_t comma = allowed.find(',');
    std::string_view item = allowed.substr(0, comma);
    if (!item.empty() && item == name) return true;
    if (comma == std::string_view::npos) break;
    allowed.remove_prefix(comma + 1);
  }
  return false;
}

std::vector<defaultRoute> parseDefaultRoutes(std::string_view text) {
  // Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT; addresses
  // are the in-memory words in hexadecimal, so they read back as network order.
  std::vector<defaultRoute> routes;
  bool header = true;
  while (!text.empty() && routes.size() < interfaceTableLimit) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (header) {
      header = false;
      continue;
    }
    std::vector<std::string_view> f = splitFields(line);
    if (f.size() < 8 || f[0].size() >= IFNAMSIZ) continue;
    auto destination = hexField(f[1]), gateway = hexField(f[2]), flags = hexField(f[3]),
         mask = hexField(f[7]);
    if (!destination || !gateway || !flags || !mask) continue;
    if (*destination != 0 || *mask != 0 || !(*flags & RTF_GATEWAY) || *gateway == 0) continue;
    routes.push_back({std::string(f[0]), *gateway});
  }
  return routes;
}

uint32_t gatewayOf(const std::vector<defaultRoute>& routes, std::string_view device) {
  for (const defaultRoute& r : routes)
    if (r.device == device) return r.gateway;
  return 0;
}

std::optional<uint32_t> parseMtuText(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

uint32_t gatewayOnNetwork(uint32_t ip, uint32_t mask, uint32_t gateway) {
  if (gateway == 0 || (gateway & mask) != (ip & mask)) return ip;
  return gateway;
}

interfaceList scanInterfaces() {
  interfaceList found;
  const char* variable = std::getenv("ZELVAR_INTERFACES");
  std::string_view allowed = variable ? variable : "";
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    ZV_REPORT("%s", errnoText("getifaddrs", errno).c_str());
    return found;
  }
  fileContents routeFile = readFileLimited(routeTablePath, systemFileLimit, linkRule::follow);
  std::vector<defaultRoute> routes =
      routeFile.ok() ? parseDefaultRoutes(routeFile.bytes) : std::vector<defaultRoute>{};
  auto links = adapterLinks(list);
  for (const ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !a->ifa_name) continue;
    if (!interfaceNameAllowed(a->ifa_name, allowed)) continue;
    netInterface entry;
    entry.name = a->ifa_name;
    entry.description = entry.name;
    entry.ip = reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr;
    if (!servesTerminals(entry.ip)) continue;
    entry.mask = htonl(0xFFFFFF00u);
    if (a->ifa_netmask && a->ifa_netmask->sa_family == AF_INET)
      entry.mask = reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr;
    entry.up = (a->ifa_flags & IFF_UP) != 0;
    entry.loopback = (a->ifa_flags & IFF_LOOPBACK) != 0;
    // /sys shows the namespace it was mounted in; the socket call asks this process's.
    uint32_t mtu = interfaceMtu(entry.name);
    if (mtu == 0) mtu = parseMtuText(sysClassNetText(entry.name, "mtu")).value_or(0);
    if (!takesAdapter(mtu, entry.loopback)) continue;
    entry.mtu = uint16_t(mtu > 0xFFFF ? 0xFFFF : mtu);
    for (const auto& [name, link] : links)
      if (name == entry.name) {
        entry.mac = link.mac;
        entry.ifIndex = link.ifIndex;
        break;
      }
    entry.gateway = gatewayOnNetwork(entry.ip, entry.mask, gatewayOf(routes, entry.name));
    if (found.size() >= interfaceTableLimit) {
      ZV_REPORT("More than %zu interface addresses; the rest are not used.", interfaceTableLimit);
      break;
    }
    found.push_back(std::move(entry));
  }
  freeifaddrs(list);
  return found;
}

bool onInterfaceNetwork(const interfaceList& interfaces, uint32_t address) {
  for (const netInterface& i : interfaces)
    if (i.up && (address & i.mask) == (i.ip & i.mask)) return true;
  return false;
}

interfaceList& interfaceTable() {
  static interfaceList table;
  return table;
}

void startupInterfaceScan() {
  static bool done = false;
  if (done) return;
  done = true;
  interfaceTable() = scanInterfaces();
  for (const netInterface& i : interfaceTable())
    logMessage("Found interface %s/%s mtu %d mac %s adapter %s.", ipv4Text(i.ip).c_str(),
               ipv4Text(i.mask).c_str(), int(i.mtu), macAddress{i.mac}.logText().c_str(),
               i.description.c_str());
}

bool mergeInterfaces(interfaceList& table, const interfaceList& fresh) {
  bool changed = false;
  auto inFresh = [&](uint32_t ip) {
    for (const netInterface& f : fresh)
      if (f.ip == ip) return true;
    return false;
  };
  for (auto it = table.begin(); it != table.end();) {
    if (inFresh(it->ip)) {
      ++it;
      continue;
    }
    logMessage("Delete old interface IP=%s, not found in Windows.", ipv4Text(it->ip).c_str());
    it = table.erase(it);
    changed = true;
  }
  for (const netInterface& f : fresh) {
    bool present = false;
    for (netInterface& t : table)
      if (t.ip == f.ip) {
        t = f;
        present = true;
        break;
      }
    if (present) continue;
    if (table.size() >= interfaceTableLimit) {
      internalError(ENOSPC, __FILE__, __LINE__);
      continue;
    }
    logMessage("Added new interface IP=%s, found in Windows.", ipv4Text(f.ip).c_str());
    table.push_back(f);
    changed = true;
  }
  return changed;
}

bool refreshInterfaces() {
  return mergeInterfaces(interfaceTable(), scanInterfaces());
}

const netInterface* interfaceAt(std::size_t index) {
  const interfaceList& table = interfaceTable();
  if (index < table.size()) return &table[index];
  internalError(EINVAL, __FILE__, __LINE__);
  return table.empty() ? nullptr : &table[0];
}

const netInterface* findInterface(uint32_t address) {
  for (const netInterface& i : interfaceTable())
    if (i.ip == address) return &i;
  return nullptr;
}

}  // namespace zv
