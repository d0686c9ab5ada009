#include "platform/controlSocket.h"

#include "platform/diagnostics.h"
#include "platform/mailslot.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace zv {
namespace {

using clock = std::chrono::steady_clock;

int remainingMs(clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
  return left.count() > 0 ? int(left.count()) : 0;
}

// Reads up to a newline before the deadline; nullopt on a timeout, an error, the end
// of the stream or a line over the limit.
std::optional<std::string> readLine(int fd, clock::time_point deadline) {
  std::string line;
  while (true) {
    pollfd p{fd, POLLIN, 0};
    int ready = ::poll(&p, 1, remainingMs(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return std::nullopt;
    char chunk[512];
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    line.append(chunk, std::size_t(n));
    std::size_t newline = line.find('\n');
    if (newline != std::string::npos) {
      line.resize(newline);
      return line;
    }
    if (line.size() > controlLineLimit) return std::nullopt;
  }
}

bool writeAll(int fd, std::string_view bytes, clock::time_point deadline) {
  while (!bytes.empty()) {
    pollfd p{fd, POLLOUT, 0};
    int ready = ::poll(&p, 1, remainingMs(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(std::size_t(n));
  }
  return true;
}

}  // namespace

controlServer::controlServer(std::string name, handler answer)
    : name_(std::move(name)), answer_(std::move(answer)), thread_([this] { run(); }) {}

controlServer::~controlServer() {
  stop_ = true;
  thread_.join();
}

void controlServer::run() {
  sockaddr_un address;
  socklen_t length = abstractAddress(name_, address);
  if (length == 0) {
    ZV_REPORT("control socket: the name \"%s\" is too long", name_.c_str());
    return;
  }
  int listener = -1;
  bool reported = false;
  while (!stop_) {
    if (listener < 0) {
      listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      if (listener >= 0 && (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
                            ::listen(listener, 8) != 0)) {
        if (!reported)
          logMessage("%s",
                     errnoText("control socket: bind (trying again every second)", errno).c_str());
        reported = true;
        ::close(listener);
        listener = -1;
        for (int i = 0; i < 10 && !stop_; ++i) ::usleep(100'000);
        continue;
      }
      if (listener < 0) return;
      listening_ = true;
    }
    pollfd p{listener, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EMFILE || errno == ENFILE) ::usleep(100'000);
      continue;
    }
    serve(fd);
    ::close(fd);
  }
  if (listener >= 0) ::close(listener);
}

void controlServer::serve(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer) return;
  if (peer.uid != 0 && peer.uid != ::geteuid()) {
    logMessage("control socket: refused a request of uid %u (pid %d)", unsigned(peer.uid),
               int(peer.pid));
    return;
  }
  clock::time_point deadline = clock::now() + controlTimeout;
  std::optional<std::string> request = readLine(fd, deadline);
  if (!request) return;
  std::string reply = answer_(*request);
  reply += '\n';
  writeAll(fd, reply, deadline);
}

std::optional<std::string> controlRequest(std::string_view name, std::string_view request,
                                          std::chrono::milliseconds timeout) {
  sockaddr_un address;
  socklen_t length = abstractAddress(name, address);
  if (length == 0) return std::nullopt;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> answer;
  clock::time_point deadline = clock::now() + timeout;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      writeAll(fd, std::string(request) + "\n", deadline))
    answer = readLine(fd, deadline);
  ::close(fd);
  return answer;
}

}  // namespace zv
