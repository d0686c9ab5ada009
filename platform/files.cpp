#include "platform/files.h"

#include "platform/diagnostics.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <charconv>

namespace zv {
namespace {

std::atomic<unsigned> temporaryCounter{0};
constexpr std::string_view temporaryMark = ".zvtmp.";
// Trees deeper than this are not removed: a hostile tree must not exhaust descriptors.
constexpr int removeDepthLimit = 64;

std::string temporaryName(const std::string& path) {
  return path + std::string(temporaryMark) + std::to_string(::getpid()) + "." +
         std::to_string(temporaryCounter.fetch_add(1));
}

// The process id in a temporary's name, 0 when the name is not one.
pid_t temporaryOwner(std::string_view name) {
  std::size_t mark = name.rfind(temporaryMark);
  if (mark == std::string_view::npos || mark == 0) return 0;
  std::string_view rest = name.substr(mark + temporaryMark.size());
  std::size_t dot = rest.find('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == rest.size()) return 0;
  long pid = 0;
  auto [end, error] = std::from_chars(rest.data(), rest.data() + dot, pid);
  if (error != std::errc() || end != rest.data() + dot || pid <= 0) return 0;
  for (char c : rest.substr(dot + 1))
    if (c < '0' || c > '9') return 0;
  return pid_t(pid);
}

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string parentOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

class descriptor {
 public:
  explicit descriptor(int fd) : fd_(fd) {}
  ~descriptor() {
    if (fd_ >= 0) {
      int saved = errno;
      ::close(fd_);
      errno = saved;
    }
  }
  descriptor(const descriptor&) = delete;
  descriptor& operator=(const descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

const char* kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISLNK(mode)) return "a link";
  return "not a regular file";
}

fileContents refuse(const std::string& path, const std::string& why, int error) {
  logMessage("File %s is not read: %s.", path.c_str(), why.c_str());
  errno = error;
  return {readStatus::refused, {}, false};
}

// Reads from `dirFd` (or AT_FDCWD) the file `name`; `shown` names it in log lines.
fileContents readAt(int dirFd, const char* name, const std::string& shown, std::size_t limit,
                    bool follow, bool headOnly) {
  int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (follow ? 0 : O_NOFOLLOW);
  descriptor fd(::openat(dirFd, name, flags));
  if (fd.get() < 0) {
    int error = errno;
    if (error == ENOENT || error == ENOTDIR) return {readStatus::missing, {}, false};
    if (error == ELOOP) return refuse(shown, "it is a link", error);
    logMessage("%s", errnoText(("File " + shown + " cannot be opened").c_str(), error).c_str());
    errno = error;
    return {readStatus::failed, {}, false};
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    int error = errno;
    logMessage("%s", errnoText(("File " + shown + " cannot be examined").c_str(), error).c_str());
    errno = error;
    return {readStatus::failed, {}, false};
  }
  if (!S_ISREG(info.st_mode))
    return refuse(shown, std::string("it is ") + kindOf(info.st_mode), EINVAL);
  if (!headOnly && info.st_size > 0 && std::size_t(info.st_size) > limit)
    return refuse(shown, "it is larger than " + std::to_string(limit) + " bytes", EFBIG);
  // Files of /proc report no size; the buffer grows as bytes come, one past the limit.
  fileContents result{readStatus::ok, {}, false};
  std::string& bytes = result.bytes;
  bytes.resize(std::min<std::size_t>(std::size_t(info.st_size), limit) + 1);
  std::size_t got = 0;
  for (;;) {
    if (got == bytes.size()) {
      if (bytes.size() > limit) break;
      bytes.resize(std::min(std::max<std::size_t>(bytes.size() * 2, 4096), limit + 1));
    }
    ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      logMessage("%s", errnoText(("File " + shown + " cannot be read").c_str(), error).c_str());
      errno = error;
      return {readStatus::failed, {}, false};
    }
    if (n == 0) break;
    got += std::size_t(n);
  }
  if (got > limit) {
    // The file grew while it was read.
    if (!headOnly)
      return refuse(shown, "it is larger than " + std::to_string(limit) + " bytes", EFBIG);
    result.more = true;
    got = limit;
  }
  bytes.resize(got);
  return result;
}

// Opens a directory of the installation without following it when it is a link.
int openDirectoryNoFollow(const std::string& directory) {
  return ::open(withoutTrailingSlashes(directory).c_str(),
                O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
}

fileContents readIn(const std::string& directory, std::string_view name, std::size_t limit,
                    bool headOnly) {
  std::string shown = directory;
  if (!shown.empty() && shown.back() != '/') shown += '/';
  shown += name;
  descriptor dir(openDirectoryNoFollow(directory));
  if (dir.get() < 0) {
    int error = errno;
    if (error == ENOENT) return {readStatus::missing, {}, false};
    // O_NOFOLLOW | O_DIRECTORY on a link gives ENOTDIR or ELOOP.
    if ((error == ENOTDIR || error == ELOOP) && isLink(withoutTrailingSlashes(directory)))
      return refuse(shown, "its directory is a link", error);
    if (error == ENOTDIR) return {readStatus::missing, {}, false};
    logMessage("%s",
               errnoText(("Directory " + directory + " cannot be opened").c_str(), error).c_str());
    errno = error;
    return {readStatus::failed, {}, false};
  }
  return readAt(dir.get(), std::string(name).c_str(), shown, limit, false, headOnly);
}

bool removeTreeAt(int parentFd, const char* name, int depth) {
  if (::unlinkat(parentFd, name, 0) == 0 || errno == ENOENT) return true;
  if (errno != EISDIR && errno != EPERM) return false;
  if (depth > removeDepthLimit) {
    errno = ELOOP;
    return false;
  }
  descriptor dir(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
  if (dir.get() < 0) return false;
  int copy = ::dup(dir.get());
  if (copy < 0) return false;
  DIR* stream = ::fdopendir(copy);
  if (!stream) {
    ::close(copy);
    return false;
  }
  bool ok = true;
  int firstError = 0;
  while (const dirent* entry = ::readdir(stream)) {
    std::string_view entryName = entry->d_name;
    if (entryName == "." || entryName == "..") continue;
    if (!removeTreeAt(dir.get(), entry->d_name, depth + 1)) {
      if (ok) firstError = errno;
      ok = false;
    }
  }
  ::closedir(stream);
  if (!ok) {
    errno = firstError;
    return false;
  }
  return ::unlinkat(parentFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
}

}  // namespace

fileContents readFileLimited(const std::string& path, std::size_t limit, linkRule links) {
  return readAt(AT_FDCWD, path.c_str(), path, limit, links == linkRule::follow, false);
}

fileContents readFileIn(const std::string& directory, std::string_view name, std::size_t limit) {
  return readIn(directory, name, limit, false);
}

fileContents readFileHeadIn(const std::string& directory, std::string_view name,
                            std::size_t limit) {
  return readIn(directory, name, limit, true);
}

std::optional<std::string> readFileBytes(const std::string& path) {
  fileContents contents = readFileLimited(path, defaultReadLimit, linkRule::follow);
  if (!contents.ok()) {
    if (contents.status == readStatus::missing && errno != ENOTDIR) errno = ENOENT;
    return std::nullopt;
  }
  return std::move(contents.bytes);
}

std::optional<std::vector<directoryEntry>> listDirectory(const std::string& directory,
                                                         linkRule links) {
  int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (links == linkRule::follow ? 0 : O_NOFOLLOW);
  int fd = ::open(withoutTrailingSlashes(directory).c_str(), flags);
  if (fd < 0) return std::nullopt;
  DIR* stream = ::fdopendir(fd);
  if (!stream) {
    int error = errno;
    ::close(fd);
    errno = error;
    return std::nullopt;
  }
  std::vector<directoryEntry> entries;
  while (const dirent* entry = ::readdir(stream)) {
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    directoryEntry found{std::string(name), entryType::other};
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN) {
      struct stat info {};
      if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
      type = S_ISREG(info.st_mode)   ? DT_REG
             : S_ISDIR(info.st_mode) ? DT_DIR
             : S_ISLNK(info.st_mode) ? DT_LNK
                                     : DT_UNKNOWN;
    }
    if (type == DT_REG) found.type = entryType::file;
    if (type == DT_DIR) found.type = entryType::directory;
    if (type == DT_LNK) found.type = entryType::link;
    entries.push_back(std::move(found));
  }
  ::closedir(stream);
  return entries;
}

atomicFileWriter::~atomicFileWriter() {
  discard();
}

bool atomicFileWriter::open(const std::string& path, const writeOptions& options) {
  discard();
  path_ = path;
  options_ = options;
  temporary_ = temporaryName(path);
  haveDirectoryTimes_ = false;
  if (options.keepDirectoryTimes) {
    struct stat dir {};
    if (::stat(parentOf(path).c_str(), &dir) == 0) {
      directoryTimes_[0] = dir.st_atim;
      directoryTimes_[1] = dir.st_mtim;
      haveDirectoryTimes_ = true;
    }
  }
  // A link in place of the file is replaced, never written through: lstat, not stat.
  struct stat old {};
  bool replacing = ::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  mode_t mode = replacing ? (old.st_mode & 07777) : options.newMode;
  fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
  if (fd_ < 0) {
    temporary_.clear();
    return false;
  }
  if (replacing) {
    // The owner first: a change of owner clears set-id bits that fchmod then restores.
    if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
        ::fchown(fd_, old.st_uid, old.st_gid) != 0)
      logMessage("%s", errnoText(("File " + path + " loses its owner").c_str(), errno).c_str());
    // The umask must not narrow an existing file's permissions.
    ::fchmod(fd_, mode);
  }
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

void atomicFileWriter::restoreDirectoryTimes() {
  if (!haveDirectoryTimes_) return;
  int saved = errno;
  ::utimensat(AT_FDCWD, parentOf(path_).c_str(), directoryTimes_, 0);
  errno = saved;
}

bool atomicFileWriter::commit() {
  if (fd_ < 0) return false;
  int result = options_.durable ? ::fsync(fd_) : 0;
  if (::close(fd_) != 0 && result == 0) result = -1;
  fd_ = -1;
  if (result == 0 && ::rename(temporary_.c_str(), path_.c_str()) == 0) {
    temporary_.clear();
    if (options_.durable) {
      descriptor dir(::open(parentOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (dir.get() >= 0) ::fsync(dir.get());
    }
    restoreDirectoryTimes();
    return true;
  }
  int saved = errno;
  ::unlink(temporary_.c_str());
  temporary_.clear();
  restoreDirectoryTimes();
  errno = saved;
  return false;
}

void atomicFileWriter::discard() {
  int saved = errno;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    restoreDirectoryTimes();
  }
  temporary_.clear();
  errno = saved;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes,
                         const writeOptions& options) {
  atomicFileWriter writer;
  if (!writer.open(path, options)) return false;
  if (!writer.write(bytes)) {
    int saved = errno == 0 ? EIO : errno;
    writer.discard();
    errno = saved;
    return false;
  }
  return writer.commit();
}

bool isTemporaryName(std::string_view name) {
  return temporaryOwner(name) != 0;
}

int removeLeftoverTemporaries(const std::string& directory) {
  auto entries = listDirectory(directory, linkRule::refuse);
  if (!entries) return 0;
  std::string base = directory;
  if (!base.empty() && base.back() != '/') base += '/';
  int removed = 0;
  for (const directoryEntry& entry : *entries) {
    if (entry.type != entryType::file) continue;
    pid_t owner = temporaryOwner(entry.name);
    if (owner == 0 || owner == ::getpid()) continue;
    // A writer that still runs may be about to rename its temporary.
    if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
    if (::unlink((base + entry.name).c_str()) == 0) {
      logMessage("Removed %s%s, left by a writer that did not finish.", base.c_str(),
                 entry.name.c_str());
      ++removed;
    }
  }
  return removed;
}

std::optional<std::chrono::system_clock::time_point> modificationTime(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  auto since =
      std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec);
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(since));
}

int openForWritingError(const std::string& path) {
  // O_NONBLOCK: a FIFO put in the file's place must not hang the console.
  int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno != 0 ? errno : EIO;
  ::close(fd);
  return 0;
}

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isLink(const std::string& path) {
  struct stat info {};
  return ::lstat(withoutTrailingSlashes(path).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool makeDirectories(const std::string& path, mode_t mode) {
  std::string target = withoutTrailingSlashes(path);
  if (target.empty()) return false;
  if (isDirectory(target)) return true;
  std::string parent = parentOf(target);
  if (parent != target && !isDirectory(parent) && !makeDirectories(parent, mode)) return false;
  if (::mkdir(target.c_str(), mode) == 0) return true;
  return errno == EEXIST && isDirectory(target);
}

bool removeTree(const std::string& path) {
  std::string target = withoutTrailingSlashes(path);
  if (target.empty()) return false;
  std::string parent = parentOf(target);
  std::string name =
      target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);
  descriptor dir(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return errno == ENOENT;
  return removeTreeAt(dir.get(), name.c_str(), 0);
}

removal removeFile(const std::string& path) {
  // A removal is no sighting either: the directory keeps its times.
  struct stat dir {};
  bool haveTimes = ::stat(parentOf(path).c_str(), &dir) == 0;
  if (::unlink(path.c_str()) == 0) {
    if (haveTimes) {
      const struct timespec times[2] = {dir.st_atim, dir.st_mtim};
      ::utimensat(AT_FDCWD, parentOf(path).c_str(), times, 0);
    }
    return removal::removed;
  }
  if (errno == ENOENT || errno == ENOTDIR) return removal::absent;
  int error = errno;
  logMessage("%s", errnoText(("File " + path + " cannot be removed").c_str(), error).c_str());
  errno = error;
  return removal::failed;
}

bool removeIfPresent(const std::string& path) {
  return removeFile(path) != removal::failed;
}

made makeDirectory(const std::string& path, mode_t mode) {
  std::string target = withoutTrailingSlashes(path);
  if (::mkdir(target.c_str(), mode) == 0) return made::created;
  if (errno != EEXIST) return made::failed;
  struct stat info {};
  if (::lstat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return made::existed;
  errno = EEXIST;
  return made::failed;
}

bool renamePath(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

// File systems without RENAME_NOREPLACE get link() + unlink(), which refuses an existing
// name as well.
bool renameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  if (::unlink(from.c_str()) != 0) {
    int error = errno;
    ::unlink(to.c_str());
    errno = error;
    return false;
  }
  return true;
}

}  // namespace zv
