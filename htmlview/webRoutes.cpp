#include "htmlview/webRoutes.h"

#include "htmlview/clientFiles.h"
#include "platform/diagnostics.h"
#include "platform/textConv.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace zv {
namespace {

constexpr std::size_t tokenBytes = 32;
// Skin files are images, style sheets and fonts; anything larger is not one of them.
constexpr off_t maxServedFile = 64 * 1024 * 1024;

struct contentTypeRow {
  const char* extension;
  const char* type;
};

constexpr contentTypeRow contentTypes[] = {
    {"html", "text/html; charset=utf-8"},
    {"htm", "text/html; charset=utf-8"},
    {"css", "text/css; charset=utf-8"},
    {"js", "text/javascript; charset=utf-8"},
    {"json", "application/json"},
    {"txt", "text/plain; charset=utf-8"},
    {"png", "image/png"},
    {"gif", "image/gif"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"svg", "image/svg+xml"},
    {"ico", "image/x-icon"},
    {"bmp", "image/bmp"},
    {"webp", "image/webp"},
    {"ttf", "font/ttf"},
    {"otf", "font/otf"},
    {"woff", "font/woff"},
    {"woff2", "font/woff2"},
};

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> percentDecode(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      out += char(hi * 16 + lo);
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

std::string lowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return out;
}

bool isLoopbackAddress(std::string_view address) {
  return address.starts_with("127.") || address == "::1";
}

std::string_view pathOf(std::string_view target) {
  return target.substr(0, target.find('?'));
}

webReply textReply(int status, std::string text) {
  webReply r;
  r.status = status;
  r.contentType = "text/plain; charset=utf-8";
  r.body = std::move(text);
  return r;
}

webReply notFound() {
  return textReply(404, "Not found\n");
}

// Reads a regular file whole; nullopt when it is missing, not a regular file or too big.
std::optional<std::string> readServedFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT && errno != ENOTDIR)
      ZV_REPORT("%s", errnoText(("web host: open " + path).c_str(), errno).c_str());
    return std::nullopt;
  }
  struct stat st {};
  std::optional<std::string> result;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxServedFile) {
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    result = std::move(bytes);
  }
  ::close(fd);
  return result;
}

}  // namespace

std::string makeAccessToken() {
  unsigned char bytes[tokenBytes];
  std::size_t done = 0;
  while (done < tokenBytes) {
    ssize_t n = ::getrandom(bytes + done, tokenBytes - done, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ZV_REPORT("%s", errnoText("web host: getrandom", errno).c_str());
      return {};
    }
    done += static_cast<std::size_t>(n);
  }
  static constexpr char digits[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token += digits[b >> 4];
    token += digits[b & 15];
  }
  return token;
}

bool sameToken(std::string_view a, std::string_view b) {
  if (a.size() != b.size() || a.empty()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

std::optional<std::string> queryParameter(std::string_view target, std::string_view name) {
  std::size_t q = target.find('?');
  if (q == std::string_view::npos) return std::nullopt;
  std::string_view query = target.substr(q + 1);
  while (!query.empty()) {
    std::size_t amp = query.find('&');
    std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    std::size_t eq = pair.find('=');
    auto key = percentDecode(pair.substr(0, eq), true);
    if (!key || *key != name) continue;
    if (eq == std::string_view::npos) return std::string();
    return percentDecode(pair.substr(eq + 1), true);
  }
  return std::nullopt;
}

std::optional<std::string> safeRelativePath(std::string_view encodedPath) {
  std::string lowered = lowerAscii(encodedPath);
  if (lowered.find("%2f") != std::string::npos || lowered.find("%5c") != std::string::npos)
    return std::nullopt;
  auto path = percentDecode(encodedPath, false);
  if (!path || path->empty() || path->front() == '/') return std::nullopt;
  for (char c : *path)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '\\') return std::nullopt;
  std::string_view rest = *path;
  while (true) {
    std::size_t slash = rest.find('/');
    std::string_view segment = rest.substr(0, slash);
    if (segment.empty() || segment.front() == '.') return std::nullopt;
    if (slash == std::string_view::npos) break;
    rest = rest.substr(slash + 1);
  }
  return path;
}

std::string_view contentTypeFor(std::string_view fileName) {
  std::size_t slash = fileName.rfind('/');
  std::size_t dot = fileName.rfind('.');
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
    std::string_view extension = fileName.substr(dot + 1);
    for (const auto& row : contentTypes)
      if (equalsNoCase(extension, row.extension)) return row.type;
  }
  return "application/octet-stream";
}

webRoutes::webRoutes(webRoutesConfig config) : config_(std::move(config)) {
  std::string port = std::to_string(config_.port);
  std::string address = lowerAscii(config_.address);
  bool v6 = address.find(':') != std::string::npos;
  hosts_.push_back((v6 ? "[" + address + "]" : address) + ":" + port);
  if (isLoopbackAddress(address)) hosts_.push_back("localhost:" + port);
  for (const auto& host : hosts_) origins_.push_back("http://" + host);
}

std::string webRoutes::pageUrl() const {
  return "http://" + hosts_.front() + "/?token=" + config_.token;
}

bool webRoutes::hostAllowed(std::string_view hostHeader) const {
  std::string host = lowerAscii(hostHeader);
  for (const auto& allowed : hosts_)
    if (host == allowed) return true;
  return false;
}

bool webRoutes::originAllowed(std::string_view origin) const {
  std::string lowered = lowerAscii(origin);
  for (const auto& allowed : origins_)
    if (lowered == allowed) return true;
  return false;
}

std::string webRoutes::refuseUpgrade(std::string_view target, std::string_view host,
                                     std::string_view origin) const {
  if (pathOf(target) != "/ws") return "not the WebSocket path";
  if (!hostAllowed(host)) return "foreign Host header";
  if (!originAllowed(origin)) return "foreign or missing Origin";
  auto token = queryParameter(target, "token");
  if (!token || !sameToken(*token, config_.token)) return "wrong or missing token";
  return {};
}

webReply webRoutes::answer(std::string_view method, std::string_view target,
                           std::string_view host) const {
  if (method != "GET") {
    webReply r = textReply(405, "Method not allowed\n");
    r.headers.emplace_back("Allow", "GET");
    return r;
  }
  if (!hostAllowed(host)) return textReply(403, "Forbidden\n");
  std::string_view path = pathOf(target);
  if (path == "/") {
    auto token = queryParameter(target, "token");
    if (!token || !sameToken(*token, config_.token))
      return textReply(403,
                       "Откройте адрес, который показала консоль, вместе с параметром token.\n");
    webReply r = clientFileReply("index.html");
    std::string ws;
    for (const auto& h : hosts_) ws += " ws://" + h;
    r.headers.emplace_back("Content-Security-Policy",
                           "default-src 'self'; script-src 'self'; style-src 'self' "
                           "'unsafe-inline'; img-src 'self' data:; font-src 'self' data:; "
                           "connect-src 'self'" +
                               ws +
                               "; object-src 'none'; base-uri 'none'; form-action 'none'; "
                               "frame-ancestors 'none'");
    r.headers.emplace_back("X-Frame-Options", "DENY");
    return r;
  }
  // The client's script modules and style sheet; the page itself only with the token.
  if (path.size() > 1 && path != "/index.html" && !clientFile(path.substr(1)).empty())
    return clientFileReply(path.substr(1));
  if (path.starts_with("/skin/") && !config_.skinDirectory.empty())
    return fileReply(config_.skinDirectory, path.substr(6));
  if (path.starts_with("/docs/fonts/") && !config_.docsDirectory.empty())
    return fileReply(config_.docsDirectory + "fonts/", path.substr(12));
  return notFound();
}

webReply webRoutes::clientFileReply(std::string_view name) const {
  webReply r;
  r.contentType = std::string(contentTypeFor(name));
  if (config_.clientDirectory.empty()) {
    r.body = std::string(clientFile(name));
  } else {
    auto bytes = readServedFile(config_.clientDirectory + std::string(name));
    if (!bytes) return notFound();
    r.body = std::move(*bytes);
  }
  r.headers.emplace_back("Cache-Control", "no-store");
  return r;
}

webReply webRoutes::fileReply(const std::string& directory, std::string_view encodedPath) const {
  auto relative = safeRelativePath(encodedPath);
  if (!relative) return notFound();
  auto bytes = readServedFile(directory + *relative);
  if (!bytes) return notFound();
  webReply r;
  r.contentType = std::string(contentTypeFor(*relative));
  r.body = std::move(*bytes);
  r.headers.emplace_back("Cache-Control", "no-cache");
  return r;
}

}  // namespace zv
