#pragma once
// routers: the router the DHCP service hands out on each interface, kept as one small
// file per interface in the DHCP directory: "router_" and the interface address in
// dotted decimal (router_192.168.1.5), holding the router address as dotted-decimal
// text without a line end. An interface without a file uses its own gateway.
//
// Thread safety: a routerTable belongs to the user-interface thread.

#include "common/netInterfaces.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zv {

inline constexpr std::size_t routerTableLimit = 256;

class routerTable {
 public:
  // `dhcpDirectory` ends with '/'; `interfaces` gives the gateways that make a stored
  // router redundant at load.
  routerTable(std::string dhcpDirectory, const interfaceList& interfaces);

  // The stored router of the interface's address, else the interface's gateway.
  uint32_t routerOf(const netInterface& interface);
  // Sets the router of interface address `ip` (mask `mask`). A router (other than 0)
  // outside the interface's network fails and changes nothing; 0 or the address itself removes the
  // file; anything else is written to the file. Gives success.
  bool setRouter(uint32_t router, uint32_t ip, uint32_t mask);

  // The file name of an interface address ("router_192.168.1.5").
  static std::string fileName(uint32_t ip);

 private:
  void loadOnce();

  std::string directory_;
  const interfaceList& interfaces_;
  bool loaded_ = false;
  std::vector<std::pair<uint32_t, uint32_t>> pairs_;  // interface address, router
};

}  // namespace zv
