// The option record and list: look-up, the editor's store operation, the value texts.
#include "common/optionsDHCP.h"

#include "platform/diagnostics.h"
#include "platform/textConv.h"

#include <algorithm>
#include <cstring>

namespace zv {
namespace {

constexpr std::size_t strTextLimit = 4096;

uint32_t bigEndian32(const dhcpOption& option, std::size_t at) {
  return uint32_t(option.value[at]) << 24 | uint32_t(option.value[at + 1]) << 16 |
         uint32_t(option.value[at + 2]) << 8 | uint32_t(option.value[at + 3]);
}

uint32_t littleEndian32(const dhcpOption& option) {
  return uint32_t(option.value[0]) | uint32_t(option.value[1]) << 8 |
         uint32_t(option.value[2]) << 16 | uint32_t(option.value[3]) << 24;
}

std::u16string ascii(const std::string& text) {
  return widenAscii(text);
}

// Each whole 4-byte group of the value as a dotted address, joined by the separator.
std::u16string addressesText(const dhcpOption& option, std::u16string_view separator) {
  std::u16string text;
  std::size_t length = option.bytes().size();
  for (std::size_t at = 0; at + 4 <= length; at += 4) {
    if (at > 0) text += separator;
    text += ascii(formatText("%u.%u.%u.%u", option.value[at], option.value[at + 1],
                             option.value[at + 2], option.value[at + 3]));
  }
  return text;
}

std::u16string hexPairs(const dhcpOption& option, std::u16string_view separator) {
  std::u16string text;
  std::string_view bytes = option.bytes();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) text += separator;
    text += ascii(formatText("%02x", unsigned(uint8_t(bytes[i]))));
  }
  return text;
}

}  // namespace

dhcpOption* findOption(dhcpOptionList& list, int32_t code) {
  for (dhcpOption& option : list)
    if (option.code == code) return &option;
  return nullptr;
}

const dhcpOption* findOption(const dhcpOptionList& list, int32_t code) {
  for (const dhcpOption& option : list)
    if (option.code == code) return &option;
  return nullptr;
}

bool removeOption(dhcpOptionList& list, int32_t code) {
  auto it = std::find_if(list.begin(), list.end(),
                         [code](const dhcpOption& option) { return option.code == code; });
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

bool holdableOptionName(std::u16string_view name) {
  if (name.find_first_of(std::u16string_view(u"#\r\n\0", 4)) != name.npos) return false;
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  return name.empty() || (!blank(name.front()) && !blank(name.back()));
}

bool putOption(dhcpOptionList& list, int32_t code, std::string_view bytes, int32_t type,
               bool isAuto, std::u16string_view name, bool& changed) {
  changed = false;
  name = name.substr(0, dhcpOption::nameLimit);
  if (!holdableOptionName(name)) return false;
  dhcpOption stored;
  stored.code = code;
  stored.type = type;
  stored.isAuto = isAuto;
  if (bytes.size() <= dhcpOption::putLimit) {
    // An empty view may carry a null pointer, which memcpy must not be given.
    if (!bytes.empty()) std::memcpy(stored.value.data(), bytes.data(), bytes.size());
    stored.length = uint32_t(bytes.size());
  }
  stored.name = std::u16string(name.substr(0, dhcpOption::nameLimit));

  dhcpOption* existing = findOption(list, code);
  if (!existing) {
    list.push_back(std::move(stored));
    changed = true;
    return true;
  }
  if (existing->type != type) return false;
  changed = !(*existing == stored);
  *existing = std::move(stored);
  return true;
}

std::u16string optionValueText(const dhcpOption& option, std::u16string_view separator) {
  int32_t type = option.type == dhcpTypeNone ? standardOptionType(option.code) : option.type;
  switch (type) {
    case dhcpTypeIp:
    case dhcpTypeIpList:
      return addressesText(option, separator);
    case dhcpTypeStr: {
      std::string_view bytes = option.bytes().substr(0, strTextLimit);
      return widenAscii(bytes.substr(0, bytes.find('\0')));
    }
    case dhcpTypeU8:
      return ascii(std::to_string(option.value[0]));
    case dhcpTypeU16:
      return ascii(std::to_string(unsigned(option.value[0]) << 8 | option.value[1]));
    case dhcpTypeU32:
      return ascii(std::to_string(int32_t(bigEndian32(option, 0))));
    case dhcpTypeBin:
      return hexPairs(option, separator);
    case dhcpTypeNone: {
      uint32_t number = littleEndian32(option);
      return hexPairs(option, u" ") +
             ascii(formatText(", %d (0x%08x), ", int32_t(number), unsigned(number)));
    }
    default:
      return u"<error>";
  }
}

std::u16string optionDisplayName(const dhcpOption& option) {
  if (const predefinedDhcpOption* row = predefinedOption(option.code))
    return std::u16string(row->name);
  return ascii(formatText("%03d ", int(option.code))) + option.name;
}

std::u16string_view optionSourceText(optionSource source) {
  switch (source) {
    case optionSource::defaults:
      return u"Значение параметра по умолчанию";
    case optionSource::terminal:
      return u"Параметр терминала";
    case optionSource::predefined:
      return u"Предопределенный параметр";
    default:
      return {};
  }
}

dhcpOptionReport reportOption(const dhcpOption& option, optionSource source) {
  dhcpOptionReport report;
  report.code = option.code;
  report.type = option.type;
  report.effectiveType =
      option.type == dhcpTypeNone ? standardOptionType(option.code) : option.type;
  report.isAuto = option.isAuto;
  report.isSet = option.isSet();
  report.name = option.name;
  report.displayName = optionDisplayName(option);
  if (option.isAuto)
    report.valueText = u"[auto]";
  else if (report.isSet)
    report.valueText =
        optionValueText(option, report.effectiveType == dhcpTypeIpList ? u", " : u" ");
  report.source = source;
  return report;
}

}  // namespace zv
