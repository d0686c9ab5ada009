#include "platform/registerLock.h"

#include "platform/diagnostics.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <mutex>
#include <thread>

namespace zv {
namespace {

// The process's hold on the lock file: one descriptor, counted holders.
struct processHold {
  std::mutex mutex;
  int fd = -1;
  std::string path;
  int holders = 0;
};

processHold& hold() {
  static processHold instance;
  return instance;
}

constexpr std::chrono::milliseconds retryInterval{20};

}  // namespace

bool registerLock::take(const std::string& dataDir, std::chrono::milliseconds patience) {
  if (held_) return true;
  if (dataDir.empty()) {  // no installation: no register to lock
    errno = EINVAL;
    ZV_INTERNAL_ERROR();
    return false;
  }
  processHold& h = hold();
  std::lock_guard guard(h.mutex);
  const std::string path = dataDir + registerLockFileName;
  if (h.holders > 0) {
    if (h.path != path) {
      // A second installation in one process never happens; refuse rather than guess.
      errno = EBUSY;
      ZV_INTERNAL_ERROR();
      return false;
    }
    ++h.holders;
    held_ = true;
    return true;
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    ZV_REPORT("%s", errnoText(("open " + path).c_str(), errno).c_str());
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
    int error = errno;
    if (error == EINTR) continue;
    if (error != EWOULDBLOCK) {
      ::close(fd);
      ZV_REPORT("%s", errnoText(("lock " + path).c_str(), error).c_str());
      errno = error;
      return false;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      ::close(fd);
      logMessage("The terminal register lock %s is held by another program; gave up after %lld ms.",
                 path.c_str(), static_cast<long long>(patience.count()));
      errno = error;
      return false;
    }
    std::this_thread::sleep_for(retryInterval);
  }
  h.fd = fd;
  h.path = path;
  h.holders = 1;
  held_ = true;
  return true;
}

void registerLock::release() {
  if (!held_) return;
  held_ = false;
  processHold& h = hold();
  std::lock_guard guard(h.mutex);
  if (--h.holders > 0) return;
  ::flock(h.fd, LOCK_UN);
  ::close(h.fd);
  h.fd = -1;
  h.path.clear();
}

}  // namespace zv
