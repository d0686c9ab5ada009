#pragma once
// The server's IPv4 ARP table, as the kernel shows it in /proc/net/arp:
//
//   IP address       HW type     Flags       HW address            Mask     Device
//   192.168.1.20     0x1         0x2         00:1a:2b:3c:4d:5e     *        eth0
//
// Only Ethernet entries (HW type 0x1, six-byte address) are taken. A line that does not
// have that shape (too few columns, an address that is not dotted decimal, a hardware
// address that is not six hexadecimal pairs, numbers that are not hexadecimal) is
// refused with a line in the diagnostic log and the rest of the table is still read.
// Entries the kernel has not resolved (flag ATF_COM clear: flags 0x0, hardware address
// 00:00:00:00:00:00) are kept but are not `complete()`; lookups skip them.
//
// Pure functions over a file; safe from any thread.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

inline constexpr const char* systemArpTablePath = "/proc/net/arp";

struct arpEntry {
  static constexpr uint32_t completeFlag = 0x02;  // ATF_COM: the hardware address is known
  static constexpr uint32_t permanentFlag = 0x04;

  uint32_t ip = 0;  // network byte order
  std::array<uint8_t, 6> mac{};
  uint32_t flags = 0;
  std::string device;

  bool complete() const { return (flags & completeFlag) != 0; }
};

// The entries of the table's text (header line first); refused lines are left out.
std::vector<arpEntry> parseArpTable(std::string_view text);
// Reads and parses the table file; nullopt (logged) when it cannot be read.
std::optional<std::vector<arpEntry>> readArpTable(const std::string& path = systemArpTablePath);

}  // namespace zv
