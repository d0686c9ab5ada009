#pragma once
// The browser host: a small HTTP and WebSocket server on a loopback address that
// serves the client page (with its script and style sheet), the skin files and the
// documentation fonts, and carries the wire protocol (htmlview/wire.md) between the
// console and one browser client.
//
// The host knows nothing of documents. The console implements hostSink: it is told
// when a client attaches (and then sends every open window), when it detaches, and
// receives each client frame that passed the checks of clientFrames.h. It sends
// frames with send(). Access rules and routes are in webRoutes.h; docs/security.md
// gives the whole arrangement and the limits below.
//
// One client controls the console at a time. A second WebSocket gets {"t":"inUse"} and
// is closed; when the controlling client goes, the next one to connect takes over.
// When the host is destroyed (the console ends) it closes the controlling client's
// WebSocket with endedCloseCode and endedCloseReason, waiting a moment for the answer, so
// that the page tells the console ended instead of trying to connect again.
//
// Threads: start() starts the host's own I/O thread. All hostSink callbacks run on that
// thread, one at a time; the console hands them to its user-interface thread through
// its event loop and must not block in them for long. send() may be called from any
// thread: the frame is queued to the I/O thread and goes to the client that controls
// the console when it is written (a frame sent while no client is attached is dropped).
// The destructor stops the thread; it must not race with send() or start() of other
// threads.

#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zv {

class hostSink {
 public:
  virtual ~hostSink() = default;
  // A client took control; the console sends it every open window.
  virtual void onClientAttached() = 0;
  // The controlling client went away (tab closed, connection lost).
  virtual void onClientDetached() = 0;
  // One checked frame of the controlling client.
  virtual void onMessage(const nlohmann::json& frame) = 0;
  // Frames handed over by onMessage and not yet handled (any thread). While more than
  // maxQueuedFrames wait, the host stops reading the client's WebSocket.
  virtual std::size_t queuedFrames() const { return 0; }
};

// Limits of the host (docs/security.md).
constexpr std::size_t maxHostConnections = 256;
constexpr std::size_t maxQueuedFrames = 64;

// How the WebSocket of the controlling client closes when the console ends: "going
// away", with a reason that tells it from a browser or proxy going away.
constexpr std::uint16_t endedCloseCode = 1001;
constexpr const char* endedCloseReason = "ended";

struct webHostConfig {
  // Only loopback addresses are accepted (127.0.0.0/8, ::1).
  std::string address = "127.0.0.1";
  // 0 lets the system choose (tests); the console passes its own.
  std::uint16_t port = 0;
  // Served at /skin/ and /docs/fonts/; each ends with '/'. Empty: not served.
  std::string skinDirectory;
  std::string docsDirectory;
  // Serves index.html, client.js and client.css from this directory instead of the
  // copies compiled into the program (for working on the client). Ends with '/'.
  std::string clientDirectory;
  // A connection that sends no complete request header within this time is closed;
  // so is one whose reply does not go out within writeTimeout.
  std::chrono::milliseconds idleTimeout{5000};
  std::chrono::milliseconds writeTimeout{30000};
};

class webHost {
 public:
  // The sink must outlive the host.
  webHost(webHostConfig config, hostSink& sink);
  ~webHost();
  webHost(const webHost&) = delete;
  webHost& operator=(const webHost&) = delete;

  // Binds, listens and starts the I/O thread. False, with a line in the diagnostic log,
  // when the address is not loopback or cannot be bound.
  bool start();

  // Valid after a successful start().
  std::uint16_t port() const;
  // A fresh one-time address "http://127.0.0.1:PORT/?token=SECRET" (webRoutes.h): each
  // call makes a new launch secret; with `onlyFor` it opens only from that uid's
  // connections. Empty before start() or without random bytes. Any thread.
  std::string launchUrl(std::optional<uid_t> onlyFor = std::nullopt);

  // True while a client controls the console.
  bool clientAttached() const;

  // Queues one text frame for the controlling client.
  void send(std::string frame);
  void send(const char* frame) { send(std::string(frame)); }
  void send(const nlohmann::json& frame);

 private:
  struct impl;
  std::unique_ptr<impl> impl_;
};

}  // namespace zv
