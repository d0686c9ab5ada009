#pragma once
// The two questions the console asks the server's ARP table: which address a MAC has
// (only when exactly one entry names it, so an ambiguous MAC gives nothing) and which
// MAC an address has (the first resolved entry with a valid MAC). Entries the kernel
// has not resolved are skipped. A failed lookup is silent apart from the diagnostic
// log.
//
// Pure functions over a table read by the caller; any thread.

#include "common/mac.h"
#include "platform/arpTable.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace zv {

// Gives the current table; nullopt when it cannot be read. Tests hand in their own.
using arpSource = std::function<std::optional<std::vector<arpEntry>>()>;
// Reads the system's table (/proc/net/arp).
arpSource systemArpSource();

// Logs "Search in ARP table for MAC ..." and, on success, "Found in ARP table for IP ...".
std::optional<uint32_t> findAddressByMac(const macAddress& mac, const arpSource& source);
// Address 0 is refused with an internal error.
std::optional<macAddress> findMacByAddress(uint32_t address, const arpSource& source);

}  // namespace zv
