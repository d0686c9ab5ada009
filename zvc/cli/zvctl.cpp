#include "zvc/cli/zvctl.h"

#include "zvc/cli/configCommands.h"
#include "zvc/cli/configEditCommands.h"
#include "zvc/cli/consoleCommands.h"
#include "zvc/cli/dhcpCommands.h"
#include "zvc/cli/helloCommands.h"
#include "zvc/cli/output.h"
#include "zvc/cli/pathsCommands.h"
#include "zvc/cli/terminalsCommands.h"
#include "zvc/cli/versionsCommands.h"

namespace zv {

int cli::usage(std::ostream& err) {
  err << "usage: zvctl paths\n"
         "       zvctl versions\n"
         "       zvctl terminals\n"
         "       zvctl config parse FILE\n"
         "       zvctl config show MAC\n"
         "       zvctl config validate MAC\n"
         "       zvctl config set MAC KEY=VALUE...\n"
         "       zvctl config unset MAC KEY...\n"
         "       zvctl config templates MAC [--add NAME | --remove NAME]\n"
         "       zvctl config copy FROM_MAC TO_MAC [--force]\n"
         "       zvctl config text MAC --test FILE | --save FILE\n"
         "       zvctl dhcp show MAC|defaults\n"
         "       zvctl dhcp set MAC|defaults CODE TYPE VALUE\n"
         "       zvctl dhcp unset MAC|defaults CODE\n"
         "       zvctl terminal add MAC [--ip A] [--host H] [--comment C] [--version V]\n"
         "       zvctl terminal set MAC [--ip A] [--host H] [--comment C]\n"
         "                          [--boot-type tftp|http|default] [--force]\n"
         "       zvctl terminal hide|unhide|remove MAC\n"
         "       zvctl terminal wake MAC\n"
         "       zvctl find [--mac M] [--ip A] [--host H] [--comment C]\n"
         "       zvctl hello decode FILE [--tcp] [--key HEX]\n"
         "       zvctl console url\n";
  return 2;
}

int runZvctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  using namespace cli;
  if (args.size() == 1 && args[0] == "paths") return pathsCommand(out);
  if (args.size() == 1 && args[0] == "versions") return versionsCommand(out);
  if (args.size() == 1 && args[0] == "terminals") return terminalsCommand(out);
  if (args.size() == 3 && args[0] == "config" && args[1] == "parse")
    return configParseCommand(args[2], out);
  if (args.size() == 3 && args[0] == "config" && args[1] == "show")
    return configShowCommand(args[2], out);
  if (args.size() == 3 && args[0] == "config" && args[1] == "validate")
    return configValidateCommand(args[2], out);
  if (args.size() >= 2 && args[0] == "config" && (args[1] == "set" || args[1] == "unset"))
    return configSetCommand(args, args[1] == "unset", out, err);
  if (args.size() >= 2 && args[0] == "config" && args[1] == "templates")
    return configTemplatesCommand(args, out, err);
  if (args.size() >= 2 && args[0] == "config" && args[1] == "copy")
    return configCopyCommand(args, out, err);
  if (args.size() >= 2 && args[0] == "config" && args[1] == "text")
    return configTextCommand(args, out, err);
  if (args.size() == 3 && args[0] == "dhcp" && args[1] == "show")
    return dhcpShowCommand(args[2], out);
  if (args.size() >= 2 && args[0] == "dhcp" && (args[1] == "set" || args[1] == "unset"))
    return dhcpSetCommand(args, args[1] == "unset", out, err);
  if (args.size() >= 3 && args[0] == "terminal" && args[1] == "add")
    return terminalAddCommand(args, out, err);
  if (args.size() >= 3 && args[0] == "terminal" && args[1] == "set")
    return terminalSetCommand(args, out, err);
  if (args.size() == 3 && args[0] == "terminal" &&
      (args[1] == "hide" || args[1] == "unhide" || args[1] == "remove"))
    return terminalRowCommand(args[1], args[2], out);
  if (args.size() == 3 && args[0] == "terminal" && args[1] == "wake")
    return terminalWakeCommand(args[2], out);
  if (!args.empty() && args[0] == "find") return findCommand(args, out, err);
  if (args.size() >= 3 && args[0] == "hello" && args[1] == "decode")
    return helloDecodeCommand(args, out, err);
  if (args.size() == 2 && args[0] == "console" && args[1] == "url") return consoleUrlCommand(out);
  return usage(err);
}

}  // namespace zv
