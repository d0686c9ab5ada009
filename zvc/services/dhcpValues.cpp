#include "zvc/services/dhcpValues.h"

#include <openssl/evp.h>

#include <array>
#include <charconv>

namespace zv {
namespace {

std::optional<uint64_t> decimal(std::string_view text, uint64_t limit) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + uint64_t(c - '0');
  }
  if (n > limit) return std::nullopt;
  return n;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void appendAddress(std::string& bytes, uint32_t address) {
  for (int shift : {24, 16, 8, 0}) bytes.push_back(char((address >> shift) & 0xFF));
}

}  // namespace

int32_t dhcpTypeNamed(std::string_view name) {
  for (int32_t type = dhcpTypeIp; type <= dhcpTypeBin; ++type)
    if (optionTypeName(type) == name) return type;
  return dhcpTypeNone;
}

std::optional<uint32_t> parseDottedAddress(std::string_view text) {
  uint32_t address = 0;
  int parts = 0;
  std::size_t at = 0;
  for (;;) {
    std::size_t end = text.find('.', at);
    std::string_view part = text.substr(at, end == std::string_view::npos ? end : end - at);
    std::optional<uint64_t> n = part.size() <= 3 ? decimal(part, 255) : std::nullopt;
    if (!n || ++parts > 4) return std::nullopt;
    address = (address << 8) | uint32_t(*n);
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  if (parts != 4) return std::nullopt;
  return address;
}

std::optional<dhcpTypedValue> parseAddressList(const std::vector<std::string>& addresses) {
  dhcpTypedValue value;
  if (addresses.size() > maxListAddresses) return std::nullopt;
  for (const std::string& text : addresses) {
    std::optional<uint32_t> address = parseDottedAddress(text);
    if (!address) return std::nullopt;
    appendAddress(value.bytes, *address);
  }
  value.off = value.bytes.empty();
  return value;
}

std::optional<dhcpTypedValue> parseDhcpValue(int32_t type, std::string_view text) {
  dhcpTypedValue value;
  switch (type) {
    case dhcpTypeIp: {
      if (text.empty()) return dhcpTypedValue{true, {}};
      std::optional<uint32_t> address = parseDottedAddress(text);
      if (!address) return std::nullopt;
      appendAddress(value.bytes, *address);
      return value;
    }
    case dhcpTypeIpList: {
      std::vector<std::string> parts;
      std::size_t at = 0;
      while (at <= text.size() && !text.empty()) {
        std::size_t end = text.find(',', at);
        std::string_view part = text.substr(at, end == std::string_view::npos ? end : end - at);
        while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
        while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
        parts.emplace_back(part);
        if (end == std::string_view::npos) break;
        at = end + 1;
      }
      return parseAddressList(parts);
    }
    case dhcpTypeStr:
      // The zero byte that ends the string counts in the stored length.
      if (text.empty()) return dhcpTypedValue{true, {}};
      if (text.size() + 1 > dhcpOption::putLimit || text.find('\0') != std::string_view::npos)
        return std::nullopt;
      value.bytes = std::string(text) + '\0';
      return value;
    case dhcpTypeU8:
    case dhcpTypeU16:
    case dhcpTypeU32: {
      int width = type == dhcpTypeU8 ? 1 : type == dhcpTypeU16 ? 2 : 4;
      uint64_t limit = width == 1 ? 0xFF : width == 2 ? 0xFFFF : 0xFFFFFFFFu;
      std::optional<uint64_t> n = decimal(text, limit);
      if (!n) return std::nullopt;
      if (*n == 0) return dhcpTypedValue{true, {}};
      for (int i = width - 1; i >= 0; --i) value.bytes.push_back(char((*n >> (8 * i)) & 0xFF));
      return value;
    }
    case dhcpTypeBin: {
      std::size_t i = 0;
      while (i < text.size()) {
        if (text[i] == ' ') {
          ++i;
          continue;
        }
        int high = hexDigit(text[i]);
        int low = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
        bool separated = i + 2 >= text.size() || text[i + 2] == ' ';
        if (high < 0 || low < 0 || !separated) return std::nullopt;
        value.bytes.push_back(char(high * 16 + low));
        if (value.bytes.size() > dhcpOption::putLimit) return std::nullopt;
        i += 2;
      }
      value.off = value.bytes.empty();
      return value;
    }
    default:
      return std::nullopt;
  }
}

std::string passwordDigest18(std::string_view password) {
  std::string_view used = password.substr(0, 16);
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int size = 0;
  if (EVP_Digest(used.data(), used.size(), digest.data(), &size, EVP_md5(), nullptr) != 1)
    return {};
  static constexpr char hex[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < size; ++i) {
    text.push_back(hex[digest[i] >> 4]);
    text.push_back(hex[digest[i] & 0xF]);
  }
  return text;
}

std::string binaryText(std::string_view bytes) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) {
    if (!text.empty()) text.push_back(' ');
    text.push_back(hex[c >> 4]);
    text.push_back(hex[c & 0xF]);
  }
  return text;
}

}  // namespace zv
