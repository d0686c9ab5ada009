#pragma once
// The installation as the read commands of zvctl see it: loaded the way the console
// loads it at start-up, but read-only, and the terminal a command line names.
//
// Called on zvctl's one thread; the state is the command's own.

#include "zvc/register/consoleState.h"

#include <memory>
#include <ostream>
#include <string>

namespace zv::cli {

// The installation loaded as the console loads it at start-up, without changing a file:
// damage is reported in the log, nothing is set aside or created. Empty when the
// installation paths are not known.
std::unique_ptr<consoleState> loadInstallation();

// The registered terminal named on the command line, or the error already printed.
const terminal* findTerminal(const consoleState& state, const std::string& text, std::ostream& out);

}  // namespace zv::cli
