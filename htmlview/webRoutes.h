#pragma once
// What the browser host answers, without the transport: who may reach the console
// (launch secrets, session cookies, Host and Origin), the HTTP routes (client page,
// script, style sheet, skin files, documentation fonts), safe file paths and content
// types. webHost calls these from its I/O thread; they are separate so that the rules
// can be tested without sockets. docs/security.md describes the whole arrangement.
//
// Access rules:
// - Every request must carry exactly one Host header naming a loopback name
//   ("127.0.0.1", "localhost", "[::1]", or the bound loopback address) with any port or
//   none: an SSH forward from another local port still works, while a page of another
//   site that rebinds its own name to 127.0.0.1 reads nothing.
// - A launch secret ("/?token=SECRET") opens the console once: the first request that
//   presents it gets a session cookie and a redirect to "/"; the secret is then void.
//   Secrets expire after launchSecretLifetime unused. A secret made for the browser the
//   console starts is bound to that browser's uid: it is accepted only on a connection
//   whose client socket belongs to that uid, so another local user who reads it from
//   the process table cannot use it.
// - The page ("/") and the WebSocket ("/ws") need a valid session cookie. The WebSocket
//   also needs exactly one Origin, the page's own: "http://" + the Host header.
// - The script, its style sheet, the skin and the documentation fonts are installation
//   data and are served without a cookie: they hold nothing the cookie protects.
//
// Thread safety: consoleAccess is locked inside and may be used from any thread;
// webRoutes only reads its configuration and calls consoleAccess.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zv {

// A random token of 64 hexadecimal digits (32 bytes from getrandom). Empty, with a
// line in the diagnostic log, when the kernel gives no random bytes.
std::string makeAccessToken();

// Compares in time that does not depend on where the texts differ.
bool sameToken(std::string_view a, std::string_view b);

// The value of one query parameter of a request target ("/ws?token=abc" → "abc"),
// percent-decoded; nullopt when absent or badly encoded.
std::optional<std::string> queryParameter(std::string_view target, std::string_view name);

// Decodes an URL path below a served directory ("img/a%20b.png") into a relative file
// path. Refuses (nullopt) what could leave the directory or name something odd: an
// absolute path, empty, "." or ".." segments, names starting with '.', backslashes,
// NUL or control characters, encoded slashes, bad percent escapes.
std::optional<std::string> safeRelativePath(std::string_view encodedPath);

// The Content-Type for a file name by its extension (letter case ignored);
// "application/octet-stream" for an unknown one.
std::string_view contentTypeFor(std::string_view fileName);

// The session cookie's name and the attributes it is set with.
constexpr const char* sessionCookieName = "zvsession";
constexpr const char* sessionCookieAttributes = "; Path=/; HttpOnly; SameSite=Strict";

// How long an unused launch secret stays valid, how many may wait at once (the oldest
// goes first) and how many sessions live at once (likewise).
constexpr std::chrono::minutes launchSecretLifetime{10};
constexpr std::size_t maxLaunchSecrets = 16;
constexpr std::size_t maxSessions = 16;

// Launch secrets and sessions of one console run.
class consoleAccess {
 public:
  using clock = std::chrono::steady_clock;
  using uidLookup = std::function<std::optional<uid_t>()>;

  // A new launch secret (64 hexadecimal digits); with `onlyFor`, usable only from a
  // connection of that uid. Empty when the kernel gives no random bytes.
  std::string newLaunchSecret(std::optional<uid_t> onlyFor = std::nullopt);
  // Exchanges an unused launch secret for a new session id; the secret is void
  // afterwards. nullopt for an unknown, used or expired secret, and for a bound one
  // presented from another uid (`peerUid` is asked only then; that secret stays valid
  // for its own user).
  std::optional<std::string> redeem(std::string_view secret, const uidLookup& peerUid);
  bool validSession(std::string_view id) const;

  // Tests move time on.
  void setClock(std::function<clock::time_point()> now) { now_ = std::move(now); }

 private:
  struct pendingSecret {
    std::string secret;
    std::optional<uid_t> onlyFor;
    clock::time_point expires;
  };
  mutable std::mutex mutex_;
  std::vector<pendingSecret> secrets_;
  std::vector<std::string> sessions_;
  std::function<clock::time_point()> now_ = [] { return clock::now(); };
};

// The session ids named "zvsession" in a Cookie header's value.
std::vector<std::string> sessionCookies(std::string_view cookieHeader);

// The uid owning the client end of a loopback TCP connection, from the kernel's socket
// tables (/proc/net/tcp, /proc/net/tcp6). Addresses are numeric text; nullopt when the
// connection is not found.
std::optional<uid_t> tcpClientOwner(const std::string& clientAddress, std::uint16_t clientPort,
                                    const std::string& serverAddress, std::uint16_t serverPort);

// A regular file inside `directory`, opened for reading without following any link
// below the directory (each segment opened with O_NOFOLLOW) and without blocking on a
// FIFO: its descriptor, or -1 when there is none, it is not a regular file or it is
// larger than `maxBytes`.
int openFileBeneath(const std::string& directory, const std::string& relative,
                    std::uint64_t maxBytes);
// The same, read whole.
std::optional<std::string> readFileBeneath(const std::string& directory,
                                           const std::string& relative);

// An open file the reply streams from; closed when the reply goes.
class servedFile {
 public:
  servedFile() = default;
  explicit servedFile(int fd);
  ~servedFile();
  servedFile(servedFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  servedFile& operator=(servedFile&& other) noexcept;
  int fd() const { return fd_; }
  // Hands the descriptor over; the caller closes it.
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

struct webReply {
  int status = 200;
  std::string contentType;
  // The body is one of: `body`, the compiled-in bytes `staticBody`, or `file`.
  std::string body;
  std::string_view staticBody;
  servedFile file;
  // Extra headers beyond Content-Type and Content-Length.
  std::vector<std::pair<std::string, std::string>> headers;
  // The request carried a valid session cookie or launch secret.
  bool trusted = false;

  // The body's bytes, whichever form it has (tests, small replies).
  std::string bodyText() const;
};

// One request as the routes see it.
struct webRequest {
  std::string_view method = "GET";
  std::string_view target;
  std::string_view host;
  int hostCount = 1;  // Host headers in the request
  std::string_view origin;
  int originCount = 0;
  std::string_view cookie;  // the Cookie headers, joined with "; "
  consoleAccess::uidLookup peerUid;
};

struct webRoutesConfig {
  std::string address;  // the bound address as text ("127.0.0.1", "::1")
  std::uint16_t port = 0;
  std::string skinDirectory;    // ends with '/'; empty: no skin served
  std::string docsDirectory;    // ends with '/'; fonts are in its "fonts/"
  std::string clientDirectory;  // ends with '/'; empty: the compiled-in client files
};

class webRoutes {
 public:
  // `access` must outlive the routes.
  webRoutes(webRoutesConfig config, consoleAccess& access);

  const webRoutesConfig& config() const { return config_; }
  // "http://127.0.0.1:PORT/?token=SECRET"
  std::string pageUrl(std::string_view secret) const;

  // A loopback name with any port, or none ("127.0.0.1:2222", "localhost", "[::1]:80").
  bool hostAllowed(std::string_view hostHeader) const;
  // The page's own origin for that Host header.
  bool originAllowed(std::string_view origin, std::string_view hostHeader) const;

  // Why a WebSocket upgrade is refused, or empty when it is allowed.
  std::string refuseUpgrade(const webRequest& request) const;

  // The answer to an HTTP request other than the WebSocket upgrade. Only GET is
  // served; other methods get 405.
  webReply answer(const webRequest& request) const;

 private:
  webReply clientFileReply(std::string_view name) const;
  webReply fileReply(const std::string& directory, std::string_view encodedPath) const;
  bool hasSession(std::string_view cookie) const;

  webRoutesConfig config_;
  consoleAccess& access_;
  std::string canonicalHost_;  // "127.0.0.1:PORT" or "[::1]:PORT"
};

}  // namespace zv
