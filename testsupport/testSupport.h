#pragma once
// Helpers for unit tests: a temporary directory that removes itself, whole-file
// reads and writes, and a diagnostic log pointed at a private directory.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace zv {
class eventLoop;
}

namespace zv::test {

class tempDir {
 public:
  tempDir();
  ~tempDir();
  tempDir(const tempDir&) = delete;
  tempDir& operator=(const tempDir&) = delete;
  // The directory, ending with '/'.
  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + std::string(name); }

 private:
  std::string path_;
};

// Reads a file whole; empty when missing.
std::string readFile(const std::string& path);
// Writes bytes to a file (creating parents); aborts the test on failure.
void writeFile(const std::string& path, std::string_view bytes);
bool exists(const std::string& path);

// Points the diagnostic log at its own temporary directory for the test's lifetime.
class logCapture {
 public:
  logCapture();
  ~logCapture();
  std::string text() const;
  bool contains(std::string_view fragment) const;
  void clear() const;

 private:
  tempDir dir_;
  std::string previous_;
};

// Ends every loop of an event loop that still runs after `patience` (the test fails):
// a test that waits for input that never comes fails instead of hanging.
class loopWatchdog {
 public:
  explicit loopWatchdog(eventLoop& loop, std::chrono::seconds patience = std::chrono::seconds(20));
  ~loopWatchdog();
  loopWatchdog(const loopWatchdog&) = delete;
  loopWatchdog& operator=(const loopWatchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;
};

// Turns "41 0D 0A" into the bytes it names.
std::string hexBytes(std::string_view hex);
// UTF-16LE bytes of a UTF-16 string (no mark).
std::string utf16le(std::u16string_view text);
// The resident memory of this process in bytes (0 when it cannot be read).
double residentBytes();

}  // namespace zv::test
