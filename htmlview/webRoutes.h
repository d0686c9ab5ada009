#pragma once
// What the browser host answers, without the transport: the access checks of the
// WebSocket upgrade, the HTTP routes (client page, script, style sheet, skin files,
// documentation fonts), safe file paths and content types. webHost calls these from its
// I/O thread; they are separate so that the rules can be tested without sockets.
//
// Access rules:
// - Every request must name the host the console is bound to in its Host header
//   ("127.0.0.1:PORT", or "localhost:PORT" when bound to a loopback address). A page of
//   another site that rebinds its own name to 127.0.0.1 therefore reads nothing.
// - The page ("/") is served only with the right token. The script, its style sheet,
//   the skin and the documentation fonts are installation data and are served without
//   it: they hold nothing that the token protects.
// - The WebSocket ("/ws") needs the token, the Host above and an Origin of the page
//   ("http://127.0.0.1:PORT" or "http://localhost:PORT"); otherwise 403, no upgrade.
//
// Thread safety: all functions are pure or read only their arguments; webRoutes is
// immutable once built.

#include <cstdint>
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

struct webReply {
  int status = 200;
  std::string contentType;
  std::string body;
  // Extra headers beyond Content-Type and Content-Length.
  std::vector<std::pair<std::string, std::string>> headers;
};

struct webRoutesConfig {
  std::string address;  // the bound address as text ("127.0.0.1", "::1")
  std::uint16_t port = 0;
  std::string token;
  std::string skinDirectory;    // ends with '/'; empty: no skin served
  std::string docsDirectory;    // ends with '/'; fonts are in its "fonts/"
  std::string clientDirectory;  // ends with '/'; empty: the compiled-in client files
};

class webRoutes {
 public:
  explicit webRoutes(webRoutesConfig config);

  const webRoutesConfig& config() const { return config_; }
  // "http://127.0.0.1:PORT/?token=TOKEN"
  std::string pageUrl() const;

  bool hostAllowed(std::string_view hostHeader) const;
  bool originAllowed(std::string_view origin) const;

  // Why a WebSocket upgrade is refused, or empty when it is allowed.
  std::string refuseUpgrade(std::string_view target, std::string_view host,
                            std::string_view origin) const;

  // The answer to an HTTP request other than the WebSocket upgrade. Only GET is
  // served; other methods get 405.
  webReply answer(std::string_view method, std::string_view target, std::string_view host) const;

 private:
  webReply clientFileReply(std::string_view name) const;
  webReply fileReply(const std::string& directory, std::string_view encodedPath) const;

  webRoutesConfig config_;
  std::vector<std::string> hosts_;    // allowed Host header values
  std::vector<std::string> origins_;  // allowed Origin header values
};

}  // namespace zv
