#pragma once
// wakeOnLan: the magic packet that wakes a terminal (six 0xFF bytes, then the
// terminal's MAC sixteen times) and its sending, one UDP datagram on each of the
// server's interfaces to that interface's directed broadcast address, on the
// terminal's wake-on-LAN port. Each socket is tied to its interface, so a packet never
// leaves by another one; a console confined by ZELVAR_INTERFACES sends only on those.
// Failures are internal errors in the diagnostic log; the user sees nothing.
//
// Runs on the user-interface thread (the sending blocks only for the sends); the
// packet builder and the target list are pure.

#include "common/mac.h"
#include "common/netInterfaces.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zv {

struct terminal;

inline constexpr std::size_t wolPacketSize = 102;
inline constexpr uint16_t defaultWolPort = 7;
using wolPacket = std::array<uint8_t, wolPacketSize>;

wolPacket magicPacket(const macAddress& mac);
// The port of a stored wake-on-LAN port: 0 stands for the default port 7.
uint16_t wakePort(uint16_t stored);

struct wolTarget {
  std::string device;
  uint32_t source = 0;     // the interface's address, network order
  uint32_t broadcast = 0;  // its directed broadcast address
};
// The interfaces a packet goes out on: those that are up and have a network with room
// for a broadcast address (a /31 or /32 has none).
std::vector<wolTarget> wolTargets(const interfaceList& interfaces);

// Sends the packet for `mac` to `port` on every target of `interfaces`, logging
// "Wake-on-LAN packet for %s sent on %s (%s to %s port %d)." for each; the number of
// interfaces it was sent on.
int sendWakeOnLan(const macAddress& mac, uint16_t port, const interfaceList& interfaces);
// The terminal's packet on its own port.
int wakeTerminal(const terminal& t, const interfaceList& interfaces);

}  // namespace zv
