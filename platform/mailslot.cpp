#include "platform/mailslot.h"

#include "platform/diagnostics.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace zv {
namespace {

constexpr const char* defaultNamespace = "zelvar/mailslot/";

std::mutex namespaceMutex;
std::string namespaceOverride;

std::string currentNamespace() {
  std::lock_guard lock(namespaceMutex);
  if (!namespaceOverride.empty()) return namespaceOverride;
  static const std::string fromEnvironment = [] {
    const char* value = std::getenv("ZELVAR_MAILSLOTS");
    return std::string(value && *value ? value : defaultNamespace);
  }();
  return fromEnvironment;
}

int datagramSocket() {
  return ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

}  // namespace

socklen_t abstractAddress(std::string_view name, sockaddr_un& address) {
  std::string path = mailslotAddress(name);
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.size() + 1 > sizeof address.sun_path) return 0;
  std::memcpy(address.sun_path + 1, path.data(), path.size());
  return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + path.size());
}

std::string mailslotAddress(std::string_view name) {
  return currentNamespace() + std::string(name);
}

void setMailslotNamespace(std::string prefix) {
  std::lock_guard lock(namespaceMutex);
  namespaceOverride = std::move(prefix);
}

bool validMailslotName(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-' || c == '.';
    if (!ok) return false;
  }
  return true;
}

std::unique_ptr<mailslot> mailslot::create(std::string_view name) {
  sockaddr_un address;
  socklen_t length = validMailslotName(name) ? abstractAddress(name, address) : 0;
  if (length == 0) {
    ZV_REPORT("mailslot: \"%.*s\" is not a mailslot name", int(name.size()), name.data());
    return nullptr;
  }
  int fd = datagramSocket();
  if (fd < 0) {
    ZV_REPORT("%s", errnoText("mailslot: socket", errno).c_str());
    return nullptr;
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    int error = errno;
    ::close(fd);
    if (error != EADDRINUSE)
      ZV_REPORT("%s", errnoText(("mailslot " + std::string(name)).c_str(), error).c_str());
    return nullptr;
  }
  return std::unique_ptr<mailslot>(new mailslot(std::string(name), fd));
}

mailslot::~mailslot() {
  close();
}

void mailslot::close() {
  int fd = fd_.exchange(-1);
  if (fd >= 0) ::close(fd);
}

mailslot::readResult mailslot::read(std::string& message, std::chrono::milliseconds timeout) {
  using steadyClock = std::chrono::steady_clock;
  const auto deadline = steadyClock::now() + timeout;
  for (;;) {
    int fd = fd_.load();
    if (fd < 0) return readResult::failed;
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steadyClock::now());
    if (left.count() < 0) left = std::chrono::milliseconds(0);
    pollfd watch{fd, POLLIN, 0};
    int ready = ::poll(&watch, 1, int(left.count()));
    if (ready < 0) {
      if (errno == EINTR) continue;
      ZV_REPORT("%s", errnoText(("mailslot " + name_ + ": poll").c_str(), errno).c_str());
      return readResult::failed;
    }
    if (ready == 0) return readResult::timedOut;
    if (watch.revents & POLLNVAL) return readResult::failed;
    // One byte more than the limit, and MSG_TRUNC for the datagram's real length.
    char buffer[mailslotMessageLimit + 1];
    ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_TRUNC | MSG_DONTWAIT);
    if (got < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      ZV_REPORT("%s", errnoText(("mailslot " + name_ + ": recv").c_str(), errno).c_str());
      return readResult::failed;
    }
    if (std::size_t(got) > mailslotMessageLimit) {
      ZV_REPORT("mailslot %s: a message of %zd bytes is over the limit of %zu and was dropped",
                name_.c_str(), got, mailslotMessageLimit);
      continue;
    }
    message.assign(buffer, std::size_t(got));
    return readResult::message;
  }
}

bool writeMailslot(std::string_view name, std::string_view bytes) {
  if (bytes.size() > mailslotMessageLimit) {
    ZV_REPORT("mailslot %.*s: a message of %zu bytes is over the limit of %zu", int(name.size()),
              name.data(), bytes.size(), mailslotMessageLimit);
    return false;
  }
  sockaddr_un address;
  socklen_t length = validMailslotName(name) ? abstractAddress(name, address) : 0;
  if (length == 0) {
    ZV_REPORT("mailslot: \"%.*s\" is not a mailslot name", int(name.size()), name.data());
    return false;
  }
  int fd = datagramSocket();
  if (fd < 0) {
    ZV_REPORT("%s", errnoText("mailslot: socket", errno).c_str());
    return false;
  }
  ssize_t sent = ::sendto(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                          reinterpret_cast<sockaddr*>(&address), length);
  int error = errno;
  ::close(fd);
  if (sent != ssize_t(bytes.size())) {
    ZV_REPORT("%s", errnoText(("mailslot " + std::string(name) + ": send").c_str(),
                              sent < 0 ? error : EMSGSIZE)
                        .c_str());
    return false;
  }
  return true;
}

bool mailslotExists(std::string_view name) {
  sockaddr_un address;
  socklen_t length = validMailslotName(name) ? abstractAddress(name, address) : 0;
  if (length == 0) return false;
  int fd = datagramSocket();
  if (fd < 0) return false;
  bool exists = ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
  ::close(fd);
  return exists;
}

}  // namespace zv
