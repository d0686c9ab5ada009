#include "common/routers.h"

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/ipv4.h"
#include "platform/sockets.h"

#include <algorithm>
#include <cerrno>

namespace zv {
namespace {

constexpr std::string_view prefix = "router_";
// A router file holds at most "255.255.255.255" and a stray line end.
constexpr std::size_t routerFileLimit = 64;

}  // namespace

routerTable::routerTable(std::string dhcpDirectory, const interfaceList& interfaces)
    : directory_(std::move(dhcpDirectory)), interfaces_(interfaces) {}

std::string routerTable::fileName(uint32_t ip) {
  return std::string(prefix) + ipv4Text(ip);
}

void routerTable::loadOnce() {
  if (loaded_) return;
  loaded_ = true;
  auto entries = listDirectory(directory_, linkRule::refuse);
  if (!entries) return;
  for (const directoryEntry& e : *entries) {
    std::string_view name = e.name;
    if (e.type != entryType::file || !name.starts_with(prefix)) continue;
    std::optional<uint32_t> ip = parseIpv4Text(name.substr(prefix.size()));
    if (!ip) continue;
    fileContents file = readFileIn(directory_, name, routerFileLimit);
    std::string_view text = file.bytes;
    // A hand-edited file may end with a line break; the router is the same.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    std::optional<uint32_t> router = file.ok() ? parseIpv4Text(text) : std::nullopt;
    uint32_t gateway = 0;
    for (const netInterface& i : interfaces_)
      if (i.ip == *ip) gateway = i.gateway;
    if (!router || *router == 0 || *router == gateway || pairs_.size() >= routerTableLimit) {
      removeIfPresent(directory_ + e.name);
      continue;
    }
    pairs_.emplace_back(*ip, *router);
  }
}

uint32_t routerTable::routerOf(const netInterface& interface) {
  loadOnce();
  for (const auto& [ip, router] : pairs_)
    if (ip == interface.ip) return router;
  return interface.gateway;
}

bool routerTable::setRouter(uint32_t router, uint32_t ip, uint32_t mask) {
  // 0 is no router at all: it removes the file whatever the network.
  if (router != 0 && (router & mask) != (ip & mask)) return false;
  loadOnce();
  auto pair =
      std::find_if(pairs_.begin(), pairs_.end(), [&](const auto& p) { return p.first == ip; });
  std::string path = directory_ + fileName(ip);
  if (router == 0 || router == ip) {
    if (pair != pairs_.end()) pairs_.erase(pair);
    return removeIfPresent(path);
  }
  if (pair == pairs_.end() && pairs_.size() >= routerTableLimit) {
    errno = ENOSPC;
    ZV_INTERNAL_ERROR();
    return false;
  }
  if (!writeFileAtomically(path, ipv4Text(router))) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  if (pair != pairs_.end())
    pair->second = router;
  else
    pairs_.emplace_back(ip, router);
  return true;
}

}  // namespace zv
