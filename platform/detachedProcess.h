#pragma once
// Starting programs that live on their own (the browser window of the console).
//
// findProgram looks a program up the way a shell does: a name holding '/' is taken as
// it is, any other is searched in the directories of a PATH-like list. spawnDetached
// starts it in a session of its own with standard input and output on /dev/null; the
// console neither waits for it nor is told when it ends (no zombie is left behind).
//
// Thread safety: both may be called from any thread.

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// The executable file's path, or empty when none is found. `searchPath` is a
// colon-separated list of directories (an empty entry is the current directory).
std::string findProgram(std::string_view name, std::string_view searchPath);

// Whom a program runs as when the console (as root) starts it for a desktop user.
struct spawnIdentity {
  uid_t uid = 0;
  gid_t gid = 0;
  std::string name;           // the login name
  std::vector<gid_t> groups;  // the supplementary groups
  std::string directory;      // the working directory (the user's home)
};

// The identity of a user from the password and group databases; nullopt when there
// is no such user.
std::optional<spawnIdentity> identityOfUser(uid_t uid);

// Starts argv[0] (a path) with the arguments. With `as`, the program runs with that
// identity (the child ends without running anything when it cannot take it on); with
// `environment` ("NAME=value" entries) it gets exactly that environment instead of
// the console's. False, with a line in the diagnostic log, when the process cannot be
// made; a program that fails to start afterwards only ends its own process.
bool spawnDetached(const std::vector<std::string>& argv, const spawnIdentity* as = nullptr,
                   const std::vector<std::string>* environment = nullptr);

}  // namespace zv
