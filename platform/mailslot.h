#pragma once
// Mailslots: named message boxes through which processes of the server hand each
// other short datagrams (the single-instance exchange, the services' announcements).
//
// A mailslot "NAME" is an AF_UNIX datagram socket bound in the abstract namespace as
// "@zelvar/mailslot/NAME". Only one process can bind a name at a time, so creating
// fails while another process owns it, and the kernel frees the name as soon as the
// owner closes the socket or exits, even after a crash. Abstract names have no file
// and no permission bits: every user of the machine may write to any mailslot, which
// is what the console needs when several administrators share a server.
//
// A message is at most mailslotMessageLimit (128) bytes. Writers refuse longer ones;
// the reader drops a longer datagram that arrives anyway with a line in the diagnostic
// log and goes on waiting. Writing never blocks: a mailslot whose queue is full, or a
// name nobody owns, makes the write fail.
//
// The socket is close-on-exec: a program the console starts (the browser, a viewer)
// must not keep the name bound after the console ends.
//
// The prefix "zelvar/mailslot/" can be replaced for tests, so that parallel test runs
// and a console running on the same machine do not meet: the environment variable
// ZELVAR_MAILSLOTS (read once, at the first use) or setMailslotNamespace.
//
// Thread safety: a mailslot is read by one thread at a time; close() may be called
// from any thread once no read is in progress (the caller orders that). writeMailslot
// may be called from any thread.

#include <sys/socket.h>
#include <sys/un.h>
#include <atomic>
#include <chrono>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace zv {

constexpr std::size_t mailslotMessageLimit = 128;

// The abstract socket name of a mailslot, without the leading NUL.
std::string mailslotAddress(std::string_view name);
// Fills the abstract socket address of that name (any socket type of the console's name
// space uses it); the length to pass, or 0 when the name does not fit.
socklen_t abstractAddress(std::string_view name, sockaddr_un& address);
// Replaces the namespace prefix (tests); an empty prefix restores the default or
// ZELVAR_MAILSLOTS. Call it before other threads use mailslots.
void setMailslotNamespace(std::string prefix);

// A name is 1 to 64 characters of letters, digits, '_', '-' and '.'.
bool validMailslotName(std::string_view name);

class mailslot {
 public:
  enum class readResult { message, timedOut, failed };

  // Creates the mailslot. nullptr when another process owns the name (no log line:
  // that is an answer, not a fault) or when it cannot be made (logged).
  static std::unique_ptr<mailslot> create(std::string_view name);

  ~mailslot();
  mailslot(const mailslot&) = delete;
  mailslot& operator=(const mailslot&) = delete;

  // Waits up to `timeout` for one message within the limit and puts it in `message`.
  // Oversized datagrams are dropped (logged) and the wait goes on. `failed` after
  // close() or a socket error (logged).
  readResult read(std::string& message, std::chrono::milliseconds timeout);

  // Frees the name. Closing twice does nothing.
  void close();
  bool isOpen() const { return fd_.load() >= 0; }
  const std::string& name() const { return name_; }

 private:
  mailslot(std::string name, int fd) : name_(std::move(name)), fd_(fd) {}

  std::string name_;
  std::atomic<int> fd_;
};

// Writes one message to the mailslot `name`. False, with a line in the diagnostic
// log, when the message is longer than the limit, nobody owns the name, or the
// mailslot cannot take it now.
bool writeMailslot(std::string_view name, std::string_view bytes);

// True when some process owns the name.
bool mailslotExists(std::string_view name);

}  // namespace zv
