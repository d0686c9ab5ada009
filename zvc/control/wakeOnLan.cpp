#include "zvc/control/wakeOnLan.h"

#include "platform/diagnostics.h"
#include "platform/sockets.h"
#include "zvc/register/terminals.h"

#include <netinet/in.h>

#include <algorithm>

namespace zv {

wolPacket magicPacket(const macAddress& mac) {
  wolPacket packet{};
  std::fill_n(packet.begin(), 6, uint8_t(0xFF));
  for (std::size_t copy = 0; copy < 16; ++copy)
    std::copy(mac.bytes.begin(), mac.bytes.end(), packet.begin() + 6 + copy * 6);
  return packet;
}

uint16_t wakePort(uint16_t stored) {
  return stored == 0 ? defaultWolPort : stored;
}

std::vector<wolTarget> wolTargets(const interfaceList& interfaces) {
  std::vector<wolTarget> targets;
  for (const netInterface& i : interfaces) {
    // Fewer than two host bits: the "broadcast" would be a host, perhaps this one.
    if (!i.up || (ntohl(i.mask) & 0xFFFFFFFEu) == 0xFFFFFFFEu) continue;
    targets.push_back({i.name, i.ip, directedBroadcast(i.ip, i.mask)});
  }
  return targets;
}

int sendWakeOnLan(const macAddress& mac, uint16_t port, const interfaceList& interfaces) {
  wolPacket packet = magicPacket(mac);
  int sent = 0;
  for (const wolTarget& target : wolTargets(interfaces)) {
    // The next interface is tried whatever became of this one.
    socketStream socket;
    if (!socket.udpOpen() || !socket.bindToDevice(target.device) ||
        !socket.udpBind(target.source, 0) ||
        !socket.udpSendBroadcast(target.broadcast, 0xFFFFFFFFu, port, packet.data(), packet.size()))
      continue;
    logMessage("Wake-on-LAN packet for %s sent on %s (%s to %s port %d).", mac.logText().c_str(),
               target.device.c_str(), ipv4Text(target.source).c_str(),
               ipv4Text(target.broadcast).c_str(), int(port));
    ++sent;
  }
  return sent;
}

int wakeTerminal(const terminal& t, const interfaceList& interfaces) {
  return sendWakeOnLan(t.mac, wakePort(t.wolPort), interfaces);
}

}  // namespace zv
