#pragma once
// What every zvctl command shares: one JSON document per run on standard output, the
// failure document, and the usage text for a command line that does not parse.
//
// Used by one command at a time on the thread that runs zvctl.

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

namespace zv::cli {

using json = nlohmann::ordered_json;

// The error of every command that needs an installation and finds none.
constexpr const char* installationError = "Zelvar установлена некорректно.";

// Writes `document` on one line; text that is not UTF-8 is replaced, never thrown on.
void print(std::ostream& out, const json& document);
// Prints {"ok": false, "error": error} and returns the exit code 1.
int fail(std::ostream& out, const std::string& error);
// Writes the usage text to `err` and returns the exit code 2.
int usage(std::ostream& err);

}  // namespace zv::cli
