#pragma once
// The one advisory lock on the terminal register, shared by the console and zvctl.
//
// The register on disk is one directory per terminal; adding, hiding and removing a
// terminal each first check the register (is this MAC, address or host already there?
// is the terminal still there?) and then write. Two programs doing that at once would
// both pass the check and mix their files. Every such writer holds this lock across the
// check and the write: an flock() on the file "register.lock" in the installation's data
// directory. Readers take no lock.
//
// A process may take the lock again while it holds it (zvctl holds it for a whole
// command, the register code takes it for each write); it is released when the last
// holder goes. The lock belongs to the process: any thread, but one holder per thread.

#include <chrono>
#include <string>

namespace zv {

constexpr const char* registerLockFileName = "register.lock";
// How long a writer waits for another program to finish before it gives up.
constexpr std::chrono::milliseconds registerLockPatience{5000};

class registerLock {
 public:
  registerLock() = default;
  ~registerLock() { release(); }
  registerLock(const registerLock&) = delete;
  registerLock& operator=(const registerLock&) = delete;

  // Takes the lock on `dataDir` + "register.lock" (the file is made when missing),
  // waiting up to `patience` while another process holds it. False when it stays held
  // (errno EWOULDBLOCK) or the lock file cannot be opened; the reason is logged.
  bool take(const std::string& dataDir, std::chrono::milliseconds patience = registerLockPatience);
  bool held() const { return held_; }
  void release();

 private:
  bool held_ = false;
};

}  // namespace zv
