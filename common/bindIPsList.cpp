#include "common/bindIPsList.h"

#include "platform/diagnostics.h"
#include "platform/ipv4.h"
#include "platform/sockets.h"

#include <algorithm>
#include <cerrno>

namespace zv {
namespace {

constexpr std::string_view zelvarKey = "Software\\Zelvar";
constexpr std::string_view bindValueName = "BindIP";

bool endsString(char c) {
  return c == '\0' || c == '\r' || c == '\n';
}

// The text for a log line: printable ASCII only, so a damaged value cannot forge lines.
std::string printable(std::string_view text) {
  std::string shown;
  for (char c : text) shown += (c >= 0x20 && c < 0x7F) ? c : '?';
  return shown;
}

}  // namespace

bindList parseBindList(std::string_view bytes) {
  bindList addresses;
  bytes = bytes.substr(0, bindValueReadLimit);
  std::size_t at = 0;
  while (at < bytes.size() && bytes[at] != '\0') {
    std::size_t end = at;
    while (end < bytes.size() && !endsString(bytes[end])) ++end;
    std::optional<uint32_t> address = parseIpv4Text(bytes.substr(at, end - at));
    if (!address) {
      std::string_view rest = bytes.substr(at);
      logMessage("Incorrect line in BindIP list: %s.",
                 printable(rest.substr(0, rest.find('\0'))).c_str());
      break;
    }
    logMessage("BindIP: %s", ipv4Text(*address).c_str());
    while (end < bytes.size() && endsString(bytes[end])) ++end;
    at = end;
    if (addresses.size() >= bindListLimit) {
      errno = ENOSPC;
      ZV_INTERNAL_ERROR();
      break;
    }
    addresses.push_back(*address);
  }
  return addresses;
}

std::string bindValueBytes(const regValue& value) {
  std::string bytes;
  switch (value.type) {
    case regType::multi:
      for (const std::string& s : value.list) {
        bytes += s;
        bytes += '\0';
      }
      bytes += '\0';
      break;
    case regType::sz:
      bytes = value.text;
      break;
    case regType::dword:
      bytes.assign(reinterpret_cast<const char*>(&value.number), sizeof value.number);
      break;
  }
  if (bytes.size() > bindValueReadLimit) bytes.resize(bindValueReadLimit);
  return bytes;
}

regValue bindListValue(const bindList& addresses) {
  std::vector<std::string> strings;
  strings.reserve(addresses.size());
  for (uint32_t a : addresses) strings.push_back(ipv4Text(a));
  return regValue::multi(std::move(strings));
}

bindList& boundAddresses() {
  static bindList list;
  return list;
}

void loadBindList(registryStore& store) {
  bindList& list = boundAddresses();
  list.clear();
  if (!store.keyExists(zelvarKey)) {
    errno = ENOENT;
    ZV_INTERNAL_ERROR();
    return;
  }
  regValue value;
  if (store.query(zelvarKey, bindValueName, value) != regStatus::ok) {
    logMessage("No BindIP key found in registry.");
    return;
  }
  list = parseBindList(bindValueBytes(value));
}

bool saveBindList(const bindList& addresses, registryStore& store) {
  if (store.set(zelvarKey, bindValueName, bindListValue(addresses))) return true;
  ZV_INTERNAL_ERROR();
  return false;
}

bool isBound(uint32_t address) {
  const bindList& list = boundAddresses();
  return std::find(list.begin(), list.end(), address) != list.end();
}

}  // namespace zv
