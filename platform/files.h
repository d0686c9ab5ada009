#pragma once
// Small file-system helpers shared by every module.
//
// Whole-file writes go through a temporary file in the same directory and rename(),
// so a reader (the boot services, a second console) sees either the old file or the
// new one, never half of it. Any thread; no shared state.

#include <optional>
#include <string>
#include <string_view>

namespace zv {

// Reads the whole file. nullopt when it cannot be opened or read (errno tells why).
std::optional<std::string> readFileBytes(const std::string& path);

// Replaces (or creates) the file with exactly these bytes. An existing file keeps its
// permission bits; a new one gets 0644. False with errno set on failure; the old file
// is then untouched and no temporary file is left behind.
bool writeFileAtomically(const std::string& path, std::string_view bytes);

// A temporary sibling of `path` that replaces it on commit(). Used by writers that
// produce a file piece by piece. Destroying it without commit() removes the temporary.
class atomicFileWriter {
 public:
  atomicFileWriter() = default;
  ~atomicFileWriter();
  atomicFileWriter(const atomicFileWriter&) = delete;
  atomicFileWriter& operator=(const atomicFileWriter&) = delete;

  bool open(const std::string& path);
  bool isOpen() const { return fd_ >= 0; }
  // Writes all bytes; false on a short or failed write.
  bool write(std::string_view bytes);
  // Renames the temporary over the target. False (and the temporary removed) on failure.
  bool commit();
  void discard();

 private:
  int fd_ = -1;
  std::string path_;
  std::string temporary_;
};

bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);
// Creates the directory and its missing parents (mode 0755). True when it exists after.
bool makeDirectories(const std::string& path);
// Removes a file or a whole directory tree; true when nothing is left.
bool removeTree(const std::string& path);

}  // namespace zv
