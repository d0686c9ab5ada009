#include "common/fstream.h"

#include "platform/ipv4.h"

#include "platform/diagnostics.h"
#include "platform/files.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <thread>

namespace zv {
namespace {

constexpr int connectTimeoutMs = 300;
constexpr int stalledSendTimeoutMs = 1000;
constexpr int socketTimeoutMs = 3000;
constexpr std::size_t printfBufferSize = 10240;
constexpr std::size_t formattedFileLimit = 255;
constexpr std::size_t retryPathLimit = 1024;
constexpr int openRetryAttempts = 11;
constexpr auto openRetryPause = std::chrono::milliseconds(30);

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

// Cuts a UTF-8 path to at most `limit` bytes without splitting a character.
void cutPath(std::string& path, std::size_t limit) {
  if (path.size() <= limit) return;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(path[end]) & 0xC0) == 0x80) --end;
  path.resize(end);
}

}  // namespace

// --- ownership -------------------------------------------------------------------

byteStream::~byteStream() {
  close();
}

byteStream::byteStream(byteStream&& other) noexcept : kind_(other.kind_), fd_(other.fd_) {
  other.fd_ = -1;
}

byteStream& byteStream::operator=(byteStream&& other) noexcept {
  if (this != &other) {
    close();
    kind_ = other.kind_;
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void byteStream::attach(int fd) {
  if (fd == fd_) return;
  close();
  fd_ = fd;
}

int byteStream::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

bool byteStream::close() {
  if (fd_ < 0) return true;
  // Files and sockets share close() here. Linux releases the descriptor even when
  // close() reports an error, so the stream is empty afterwards either way.
  int result = ::close(fd_);
  fd_ = -1;
  return result == 0;
}

void byteStream::resetRecvZeroNotice() {
  recvZeroNoticeShown.store(false);
}

// --- file side ---------------------------------------------------------------------
//
// Opening replaces the handle only when the open succeeded; a failed open leaves the
// stream as it was. There is no "deny writers" sharing mode on Linux: other programs
// may open the file while the stream holds it.

bool byteStream::openRead(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  attach(fd);
  return true;
}

bool byteStream::openWrite(const std::string& path, bool append, bool quiet) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
  int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) {
    if (!quiet) ZV_INTERNAL_ERROR();
    return false;
  }
  attach(fd);
  return true;
}

// The retry covers the moment when another program still holds or prepares the file.
// Linux has no sharing violations, so every failed open is retried alike: a directory
// that is being created (ENOENT), permissions being fixed (EACCES), a full descriptor
// table (EMFILE).
bool byteStream::openWriteRetry(const std::string& directory, const std::string& name) {
  std::string path = directory;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  cutPath(path, retryPathLimit);
  for (int attempt = 1;; ++attempt) {
    if (openWrite(path, false, true)) return true;
    if (attempt == openRetryAttempts) break;
    std::this_thread::sleep_for(openRetryPause);
  }
  ZV_INTERNAL_ERROR();
  return false;
}

long byteStream::read(void* buffer, std::size_t size) {
  if (fd_ < 0) return -1;
  for (;;) {
    ssize_t n = ::read(fd_, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return long(n);
  }
}

bool byteStream::writeAll(const void* bytes, std::size_t length) {
  if (fd_ < 0) return false;
  const char* next = static_cast<const char*>(bytes);
  while (length > 0) {
    ssize_t n = ::write(fd_, next, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    next += n;
    length -= std::size_t(n);
  }
  return true;
}

long byteStream::printf(const char* format, ...) {
  if (fd_ < 0) return -1;
  char buffer[printfBufferSize];
  va_list args;
  va_start(args, format);
  errno = 0;
  int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (length <= 0 || std::size_t(length) >= sizeof buffer) {
    // An empty text is a caller's mistake; a text that does not fit would be written
    // cut, so nothing is written at all.
    if (length > 0) errno = EMSGSIZE;
    ZV_INTERNAL_ERROR();
    return -1;
  }
  if (!writeAll(buffer, std::size_t(length))) {
    ZV_INTERNAL_ERROR();
    return -1;
  }
  return length;
}

// --- socket side -------------------------------------------------------------------

bool byteStream::tcpConnect(uint32_t address, uint16_t port) {
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
bool byteStream::sendAll(const void* bytes, std::size_t length) {
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

bool byteStream::recvExact(void* buffer, std::size_t size) {
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

long byteStream::recvSome(void* buffer) {
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

bool byteStream::setReceiveTimeout() {
  return setTimeoutOption(fd_, SO_RCVTIMEO);
}

bool byteStream::setSendTimeout() {
  return setTimeoutOption(fd_, SO_SNDTIMEO);
}

// Linux counts the keep-alive times in whole seconds: the first probe goes after 5 s of
// silence, and the 500 ms between probes becomes 1 s, the shortest interval there is.
bool byteStream::setKeepAlive() {
  if (setIntOption(fd_, SOL_SOCKET, SO_KEEPALIVE, 1) &&
      setIntOption(fd_, IPPROTO_TCP, TCP_KEEPIDLE, 5) &&
      setIntOption(fd_, IPPROTO_TCP, TCP_KEEPINTVL, 1))
    return true;
  ZV_INTERNAL_ERROR();
  return false;
}

bool byteStream::udpOpen() {
  if (fd_ >= 0) return true;
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  attach(fd);
  return true;
}

bool byteStream::udpSendBroadcast(uint32_t address, uint32_t mask, uint16_t port, const void* bytes,
                                  std::size_t length) {
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

bool byteStream::udpBind(uint32_t address, uint16_t port) {
  sockaddr_in endpoint = ipv4Endpoint(address, port);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&endpoint), sizeof endpoint) == 0) return true;
  ZV_INTERNAL_ERROR();
  return false;
}

long byteStream::udpReceive(void* buffer, uint32_t& sender) {
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

// --- whole-file writers ------------------------------------------------------------

bool writeBytesFile(const std::string& path, std::string_view bytes, const writeOptions& options) {
  if (writeFileAtomically(path, bytes, options)) return true;
  ZV_INTERNAL_ERROR();
  return false;
}

bool writeFormattedFile(const std::string& path, const char* format, ...) {
  char buffer[formattedFileLimit + 1];
  va_list args;
  va_start(args, format);
  errno = 0;
  int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (length < 0 || std::size_t(length) > formattedFileLimit) {
    // A cut text would leave a wrong file behind; the old file stays instead.
    if (length > 0) errno = EMSGSIZE;
    ZV_INTERNAL_ERROR();
    return false;
  }
  return writeBytesFile(path, std::string_view(buffer, std::size_t(length)));
}

bool writeUtf16File(const std::string& path, std::u16string_view text,
                    const writeOptions& options) {
  std::string bytes = "\xFF\xFE";
  bytes.reserve(2 + 2 * text.size());
  for (char16_t unit : text) {
    bytes.push_back(char(unit & 0xFF));
    bytes.push_back(char(unit >> 8));
  }
  return writeBytesFile(path, bytes, options);
}

}  // namespace zv
