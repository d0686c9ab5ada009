#pragma once
// macAddress: the six bytes that identify a terminal, with its text forms.
//
// Display and log form: upper-case hexadecimal pairs separated by ':'
// ("00:1A:2B:3C:4D:5E"). Directory names (terminal directories, stored password
// files) use the same pairs separated by '.'. Parsing accepts exactly 17 characters,
// six hexadecimal pairs of either letter case with the given separator between them.
//
// All 00, all 44 and all FF are not addresses of a terminal (isValid). A few valid
// addresses stand for entries that are not machines, the pseudo-terminals: the
// default configurations of the boot CD (CD..CD), boot USB disk (BB..BB), boot SD
// card (5D..5D) and of the groups (FF:FF:FF:FF:FF:nn).
//
// A plain value type; pure functions, safe from any thread.

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zv {

struct macAddress {
  // Wire order: bytes[0] is the first byte on the wire and the most significant in
  // the ordering.
  std::array<uint8_t, 6> bytes{};

  // Byte-wise, unsigned, first byte first.
  friend bool operator==(const macAddress&, const macAddress&) = default;
  friend std::strong_ordering operator<=>(const macAddress&, const macAddress&) = default;

  bool isValid() const;

  bool isBootCd() const;
  bool isBootUsb() const;
  bool isBootSd() const;
  // nn of FF:FF:FF:FF:FF:nn (1 to 254), otherwise 0. FF:FF:FF:FF:FF:FF is not a
  // group: it is the invalid broadcast address.
  int groupNumber() const;
  bool isPseudo() const;

  // "00:1A:2B:3C:4D:5E", for list rows, dialogs and element keys.
  std::u16string displayText() const;
  // The same in single-byte text, for the change log and the diagnostic log.
  std::string logText() const;
  // "00.1A.2B.3C.4D.5E", the name of the terminal's directory (as a path component
  // and as UTF-16 text).
  std::string directoryName() const;
  std::u16string wideDirectoryName() const;
};

inline constexpr macAddress bootCdMac{{0xCD, 0xCD, 0xCD, 0xCD, 0xCD, 0xCD}};
inline constexpr macAddress bootUsbMac{{0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0xBB}};
inline constexpr macAddress bootSdMac{{0x5D, 0x5D, 0x5D, 0x5D, 0x5D, 0x5D}};
// FF:FF:FF:FF:FF:nn; groups are numbered 1 to 254.
constexpr macAddress groupMac(uint8_t group) {
  return macAddress{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, group}};
}

// The text of six pairs with `separator` between them; nullopt for anything else.
std::optional<macAddress> parseMac(std::string_view text, char separator);
std::optional<macAddress> parseMac(std::u16string_view text, char16_t separator);

// Names shown instead of the address for pseudo-terminals.
inline constexpr std::u16string_view bootCdName = u"Загрузочный CD";
inline constexpr std::u16string_view bootUsbName = u"Загрузочный USB";
inline constexpr std::u16string_view bootSdName = u"Загрузочная SD";
inline constexpr std::u16string_view unknownGroupName = u"Неопределенная группа";

// Finds the name of group nn in the group list; nullopt when there is no such group.
// The group list lives above this module, so its owner passes the look-up in.
using groupNameLookup = std::function<std::optional<std::u16string>(int group)>;

// The display name of a pseudo-terminal: the boot media names, or the group's name
// from `lookup` (unknownGroupName when the group does not exist or no look-up is
// given). Empty for a real terminal.
std::u16string pseudoTerminalName(const macAddress& mac, const groupNameLookup& lookup = {});

struct macAddressHash {
  std::size_t operator()(const macAddress& mac) const noexcept;
};

}  // namespace zv

template <>
struct std::hash<zv::macAddress> : zv::macAddressHash {};
