#pragma once
// The running console's control socket: how zvctl asks the console for what only it
// has (a fresh launch address).
//
// The socket is an AF_UNIX stream socket in the abstract namespace, named like a
// mailslot (platform/mailslot.h: the same prefix, so ZELVAR_MAILSLOTS keeps tests
// apart). Abstract names have no permission bits, so the server checks every peer with
// SO_PEERCRED and serves only root and its own effective uid; anyone else is closed
// without an answer. An exchange is one request line and one answer line, each at
// most controlLineLimit bytes; a peer that sends nothing within controlTimeout is
// closed. Requests are served one at a time on the server's own thread.
//
// Thread safety: the handler runs on the server's thread; the destructor stops and
// joins it. controlRequest may be called from any thread.

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace zv {

// The name the running console serves; zvctl asks it there.
constexpr const char* consoleControlName = "ZVCControl";
constexpr std::size_t controlLineLimit = 4096;
constexpr std::chrono::milliseconds controlTimeout{2000};

class controlServer {
 public:
  // Answers one request line (without its newline) with one answer line.
  using handler = std::function<std::string(const std::string& request)>;

  // Starts serving `name`; while another process holds the name (a console that is
  // ending), it tries again every second.
  controlServer(std::string name, handler answer);
  ~controlServer();
  controlServer(const controlServer&) = delete;
  controlServer& operator=(const controlServer&) = delete;

  // True once the name is bound (tests wait for it).
  bool listening() const { return listening_; }

 private:
  void run();
  void serve(int fd);

  std::string name_;
  handler answer_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> listening_{false};
  std::thread thread_;  // last: starts when the rest is ready
};

// Sends one request to the control socket `name` and returns the answer line; nullopt
// when nobody listens, the peer refused or no answer came within `timeout`.
std::optional<std::string> controlRequest(std::string_view name, std::string_view request,
                                          std::chrono::milliseconds timeout = controlTimeout);

}  // namespace zv
