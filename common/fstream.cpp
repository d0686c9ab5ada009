#include "common/fstream.h"

#include "platform/diagnostics.h"
#include "platform/files.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <thread>

namespace zv {
namespace {

constexpr std::size_t printfBufferSize = 10240;
constexpr std::size_t formattedFileLimit = 255;
constexpr std::size_t retryPathLimit = 1024;
constexpr int openRetryAttempts = 11;
constexpr auto openRetryPause = std::chrono::milliseconds(30);

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

byteStream::byteStream(byteStream&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

byteStream& byteStream::operator=(byteStream&& other) noexcept {
  if (this != &other) {
    close();
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
  // Linux releases the descriptor even when
  // close() reports an error, so the stream is empty afterwards either way.
  int result = ::close(fd_);
  fd_ = -1;
  return result == 0;
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
