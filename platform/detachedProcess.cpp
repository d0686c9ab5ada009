#include "platform/detachedProcess.h"

#include "platform/diagnostics.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
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

std::optional<spawnIdentity> identityOfUser(uid_t uid) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return std::nullopt;
  spawnIdentity id;
  id.uid = found->pw_uid;
  id.gid = found->pw_gid;
  id.name = found->pw_name;
  id.directory = found->pw_dir ? found->pw_dir : "/";
  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
    groups.resize(std::size_t(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) count = 0;
  }
  groups.resize(std::size_t(count));
  id.groups = std::move(groups);
  return id;
}

bool spawnDetached(const std::vector<std::string>& argv, const spawnIdentity* as,
                   const std::vector<std::string>* environment) {
  if (argv.empty()) return false;
  // Everything the child needs is made before fork: after it only async-signal-safe
  // calls are allowed (the console has other threads).
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  if (environment) {
    for (const std::string& e : *environment) env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
  }

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
    if (as) {
      // Groups first, then the group, then the user: each later step needs the
      // privilege the earlier ones still had. Any failure runs nothing.
      if (::setgroups(as->groups.size(), as->groups.data()) != 0 || ::setgid(as->gid) != 0 ||
          ::setuid(as->uid) != 0 || ::getuid() != as->uid || ::geteuid() != as->uid)
        ::_exit(126);
      if (::chdir(as->directory.c_str()) != 0 && ::chdir("/") != 0) ::_exit(126);
    }
    if (environment)
      ::execve(args[0], args.data(), env.data());
    else
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
