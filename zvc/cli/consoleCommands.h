#pragma once
// zvctl console: requests to the running console over its control socket.

#include <ostream>

namespace zv::cli {

// console url: a fresh one-time address of the running console.
int consoleUrlCommand(std::ostream& out);

}  // namespace zv::cli
