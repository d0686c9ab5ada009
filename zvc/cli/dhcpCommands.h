#pragma once
// zvctl dhcp: the DHCP options that are set for a terminal or in the defaults, with
// their types and where each value comes from.

#include <ostream>
#include <string>
#include <vector>

namespace zv::cli {

// dhcp show MAC|defaults
int dhcpShowCommand(const std::string& which, std::ostream& out);
// dhcp set MAC|defaults CODE TYPE VALUE, dhcp unset MAC|defaults CODE: stores one option
// the way the DHCP options window does (a value that turns it off removes it).
int dhcpSetCommand(const std::vector<std::string>& args, bool unset, std::ostream& out,
                   std::ostream& err);

}  // namespace zv::cli
