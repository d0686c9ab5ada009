#include "zvc/register/arpLookup.h"

#include "common/fstream.h"
#include "platform/diagnostics.h"

#include <cerrno>

namespace zv {

arpSource systemArpSource() {
  return [] { return readArpTable(systemArpTablePath); };
}

std::optional<uint32_t> findAddressByMac(const macAddress& mac, const arpSource& source) {
  logMessage("Search in ARP table for MAC %s", mac.logText().c_str());
  auto table = source ? source() : std::nullopt;
  if (!table) return {};
  std::optional<uint32_t> found;
  for (const arpEntry& entry : *table) {
    if (!entry.complete() || entry.mac != mac.bytes) continue;
    // A MAC that two addresses claim names no single terminal.
    if (found) return {};
    found = entry.ip;
  }
  if (found) logMessage("Found in ARP table for IP %s", ipv4Text(*found).c_str());
  return found;
}

std::optional<macAddress> findMacByAddress(uint32_t address, const arpSource& source) {
  if (address == 0) {
    errno = EINVAL;
    ZV_INTERNAL_ERROR();
    return {};
  }
  auto table = source ? source() : std::nullopt;
  if (!table) return {};
  for (const arpEntry& entry : *table) {
    macAddress mac{entry.mac};
    if (entry.complete() && entry.ip == address && mac.isValid()) return mac;
  }
  return {};
}

}  // namespace zv
