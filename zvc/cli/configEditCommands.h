#pragma once
// zvctl config set|unset|templates|copy|text: a terminal's configuration changed with the
// checks of the configuration panels and written as the console writes it.
//
// A command that writes holds the register lock, reads "config.zvc" afresh, edits it in
// memory and writes it atomically only when the file on disk is still the one it read.
// A refused edit writes nothing. Called on zvctl's one thread.

#include <ostream>
#include <string>
#include <vector>

namespace zv::cli {

// config set MAC KEY=VALUE… and config unset MAC KEY…
int configSetCommand(const std::vector<std::string>& args, bool unset, std::ostream& out,
                     std::ostream& err);
// config templates MAC [--add NAME | --remove NAME]
int configTemplatesCommand(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err);
// config copy FROM TO [--force]
int configCopyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// config text MAC --test FILE | --save FILE: the text panel's test and save of a
// configuration text (UTF-8 or UTF-16 with its mark).
int configTextCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zv::cli
