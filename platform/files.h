#pragma once
// The file seam: every file the system reads from outside or writes goes through here.
//
// Reading is bounded: only regular files are read, they are opened non-blocking (a FIFO
// or device in place of a file never hangs a reader), links are refused where the file
// lives in the installation, and every caller names the largest file it accepts. A
// refusal writes one line to the diagnostic log naming the file and why.
//
// Whole-file writes go through a temporary file in the same directory and rename(),
// so a reader (the boot services, a second console) sees either the old file or the
// new one, never half of it. The replaced file's owner, group and permissions are kept.
// Temporaries carry ".zvtmp.<pid>." in their names so that leftovers of a crash can be
// recognised and removed at start-up.
//
// Any thread; no shared state.

#include <sys/types.h>
#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// --- reading -------------------------------------------------------------------------

enum class readStatus { ok, missing, refused, failed };

struct fileContents {
  readStatus status = readStatus::missing;
  std::string bytes;
  // The file held more than the bytes read (head reads only).
  bool more = false;
  bool ok() const { return status == readStatus::ok; }
};

enum class linkRule { refuse, follow };

// Reads a whole regular file of at most `limit` bytes. A missing file is status
// missing without a line; a FIFO, device, directory, link (under linkRule::refuse) or a
// file larger than `limit` is refused with one line in the diagnostic log.
fileContents readFileLimited(const std::string& path, std::size_t limit,
                             linkRule links = linkRule::refuse);
// The file `name` inside `directory`, neither of them followed when a link: the
// directory is opened first and the file relative to it.
fileContents readFileIn(const std::string& directory, std::string_view name, std::size_t limit);
// The first `limit` bytes of a regular file inside `directory` (as readFileIn); a
// larger file is not refused, `more` tells that it goes on.
fileContents readFileHeadIn(const std::string& directory, std::string_view name, std::size_t limit);

// Reads the whole file, following links, at most defaultReadLimit bytes. nullopt when
// it is missing, not a regular file, too large or unreadable (errno tells why).
constexpr std::size_t defaultReadLimit = 64u << 20;
// Limits of the kinds of file: text configuration and list files, the registry store.
constexpr std::size_t textFileLimit = 16u << 20;
constexpr std::size_t registryFileLimit = 4u << 20;
std::optional<std::string> readFileBytes(const std::string& path);

// --- directories ---------------------------------------------------------------------

enum class entryType { file, directory, link, other };

struct directoryEntry {
  std::string name;
  entryType type = entryType::other;
};

// The entries of a directory in the order the file system gives them, without "." and
// "..", typed without following links; entries whose type cannot be learnt are
// skipped. nullopt (errno set) when the directory cannot be opened; a directory that is
// itself a link is opened only under linkRule::follow.
std::optional<std::vector<directoryEntry>> listDirectory(const std::string& directory,
                                                         linkRule links = linkRule::follow);

bool fileExists(const std::string& path);
// The last modification time of a file (links followed), or nullopt with errno set.
std::optional<std::chrono::system_clock::time_point> modificationTime(const std::string& path);
// Opens an existing file for writing and closes it again, to learn before a rewrite
// whether it can be written; 0 on success, else the errno of the failure.
int openForWritingError(const std::string& path);
bool isDirectory(const std::string& path);
// The path names a link (not followed).
bool isLink(const std::string& path);
// Creates the directory and its missing parents with `mode` (narrowed by the umask,
// never widened). True when it exists after.
bool makeDirectories(const std::string& path, mode_t mode = 0755);
enum class made { created, existed, failed };
// Creates one directory; tells whether this call created it (two racing callers never
// both see created). A link in its place is not an existing directory.
made makeDirectory(const std::string& path, mode_t mode = 0755);
// rename(); false with errno set.
bool renamePath(const std::string& from, const std::string& to);
// Renames without replacing an existing target (EEXIST then); false with errno set.
bool renameWithoutReplacing(const std::string& from, const std::string& to);
// Removes a file or a whole directory tree, never descending into a link (a link is
// removed itself); true when nothing is left.
bool removeTree(const std::string& path);
enum class removal { removed, absent, failed };
// Removes a file (never a directory); a failure other than "not there" is logged once.
removal removeFile(const std::string& path);
// Removes a file. True when it is gone or was never there; otherwise one line in the
// diagnostic log and false.
bool removeIfPresent(const std::string& path);

// --- writing -------------------------------------------------------------------------

struct writeOptions {
  // Permissions of a new file (narrowed by the umask); a replaced file keeps its own.
  mode_t newMode = 0644;
  // fsync the file before the rename and the directory after it.
  bool durable = true;
  // Keep the directory's access and modification times: a terminal directory's
  // modification time is the time the terminal was last seen.
  bool keepDirectoryTimes = true;
};

// A terminal sighting: repeated every minute, so neither synced nor time-preserving.
constexpr writeOptions sightingWrite{0644, false, false};

// Replaces (or creates) the file with exactly these bytes. False with errno set on
// failure; the old file is then untouched and no temporary file is left behind.
bool writeFileAtomically(const std::string& path, std::string_view bytes,
                         const writeOptions& options = {});

// A temporary sibling of `path` that replaces it on commit(). Used by writers that
// produce a file piece by piece. Destroying it without commit() removes the temporary.
class atomicFileWriter {
 public:
  atomicFileWriter() = default;
  ~atomicFileWriter();
  atomicFileWriter(const atomicFileWriter&) = delete;
  atomicFileWriter& operator=(const atomicFileWriter&) = delete;

  bool open(const std::string& path, const writeOptions& options = {});
  bool isOpen() const { return fd_ >= 0; }
  // Writes all bytes; false on a short or failed write.
  bool write(std::string_view bytes);
  // Renames the temporary over the target. False (and the temporary removed) on failure.
  bool commit();
  void discard();

 private:
  void restoreDirectoryTimes();

  int fd_ = -1;
  std::string path_;
  std::string temporary_;
  writeOptions options_;
  bool haveDirectoryTimes_ = false;
  struct timespec directoryTimes_[2] = {};
};

// True for the name of a writer's temporary file.
bool isTemporaryName(std::string_view name);
// Removes the temporaries in `directory` left by writers that are no longer running;
// the number removed.
int removeLeftoverTemporaries(const std::string& directory);

}  // namespace zv
