#include "common/mac.h"

namespace zv {
namespace {

constexpr std::size_t macTextLength = 17;

bool allBytes(const macAddress& mac, uint8_t value) {
  for (uint8_t b : mac.bytes)
    if (b != value) return false;
  return true;
}

// Boot media pseudo-terminals: every byte the same.
struct bootMedium {
  uint8_t byte;
  std::u16string_view name;
};
constexpr bootMedium bootMedia[] = {
    {0xCD, bootCdName},
    {0xBB, bootUsbName},
    {0x5D, bootSdName},
};

template <typename Char>
std::basic_string<Char> formatMac(const macAddress& mac, Char separator) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::basic_string<Char> text;
  text.reserve(macTextLength);
  for (std::size_t i = 0; i < mac.bytes.size(); ++i) {
    if (i > 0) text.push_back(separator);
    text.push_back(Char(digits[mac.bytes[i] >> 4]));
    text.push_back(Char(digits[mac.bytes[i] & 0x0F]));
  }
  return text;
}

template <typename Char>
int hexValue(Char c) {
  if (c >= Char('0') && c <= Char('9')) return int(c - Char('0'));
  if (c >= Char('A') && c <= Char('F')) return int(c - Char('A')) + 10;
  if (c >= Char('a') && c <= Char('f')) return int(c - Char('a')) + 10;
  return -1;
}

template <typename Char>
std::optional<macAddress> parseMacT(std::basic_string_view<Char> text, Char separator) {
  if (text.size() != macTextLength) return std::nullopt;
  macAddress mac;
  for (std::size_t i = 0; i < mac.bytes.size(); ++i) {
    std::size_t at = i * 3;
    if (i > 0 && text[at - 1] != separator) return std::nullopt;
    int high = hexValue(text[at]);
    int low = hexValue(text[at + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    mac.bytes[i] = uint8_t(high * 16 + low);
  }
  return mac;
}

}  // namespace

bool macAddress::isValid() const {
  return !allBytes(*this, 0x00) && !allBytes(*this, 0x44) && !allBytes(*this, 0xFF);
}

bool macAddress::isBootCd() const {
  return allBytes(*this, 0xCD);
}
bool macAddress::isBootUsb() const {
  return allBytes(*this, 0xBB);
}
bool macAddress::isBootSd() const {
  return allBytes(*this, 0x5D);
}

int macAddress::groupNumber() const {
  for (std::size_t i = 0; i < 5; ++i)
    if (bytes[i] != 0xFF) return 0;
  return bytes[5] == 0x00 || bytes[5] == 0xFF ? 0 : bytes[5];
}

bool macAddress::isPseudo() const {
  return isBootCd() || isBootUsb() || isBootSd() || groupNumber() != 0;
}

std::u16string macAddress::displayText() const {
  return formatMac(*this, u':');
}
std::string macAddress::logText() const {
  return formatMac(*this, ':');
}
std::string macAddress::directoryName() const {
  return formatMac(*this, '.');
}
std::u16string macAddress::wideDirectoryName() const {
  return formatMac(*this, u'.');
}

std::optional<macAddress> parseMac(std::string_view text, char separator) {
  return parseMacT(text, separator);
}

std::optional<macAddress> parseMac(std::u16string_view text, char16_t separator) {
  return parseMacT(text, separator);
}

std::u16string pseudoTerminalName(const macAddress& mac, const groupNameLookup& lookup) {
  for (const bootMedium& medium : bootMedia)
    if (allBytes(mac, medium.byte)) return std::u16string(medium.name);
  if (int group = mac.groupNumber()) {
    if (lookup)
      if (std::optional<std::u16string> name = lookup(group)) return *name;
    return std::u16string(unknownGroupName);
  }
  return {};
}

std::size_t macAddressHash::operator()(const macAddress& mac) const noexcept {
  uint64_t value = 0;
  for (uint8_t b : mac.bytes) value = value << 8 | b;
  return std::hash<uint64_t>{}(value);
}

}  // namespace zv
