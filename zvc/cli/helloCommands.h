#pragma once
// zvctl hello decode: reads a terminal's hello from a file, as an announcement or as
// the first frame of a log stream, and prints what the console would take from it.

#include <ostream>
#include <string>
#include <vector>

namespace zv::cli {

// args: "hello" "decode" FILE [--tcp] [--key HEX]. The key is a public key; without
// it the installation's key (HKLM HelloPublicKey, else the built-in one) is used.
int helloDecodeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zv::cli
