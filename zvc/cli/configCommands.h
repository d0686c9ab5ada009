#pragma once
// zvctl config: a configuration file read as the console reads it, and a terminal's
// configuration described and checked against its version's specification. None of
// them changes a file.

#include <ostream>
#include <string>

namespace zv::cli {

// config parse FILE: the key/value pairs of the file, continuations joined.
int configParseCommand(const std::string& path, std::ostream& out);
// config show MAC: the terminal's own options, templates, screens and effective values.
int configShowCommand(const std::string& macText, std::ostream& out);
// config validate MAC: the options its specification does not accept, and where.
int configValidateCommand(const std::string& macText, std::ostream& out);

}  // namespace zv::cli
