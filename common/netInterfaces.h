#pragma once
// netInterfaces: the server's IPv4 interfaces as the console knows them, one entry per
// address of an adapter, and the test whether an address lies on one of their networks
// (a terminal given an address no interface serves would never get it from the DHCP
// service).
//
// The scan reads the system's interface addresses and sends nothing. When the variable
// ZELVAR_INTERFACES is set (names separated by commas), only interfaces of those names
// are taken: tests and installations that must stay off other networks name theirs.
//
// Thread safety: an interface list is a plain value owned by whoever made it; the scan
// touches no shared state and may run on any thread.

#include <cstddef>
#include <cstdint>
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
};

// At most this many entries are taken from a scan.
inline constexpr std::size_t interfaceTableLimit = 256;

using interfaceList = std::vector<netInterface>;

// The IPv4 addresses of the system's interfaces, in the order the system lists them,
// without 0.0.0.0, 255.255.255.255 and link-local 169.254.0.0/16 addresses. Empty (and
// logged) when the system cannot be asked.
interfaceList scanInterfaces();

// Whether an interface of this name is taken by a scan: every name when `allowed` (the
// value of ZELVAR_INTERFACES) is empty, else the names it lists.
bool interfaceNameAllowed(std::string_view name, std::string_view allowed);

// Whether the address lies in the network (address AND mask) of an interface that is up.
bool onInterfaceNetwork(const interfaceList& interfaces, uint32_t address);

}  // namespace zv
