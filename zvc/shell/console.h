#pragma once
// The console program: command line, start-up steps wired to the modules that exist,
// and the message loop.

namespace zv {

int consoleMain(int argc, char** argv);

}  // namespace zv
