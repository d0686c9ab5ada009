#pragma once
// byteStream: one owned file descriptor over a file with whole writes and formatted
// writes; and the whole-file writers the formats use. Sockets are platform/sockets.h.
//
// A stream owns its handle: attaching a new handle closes the old one, destruction
// closes it. Streams move but never copy. A stream has no lock and is used by the one
// thread that made it. Failures are never thrown: operations return false or -1 and
// write a line to the diagnostic log. Reading, writing, sending and receiving with no
// handle open fail without a line.

#include "platform/files.h"
#include "platform/sockets.h"

#include <string>
#include <string_view>

namespace zv {

class byteStream {
 public:
  byteStream() = default;
  ~byteStream();
  byteStream(byteStream&& other) noexcept;
  byteStream& operator=(byteStream&& other) noexcept;
  byteStream(const byteStream&) = delete;
  byteStream& operator=(const byteStream&) = delete;

  int handle() const { return fd_; }
  bool isOpen() const { return fd_ >= 0; }
  // Takes ownership of fd, closing the handle held before.
  void attach(int fd);
  // Gives up ownership without closing.
  int release();

  // --- file side ---------------------------------------------------------------
  // Read-only, byte mode. False and an internal-error report on failure.
  bool openRead(const std::string& path);
  // Write-only, created (0644) and truncated, or appended to. On failure false, with
  // an internal-error report unless quiet.
  bool openWrite(const std::string& path, bool append = false, bool quiet = false);
  // directory + "/" + name (no second '/' when the directory ends with one), cut to
  // 1024 bytes at a character boundary, opened as openWrite (truncating); a failed
  // open is retried every 30 ms, eleven attempts in all, then an internal-error report.
  bool openWriteRetry(const std::string& directory, const std::string& name);
  // Bytes read, 0 at end, -1 when nothing is open or the read failed.
  long read(void* buffer, std::size_t size);
  // Writes until all bytes are written; false as soon as one write writes nothing.
  bool writeAll(const void* bytes, std::size_t length);
  bool writeAll(std::string_view bytes) { return writeAll(bytes.data(), bytes.size()); }
  // Formats into a 10240-byte buffer and writes it whole. The formatted length, or -1
  // (an internal error) when the text is empty, does not fit or a write fails.
  long printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // True when nothing was open or the close succeeded.
  bool close();

 private:
  int fd_ = -1;
};

// Whole-file writers: each replaces the file in one go (temporary file and rename).
// False (with an internal-error report) on failure.
bool writeBytesFile(const std::string& path, std::string_view bytes,
                    const writeOptions& options = {});
// At most 255 bytes of formatted text.
bool writeFormattedFile(const std::string& path, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// FF FE, then the UTF-16LE code units.
bool writeUtf16File(const std::string& path, std::u16string_view text,
                    const writeOptions& options = {});

}  // namespace zv
