#include "common/netInterfaces.h"

#include "platform/diagnostics.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstdlib>

namespace zv {
namespace {

// Addresses no terminal is ever served from: none, the limited broadcast and
// link-local ones the system gives itself.
bool servesTerminals(uint32_t ip) {
  uint32_t hostOrder = ntohl(ip);
  return hostOrder != 0 && hostOrder != 0xFFFFFFFFu && (hostOrder & 0xFFFF0000u) != 0xA9FE0000u;
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

interfaceList scanInterfaces() {
  interfaceList found;
  const char* variable = std::getenv("ZELVAR_INTERFACES");
  std::string_view allowed = variable ? variable : "";
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    ZV_REPORT("%s", errnoText("getifaddrs", errno).c_str());
    return found;
  }
  for (const ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !a->ifa_name) continue;
    if (!interfaceNameAllowed(a->ifa_name, allowed)) continue;
    netInterface entry;
    entry.name = a->ifa_name;
    entry.ip = reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr;
    if (!servesTerminals(entry.ip)) continue;
    if (a->ifa_netmask && a->ifa_netmask->sa_family == AF_INET)
      entry.mask = reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr;
    entry.up = (a->ifa_flags & IFF_UP) != 0;
    entry.loopback = (a->ifa_flags & IFF_LOOPBACK) != 0;
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

}  // namespace zv
