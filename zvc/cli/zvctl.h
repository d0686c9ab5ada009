#pragma once
// The commands of zvctl over the console's own libraries. Kept apart from main() so
// tests run the commands in-process.

#include <ostream>
#include <string>
#include <vector>

namespace zv {

// Runs one command line (without the program name); JSON goes to `out`, usage text to
// `err`. Returns the process exit code.
int runZvctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zv
