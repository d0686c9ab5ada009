#include "testsupport/testSupport.h"

#include "platform/diagnostics.h"
#include "platform/eventLoop.h"
#include "platform/files.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace zv::test {

tempDir::tempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/zvtest.XXXXXX";
  char* made = ::mkdtemp(pattern.data());
  if (!made) std::abort();
  path_ = std::string(made) + "/";
}

tempDir::~tempDir() {
  std::error_code error;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, error);
  std::filesystem::remove_all(path_, error);
}

std::string readFile(const std::string& path) {
  return readFileBytes(path).value_or("");
}

void writeFile(const std::string& path, std::string_view bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  ASSERT_TRUE(writeFileAtomically(path, bytes)) << path;
}

bool exists(const std::string& path) {
  return fileExists(path);
}

logCapture::logCapture() : previous_(logDirectory()) {
  setLogDirectory(dir_.path());
}
logCapture::~logCapture() {
  setLogDirectory(previous_);
}
std::string logCapture::text() const {
  return readFile(dir_ / "zvc.log");
}
bool logCapture::contains(std::string_view fragment) const {
  return text().find(fragment) != std::string::npos;
}
void logCapture::clear() const {
  std::filesystem::remove(dir_ / "zvc.log");
}

loopWatchdog::loopWatchdog(eventLoop& loop, std::chrono::seconds patience)
    : thread_([this, &loop, patience] {
        std::unique_lock lock(mutex_);
        if (!done_.wait_for(lock, patience, [this] { return finished_; })) {
          ADD_FAILURE() << "the test waited too long; its loops are ended";
          loop.quit(99);
        }
      }) {}

loopWatchdog::~loopWatchdog() {
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  done_.notify_all();
  thread_.join();
}

std::string hexBytes(std::string_view hex) {
  std::string out;
  int high = -1;
  for (char c : hex) {
    int v = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : -1;
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(char(high * 16 + v));
      high = -1;
    }
  }
  return out;
}

std::string utf16le(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    out.push_back(char(c & 0xFF));
    out.push_back(char(c >> 8));
  }
  return out;
}

double residentBytes() {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return double(resident) * double(::sysconf(_SC_PAGESIZE));
}

}  // namespace zv::test
