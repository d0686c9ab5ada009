#pragma once
// The values an administrator types for a DHCP option, as the DHCP options window and
// zvctl read them: the text of each type turned into the bytes the option files carry,
// with the same limits and the same refusals, and option 18's password digest.
//
// Pure functions; any thread.

#include "common/optionsDHCP.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

constexpr const char* invalidDhcpValueMessage = "Указано неверное значение";

// The most addresses of an address list.
constexpr std::size_t maxListAddresses = 15;

// A typed value: the bytes to store, or `off` when the value turns the option off (a
// number 0, an empty address or list, an empty string or binary).
struct dhcpTypedValue {
  bool off = false;
  std::string bytes;
};

// The type of a zvctl type name ("ip", "iplist", "str", "u8", "u16", "u32", "bin");
// dhcpTypeNone for anything else.
int32_t dhcpTypeNamed(std::string_view name);

// One dotted IPv4 address of four decimal parts 0-255; nullopt otherwise.
std::optional<uint32_t> parseDottedAddress(std::string_view text);

// The value of a type from its parts: the addresses of a list (each dotted), or for the
// other types the one text — a dotted address (empty: off); the string (UTF-8, stored
// with a zero byte, at most 62 bytes so that it fits with it); a decimal number (0 is
// off; above 255 for u8, 65535 for u16, 4294967295 for u32 refused); hexadecimal byte
// values separated by blanks (at most 63 bytes). nullopt when any part is refused.
std::optional<dhcpTypedValue> parseDhcpValue(int32_t type, std::string_view text);
std::optional<dhcpTypedValue> parseAddressList(const std::vector<std::string>& addresses);

// Option 18: the MD5 digest of the password's first 16 bytes (UTF-8) as 32 lower-case
// hexadecimal digits.
std::string passwordDigest18(std::string_view password);

// A binary value as the editor shows it: "%02x" pairs separated by blanks.
std::string binaryText(std::string_view bytes);

}  // namespace zv
