#pragma once
// zvctl versions: the installed versions and the specifications that load for them.

#include <ostream>

namespace zv::cli {

int versionsCommand(std::ostream& out);

}  // namespace zv::cli
