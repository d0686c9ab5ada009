#pragma once
// netInterfaces: the server's IPv4 interfaces as the console knows them, one entry per
// address of an adapter (address, mask, MTU, MAC, description, default gateway, index),
// the process-wide table of them, and the test whether an address lies on one of their
// networks (a terminal given an address no interface serves would never get it from
// the DHCP service).
//
// The scan reads the system's interface addresses (with the adapters' hardware
// addresses), /sys/class/net/NAME/mtu and /proc/net/route,
// and sends nothing. When the variable ZELVAR_INTERFACES is set (names separated by
// commas), only interfaces of those names are taken: tests and installations that must
// stay off other networks name theirs. The adapter description is the interface name.
//
// Thread safety: an interface list is a plain value owned by whoever made it; the scan
// touches no shared state and may run on any thread. The process-wide table
// (`interfaceTable`, `startupInterfaceScan`, `refreshInterfaces`, `interfaceAt`,
// `findInterface`) belongs to the user-interface thread.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

struct netInterface {
  std::string name;   // the system's interface name ("eth0")
  uint32_t ip = 0;    // network byte order
  uint32_t mask = 0;  // network byte order
  bool up = false;    // the interface is up
  bool loopback = false;
  uint16_t mtu = 0;
  std::array<uint8_t, 6> mac{};  // all zero when the adapter has none (loopback)
  std::string description;       // the interface name
  // The adapter's default gateway (network order); the interface's own address when it
  // has none or the gateway lies outside the interface's network.
  uint32_t gateway = 0;
  uint32_t ifIndex = 0;
};

// At most this many entries are taken from a scan.
inline constexpr std::size_t interfaceTableLimit = 256;

using interfaceList = std::vector<netInterface>;

// The IPv4 addresses of the system's interfaces, in the order the system lists them,
// without 0.0.0.0, 255.255.255.255 and link-local 169.254.0.0/16 addresses and without
// adapters whose MTU is 0 or at least 65535 (the loopback adapter excepted: it is how
// a console confined to ZELVAR_INTERFACES=lo sees itself). Empty (and logged) when the
// system cannot be asked.
interfaceList scanInterfaces();

// Whether an interface of this name is taken by a scan: every name when `allowed` (the
// value of ZELVAR_INTERFACES) is empty, else the names it lists.
bool interfaceNameAllowed(std::string_view name, std::string_view allowed);

// Whether the address lies in the network (address AND mask) of an interface that is up.
bool onInterfaceNetwork(const interfaceList& interfaces, uint32_t address);

// --- the system's files, as pure parsers ---------------------------------------------

struct defaultRoute {
  std::string device;
  uint32_t gateway = 0;  // network byte order
};

// The default routes (destination and mask 0, the gateway flag set, a gateway other
// than 0) of the text of /proc/net/route, in file order. Lines of another shape are
// skipped; at most `interfaceTableLimit` routes are taken.
std::vector<defaultRoute> parseDefaultRoutes(std::string_view text);
// The first default gateway of `device` in `routes`, or 0.
uint32_t gatewayOf(const std::vector<defaultRoute>& routes, std::string_view device);
// The MTU of the text of /sys/class/net/NAME/mtu ("1500\n"); nullopt unless it is a
// decimal number below 2^32.
std::optional<uint32_t> parseMtuText(std::string_view text);
// The gateway an entry keeps: `gateway` when it is set and lies in the network of
// ip/mask, else the address itself.
uint32_t gatewayOnNetwork(uint32_t ip, uint32_t mask, uint32_t gateway);

// --- the process-wide table ----------------------------------------------------------

// The table filled at start-up and merged again by refreshInterfaces.
interfaceList& interfaceTable();
// Once per process: scans into the table and logs every entry with "Found interface
// %s/%s mtu %d mac %s adapter %s.".
void startupInterfaceScan();
// Merges `fresh` into `table`: entries whose address is gone are removed ("Delete old
// interface IP=%s, not found in Windows."), present ones take the fresh data, new ones
// are appended ("Added new interface IP=%s, found in Windows."). Whether anything was
// removed or appended.
bool mergeInterfaces(interfaceList& table, const interfaceList& fresh);
// Rescans and merges into the process-wide table.
bool refreshInterfaces();
// The entry at `index`; out of range is an internal error and gives the first entry
// (none when the table is empty).
const netInterface* interfaceAt(std::size_t index);
// The entry of this address, or none.
const netInterface* findInterface(uint32_t address);

}  // namespace zv
