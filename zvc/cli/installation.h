#pragma once
// The installation as the read commands of zvctl see it: loaded the way the console
// loads it at start-up, but read-only, and the terminal a command line names.
//
// Called on zvctl's one thread; the state is the command's own.

#include "platform/registerLock.h"
#include "zvc/register/consoleState.h"

#include <memory>
#include <ostream>
#include <string>

namespace zv::cli {

// The installation loaded as the console loads it at start-up, without changing a file:
// damage is reported in the log, nothing is set aside or created. Empty when the
// installation paths are not known.
std::unique_ptr<consoleState> loadInstallation();

// The register lock for a command that changes the register, taken before the
// installation is loaded so that its checks see every terminal written before. Empty
// when the paths are not known or the lock stays held (the error is printed then).
std::unique_ptr<registerLock> lockRegister(std::ostream& out);

// The registered terminal named on the command line, or the error already printed.
const terminal* findTerminal(const consoleState& state, const std::string& text, std::ostream& out);

}  // namespace zv::cli
