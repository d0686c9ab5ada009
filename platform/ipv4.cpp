#include "platform/ipv4.h"

#include <arpa/inet.h>

namespace zv {

std::optional<uint32_t> parseIpv4Text(std::string_view text) {
  uint32_t hostOrder = 0;
  std::size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at >= text.size() || text[at] != '.') return std::nullopt;
      ++at;
    }
    std::size_t start = at;
    unsigned value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      value = value * 10 + unsigned(text[at] - '0');
      if (value > 255) return std::nullopt;
      ++at;
    }
    if (at == start) return std::nullopt;
    hostOrder = hostOrder << 8 | value;
  }
  // Whatever follows (a fourth digit, a NUL, a blank) makes it no address.
  if (at != text.size()) return std::nullopt;
  return htonl(hostOrder);
}

}  // namespace zv
