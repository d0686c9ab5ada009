#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <filesystem>

namespace zv {
namespace {

std::atomic<unsigned> temporaryCounter{0};

std::string temporaryName(const std::string& path) {
  return path + ".tmp" + std::to_string(::getpid()) + "." +
         std::to_string(temporaryCounter.fetch_add(1));
}

}  // namespace

std::optional<std::string> readFileBytes(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) bytes.reserve(std::size_t(info.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int saved = errno;
      ::close(fd);
      errno = saved;
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.append(buffer, std::size_t(n));
  }
  ::close(fd);
  return bytes;
}

atomicFileWriter::~atomicFileWriter() {
  discard();
}

bool atomicFileWriter::open(const std::string& path) {
  discard();
  path_ = path;
  temporary_ = temporaryName(path);
  mode_t mode = 0644;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) mode = info.st_mode & 07777;
  fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd_ < 0) return false;
  ::fchmod(fd_, mode);  // the umask must not narrow an existing file's permissions
  return true;
}

bool atomicFileWriter::write(std::string_view bytes) {
  if (fd_ < 0) return false;
  while (!bytes.empty()) {
    ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(std::size_t(n));
  }
  return true;
}

bool atomicFileWriter::commit() {
  if (fd_ < 0) return false;
  int result = ::close(fd_);
  fd_ = -1;
  if (result == 0 && ::rename(temporary_.c_str(), path_.c_str()) == 0) {
    temporary_.clear();
    return true;
  }
  int saved = errno;
  ::unlink(temporary_.c_str());
  temporary_.clear();
  errno = saved;
  return false;
}

void atomicFileWriter::discard() {
  int saved = errno;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  errno = saved;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes) {
  atomicFileWriter writer;
  if (!writer.open(path)) return false;
  if (!writer.write(bytes)) {
    int saved = errno == 0 ? EIO : errno;
    writer.discard();
    errno = saved;
    return false;
  }
  return writer.commit();
}

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool makeDirectories(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return isDirectory(path);
}

bool removeTree(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  return !error;
}

}  // namespace zv
