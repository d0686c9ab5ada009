#pragma once
// zvctl dhcp: the DHCP options that are set for a terminal or in the defaults, with
// their types and where each value comes from.

#include <ostream>
#include <string>

namespace zv::cli {

// dhcp show MAC|defaults
int dhcpShowCommand(const std::string& which, std::ostream& out);

}  // namespace zv::cli
