#pragma once
// The one reader of IPv4 addresses in text, used by every file and table reader.
//
// The rule is the one the stored files are written and read by (the DHCP service reads
// option files the same way): four decimal parts of 0-255 separated by '.', nothing
// before, after or between. Parts are decimal whatever their leading zeros ("010" is
// ten, never octal eight). Any thread.

#include <cstdint>
#include <optional>
#include <string_view>

namespace zv {

// The address in network byte order (as in in_addr::s_addr); nullopt when the text is
// not exactly a dotted-decimal address.
std::optional<uint32_t> parseIpv4Text(std::string_view text);

}  // namespace zv
