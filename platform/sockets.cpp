#include "platform/sockets.h"

#include <net/if.h>

#include "platform/diagnostics.h"
#include "platform/ipv4.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>

namespace zv {
namespace {

constexpr int connectTimeoutMs = 300;
constexpr int stalledSendTimeoutMs = 1000;
constexpr int socketTimeoutMs = 3000;

// "recv() return 0. Call once more." is written once per run, whichever stream sees it.
std::atomic<bool> recvZeroNoticeShown{false};

// poll() for one descriptor that survives signals: >0 ready (revents set), 0 when the
// time ran out, <0 with errno when the wait itself failed.
int waitFor(int fd, short events, int timeoutMs, short& revents) {
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
    pollfd entry{fd, events, 0};
    int result = ::poll(&entry, 1, left.count() > 0 ? int(left.count()) : 0);
    if (result < 0 && errno == EINTR) continue;
    revents = entry.revents;
    return result;
  }
}

sockaddr_in ipv4Endpoint(uint32_t address, uint16_t port) {
  sockaddr_in endpoint{};
  endpoint.sin_family = AF_INET;
  endpoint.sin_addr.s_addr = address;
  endpoint.sin_port = htons(port);
  return endpoint;
}

bool setIntOption(int fd, int level, int name, int value) {
  return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

bool setTimeoutOption(int fd, int name) {
  timeval limit{socketTimeoutMs / 1000, (socketTimeoutMs % 1000) * 1000};
  if (::setsockopt(fd, SOL_SOCKET, name, &limit, sizeof limit) == 0) return true;
  ZV_INTERNAL_ERROR();
  return false;
}

}  // namespace

// --- ownership -------------------------------------------------------------------

socketStream::~socketStream() {
  close();
}

socketStream::socketStream(socketStream&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

socketStream& socketStream::operator=(socketStream&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void socketStream::attach(int fd) {
  if (fd == fd_) return;
  close();
  fd_ = fd;
}

int socketStream::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

bool socketStream::close() {
  if (fd_ < 0) return true;
  // Linux releases the descriptor even when
  // close() reports an error, so the stream is empty afterwards either way.
  int result = ::close(fd_);
  fd_ = -1;
  return result == 0;
}

void socketStream::resetRecvZeroNotice() {
  recvZeroNoticeShown.store(false);
}

// --- socket side -------------------------------------------------------------------

bool socketStream::tcpConnect(uint32_t address, uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  sockaddr_in endpoint = ipv4Endpoint(address, port);
  bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&endpoint), sizeof endpoint) == 0;
  if (!connected && errno == EINPROGRESS) {
    short revents = 0;
    int ready = waitFor(fd, POLLOUT, connectTimeoutMs, revents);
    if (ready == 0) {
      errno = ETIMEDOUT;
    } else if (ready > 0) {
      // A refused or unreachable peer also wakes poll(); only SO_ERROR tells them apart.
      int error = 0;
      socklen_t size = sizeof error;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
      connected = error == 0;
      errno = error;
    }
  }
  if (!connected) {
    int error = errno;
    ::close(fd);
    logMessage("Connection with %s:%d failed, errno %d.", ipv4Text(address).c_str(), int(port),
               error);
    return false;
  }
  attach(fd);
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
      !setIntOption(fd, IPPROTO_TCP, TCP_NODELAY, 1))
    ZV_INTERNAL_ERROR();
  return true;
}

// Every send is non-blocking, so a peer that stops reading holds the caller for at most
// one second per stall instead of until the connection dies. MSG_NOSIGNAL: a peer that
// went away gives EPIPE, not SIGPIPE.
bool socketStream::sendAll(const void* bytes, std::size_t length) {
  if (fd_ < 0) return false;
  const char* next = static_cast<const char*>(bytes);
  while (length > 0) {
    ssize_t n = ::send(fd_, next, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      next += n;
      length -= std::size_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      short revents = 0;
      int ready = waitFor(fd_, POLLOUT, stalledSendTimeoutMs, revents);
      if (ready > 0) continue;  // writable, or an error that the next send() reports
      if (ready == 0)
        logMessage("Close stalled TCP connection.");
      else
        logMessage("Close TCP connection while sending data. select() failed, errno %d.", errno);
    } else {
      logMessage("Close TCP connection while sending data, errno %d.", n < 0 ? errno : 0);
    }
    close();
    return false;
  }
  return true;
}

bool socketStream::recvExact(void* buffer, std::size_t size) {
  if (fd_ < 0) return false;
  char* next = static_cast<char*>(buffer);
  while (size > 0) {
    errno = 0;  // a receive that returns 0 sets no error: log 0, not a stale number
    ssize_t n = ::recv(fd_, next, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) {
      if (!recvZeroNoticeShown.exchange(true)) logMessage("recv() return 0. Call once more.");
      do {
        errno = 0;
        n = ::recv(fd_, next, size, 0);
      } while (n < 0 && errno == EINTR);
    }
    if (n <= 0) {
      logMessage("Close TCP connection while receiving data (recv() return %d, errno %d).", int(n),
                 errno);
      close();
      return false;
    }
    next += n;
    size -= std::size_t(n);
  }
  return true;
}

long socketStream::recvSome(void* buffer) {
  if (fd_ < 0) return -1;
  for (;;) {
    ssize_t n = ::recv(fd_, buffer, recvSomeLimit, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      logMessage("Close TCP connection while receiving data, errno %d.", errno);
      close();
      return -1;
    }
    return long(n);
  }
}

bool socketStream::setReceiveTimeout() {
  return setTimeoutOption(fd_, SO_RCVTIMEO);
}

bool socketStream::setSendTimeout() {
  return setTimeoutOption(fd_, SO_SNDTIMEO);
}

// Linux counts the keep-alive times in whole seconds: the first probe goes after 5 s of
// silence, and the 500 ms between probes becomes 1 s, the shortest interval there is.
bool socketStream::setKeepAlive() {
  if (setIntOption(fd_, SOL_SOCKET, SO_KEEPALIVE, 1) &&
      setIntOption(fd_, IPPROTO_TCP, TCP_KEEPIDLE, 5) &&
      setIntOption(fd_, IPPROTO_TCP, TCP_KEEPINTVL, 1))
    return true;
  ZV_INTERNAL_ERROR();
  return false;
}

bool socketStream::udpOpen() {
  if (fd_ >= 0) return true;
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  attach(fd);
  return true;
}

bool socketStream::udpSendBroadcast(uint32_t address, uint32_t mask, uint16_t port,
                                    const void* bytes, std::size_t length) {
  if (fd_ < 0) return false;
  if (!setIntOption(fd_, SOL_SOCKET, SO_BROADCAST, 1)) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  sockaddr_in target = ipv4Endpoint(directedBroadcast(address, mask), port);
  ssize_t n;
  do {
    n = ::sendto(fd_, bytes, length, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&target),
                 sizeof target);
  } while (n < 0 && errno == EINTR);
  if (n >= 0 && std::size_t(n) == length) return true;
  if (n >= 0) errno = EMSGSIZE;
  ZV_INTERNAL_ERROR();
  return false;
}

bool socketStream::udpBind(uint32_t address, uint16_t port) {
  sockaddr_in endpoint = ipv4Endpoint(address, port);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&endpoint), sizeof endpoint) == 0) return true;
  ZV_INTERNAL_ERROR();
  return false;
}

bool socketStream::bindToDevice(std::string_view device) {
  if (fd_ < 0) return false;
  std::string name(device);
  if (name.empty() || name.size() >= IFNAMSIZ) {
    ZV_REPORT("Not an interface name: %s", name.c_str());
    return false;
  }
  if (::setsockopt(fd_, SOL_SOCKET, SO_BINDTODEVICE, name.c_str(), socklen_t(name.size() + 1)) == 0)
    return true;
  ZV_INTERNAL_ERROR();
  return false;
}

uint32_t interfaceMtu(std::string_view device) {
  ifreq request{};
  if (device.empty() || device.size() >= sizeof request.ifr_name) return 0;
  device.copy(request.ifr_name, device.size());
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  int result = ::ioctl(fd, SIOCGIFMTU, &request);
  ::close(fd);
  return result == 0 && request.ifr_mtu > 0 ? uint32_t(request.ifr_mtu) : 0;
}

long socketStream::udpReceive(void* buffer, uint32_t& sender) {
  sender = 0;
  if (fd_ < 0) return -1;
  for (;;) {
    sockaddr_in from{};
    socklen_t size = sizeof from;
    ssize_t n =
        ::recvfrom(fd_, buffer, udpReceiveLimit, 0, reinterpret_cast<sockaddr*>(&from), &size);
    if (n < 0 && errno == EINTR) continue;
    if (n >= 0 && from.sin_family == AF_INET) sender = from.sin_addr.s_addr;
    return long(n);
  }
}

// --- addresses ---------------------------------------------------------------------

std::string ipv4Text(uint32_t address) {
  in_addr in{address};
  char text[INET_ADDRSTRLEN];
  return ::inet_ntop(AF_INET, &in, text, sizeof text) ? std::string(text) : std::string();
}

bool parseIpv4(std::string_view text, uint32_t& address) {
  std::optional<uint32_t> parsed = parseIpv4Text(text);
  if (!parsed) return false;
  address = *parsed;
  return true;
}

}  // namespace zv
