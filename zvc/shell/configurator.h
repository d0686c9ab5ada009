#pragma once
// Start-up, message loop and shutdown of the console.
//
// runConfigurator performs the start-up steps (zvc/ui/startup.h) in their fixed order,
// runs the message loop and then the shutdown steps. Steps that belong to modules not
// yet wired in are hooks: an empty std::function is skipped. Fatal failures show their message box
// (standard error and the diagnostic log while no window exists) and end start-up with
// the exit code of the failure.
//
// Runs on the user-interface thread, which is the thread that calls it.

#include "zvc/ui/startup.h"

namespace zv {

// Runs start-up, loop and shutdown; returns the process exit code.
int runConfigurator(const startupSteps& steps);

}  // namespace zv
