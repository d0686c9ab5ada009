#include "platform/detachedProcess.h"

#include "platform/diagnostics.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace zv {

std::string findProgram(std::string_view name, std::string_view searchPath) {
  if (name.empty()) return {};
  auto runnable = [](const std::string& path) { return ::access(path.c_str(), X_OK) == 0; };
  if (name.find('/') != std::string_view::npos) {
    std::string path(name);
    return runnable(path) ? path : std::string();
  }
  while (true) {
    std::size_t end = searchPath.find(':');
    std::string_view dir = searchPath.substr(0, end);
    std::string path = dir.empty() ? std::string(".") : std::string(dir);
    path += '/';
    path += name;
    if (runnable(path)) return path;
    if (end == std::string_view::npos) return {};
    searchPath.remove_prefix(end + 1);
  }
}

bool spawnDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  // Everything the child needs is made before fork: after it only async-signal-safe
  // calls are allowed (the console has other threads).
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  pid_t child = ::fork();
  if (child < 0) {
    ZV_REPORT("%s", errnoText("fork", errno).c_str());
    return false;
  }
  if (child == 0) {
    // The child starts the program in a grandchild and ends at once, so the program
    // is adopted by init and never becomes a zombie of the console.
    ::setsid();
    pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, STDIN_FILENO);
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
      if (null > STDERR_FILENO) ::close(null);
    }
    // Signals the console blocks for its own handling must not stay blocked.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    ZV_REPORT("starting %s failed: the intermediate process ended with status %d", argv[0].c_str(),
              status);
    return false;
  }
  return true;
}

}  // namespace zv
