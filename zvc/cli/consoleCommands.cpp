#include "zvc/cli/consoleCommands.h"

#include "platform/controlSocket.h"
#include "zvc/cli/output.h"

#include <optional>
#include <string>

namespace zv::cli {

// Asked over the console's control socket, which serves root and the console's own
// user only.
int consoleUrlCommand(std::ostream& out) {
  std::optional<std::string> answer = controlRequest(consoleControlName, R"({"command":"url"})");
  json reply = answer ? json::parse(*answer, nullptr, false) : json();
  if (!reply.is_object() || !reply.contains("ok"))
    return fail(out,
                "The console is not running, or it serves another user (run zvctl as root or "
                "as the console's user).");
  print(out, reply);
  return reply["ok"] == true ? 0 : 1;
}

}  // namespace zv::cli
