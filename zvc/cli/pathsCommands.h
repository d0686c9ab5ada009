#pragma once
// zvctl paths: the directories of the installation as the console resolves them.

#include <ostream>

namespace zv::cli {

int pathsCommand(std::ostream& out);

}  // namespace zv::cli
