#pragma once
// zvctl terminals, terminal and find: the register listed, a terminal added, hidden,
// shown again or removed as the list's commands do it, and a terminal found as the
// find dialog finds it. The commands that change the register hold its lock while
// they run; the questions the forms would ask are answered Yes.

#include <ostream>
#include <string>
#include <vector>

namespace zv::cli {

// terminals: every terminal of the register.
int terminalsCommand(std::ostream& out);
// terminal add MAC [--ip A] [--host H] [--comment C] [--version V]; `args` is the whole
// command line.
int terminalAddCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// terminal set MAC [--ip A] [--host H] [--comment C] [--boot-type tftp|http|default]
// [--force]: the fields of the terminal's DHCP panel and change-address window, checked
// as they check them; an address on none of the server's networks needs --force.
int terminalSetCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// terminal hide|unhide|remove MAC; `command` is one of those three words.
int terminalRowCommand(const std::string& command, const std::string& macText, std::ostream& out);
// terminal wake MAC: the terminal's wake-on-LAN packet on its port, on every interface
// of the server (those of ZELVAR_INTERFACES when set).
int terminalWakeCommand(const std::string& macText, std::ostream& out);
// find [--mac M] [--ip A] [--host H] [--comment C]; `args` is the whole command line.
int findCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zv::cli
