#pragma once
// Starting programs that live on their own (the browser window of the console).
//
// findProgram looks a program up the way a shell does: a name holding '/' is taken as
// it is, any other is searched in the directories of a PATH-like list. spawnDetached
// starts it in a session of its own with standard input and output on /dev/null; the
// console neither waits for it nor is told when it ends (no zombie is left behind).
//
// Thread safety: both may be called from any thread.

#include <string>
#include <string_view>
#include <vector>

namespace zv {

// The executable file's path, or empty when none is found. `searchPath` is a
// colon-separated list of directories (an empty entry is the current directory).
std::string findProgram(std::string_view name, std::string_view searchPath);

// Starts argv[0] (a path) with the arguments. False, with a line in the diagnostic
// log, when the process cannot be made; a program that fails to start afterwards only
// ends its own process.
bool spawnDetached(const std::vector<std::string>& argv);

}  // namespace zv
