// The option tables: predefined options, standard option types, type extensions.
#include "common/optionsDHCP.h"

namespace zv {
namespace {

// clang-format off
constexpr predefinedDhcpOption predefinedTable[] = {
    // code  name                                     type             auto offered
    {3,  u"003 Маршрутизатор",                       dhcpTypeIp,     true},
    {6,  u"006 DNS серверы",                         dhcpTypeIpList, true},
    {12, u"012 Hostname",                            dhcpTypeStr,    true},
    {18, u"018 Пароль на Zelvar Setup и HTTPS",      dhcpTypeStr,    false},
    {26, u"026 MTU",                                 dhcpTypeU16,    true},
    {66, u"066 Имя узла сервера загрузки",           dhcpTypeStr,    true},
    {67, u"067 Имя файла загрузки",                  dhcpTypeStr,    true},
};

struct standardType {
  int32_t code;
  int32_t type;
};
// The standard DHCP options (codes 1-67) whose type is known; every other code has none.
constexpr standardType standardTable[] = {
    {1,  dhcpTypeIp},      // subnet mask
    {3,  dhcpTypeIp},      // router
    {6,  dhcpTypeIpList},  // domain name servers
    {12, dhcpTypeStr},     // host name
    {18, dhcpTypeStr},     // extensions path
    {26, dhcpTypeU16},     // interface MTU
    {50, dhcpTypeIp},      // requested address
    {51, dhcpTypeU32},     // lease time
    {53, dhcpTypeU8},      // message type
    {55, dhcpTypeBin},     // parameter request list
    {57, dhcpTypeU16},     // maximum message size
    {58, dhcpTypeU32},     // renewal time
    {59, dhcpTypeU32},     // rebinding time
    {60, dhcpTypeStr},     // vendor class
    {66, dhcpTypeStr},     // boot server name
    {67, dhcpTypeStr},     // boot file name
};

struct typeEntry {
  int32_t type;
  std::string_view name;
  std::string_view extension;
};
// In type order, which is also the order in which file names are classified.
constexpr typeEntry typeTable[] = {
    {dhcpTypeIp,     "ip",     ".ip"},
    {dhcpTypeIpList, "iplist", ".iplist"},
    {dhcpTypeStr,    "str",    ".str"},
    {dhcpTypeU8,     "u8",     ".u8"},
    {dhcpTypeU16,    "u16",    ".u16"},
    {dhcpTypeU32,    "u32",    ".u32"},
    {dhcpTypeBin,    "bin",    ".bin"},
};
// clang-format on

const typeEntry* typeRow(int32_t type) {
  for (const typeEntry& entry : typeTable)
    if (entry.type == type) return &entry;
  return nullptr;
}

}  // namespace

std::span<const predefinedDhcpOption> predefinedOptions() {
  return predefinedTable;
}

const predefinedDhcpOption* predefinedOption(int32_t code) {
  for (const predefinedDhcpOption& entry : predefinedTable)
    if (entry.code == code) return &entry;
  return nullptr;
}

int32_t standardOptionType(int32_t code) {
  for (const standardType& entry : standardTable)
    if (entry.code == code) return entry.type;
  return dhcpTypeNone;
}

std::string_view optionTypeExtension(int32_t type) {
  const typeEntry* row = typeRow(type);
  return row ? row->extension : std::string_view();
}

std::string_view optionTypeName(int32_t type) {
  const typeEntry* row = typeRow(type);
  return row ? row->name : std::string_view();
}

}  // namespace zv
