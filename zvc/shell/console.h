#pragma once
// The console program: command line, start-up steps wired to the modules that exist,
// and the message loop.

namespace zv {

// The name of the running console's control socket (platform/controlSocket.h).
constexpr const char* consoleControlName = "ZVCControl";

int consoleMain(int argc, char** argv);

}  // namespace zv
