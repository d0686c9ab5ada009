// zvctl: the console's command-line companion for scripts. Every command prints one
// JSON document on standard output and exits 1 on failure.
#include "zvc/cli/zvctl.h"

#include <iostream>

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return zv::runZvctl(args, std::cout, std::cerr);
}
