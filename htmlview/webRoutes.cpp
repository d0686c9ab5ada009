#include "htmlview/webRoutes.h"

#include "htmlview/clientFiles.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

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

// The loopback names a Host header may carry besides the bound address.
constexpr std::string_view loopbackNames[] = {"127.0.0.1", "localhost", "[::1]"};

// "NAME" or "NAME:PORT" with PORT 1 to 65535 in decimal: NAME, else empty.
std::string_view hostName(std::string_view host) {
  std::size_t colon = host.rfind(':');
  if (colon == std::string_view::npos || (host.front() == '[' && colon < host.find(']')))
    return host;
  std::string_view port = host.substr(colon + 1);
  if (port.empty() || port.size() > 5) return {};
  unsigned value = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return {};
    value = value * 10 + unsigned(c - '0');
  }
  if (value == 0 || value > 65535) return {};
  return host.substr(0, colon);
}

const char* sessionFirst =
    "Откройте адрес, который показала консоль. Новый адрес даёт команда «zvctl console url» на "
    "сервере.\n";
const char* secretUsed =
    "Этот адрес уже использован или устарел. Новый адрес даёт команда «zvctl console url» на "
    "сервере.\n";

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

std::string consoleAccess::newLaunchSecret(std::optional<uid_t> onlyFor) {
  std::string secret = makeAccessToken();
  if (secret.empty()) return secret;
  std::lock_guard lock(mutex_);
  clock::time_point now = now_();
  std::erase_if(secrets_, [&](const pendingSecret& p) { return p.expires <= now; });
  if (secrets_.size() >= maxLaunchSecrets) secrets_.erase(secrets_.begin());
  secrets_.push_back({secret, onlyFor, now + launchSecretLifetime});
  return secret;
}

std::optional<std::string> consoleAccess::redeem(std::string_view secret,
                                                 const uidLookup& peerUid) {
  std::unique_lock lock(mutex_);
  clock::time_point now = now_();
  std::erase_if(secrets_, [&](const pendingSecret& p) { return p.expires <= now; });
  auto it = std::find_if(secrets_.begin(), secrets_.end(),
                         [&](const pendingSecret& p) { return sameToken(p.secret, secret); });
  if (it == secrets_.end()) return std::nullopt;
  if (it->onlyFor) {
    std::optional<uid_t> uid = peerUid ? peerUid() : std::nullopt;
    if (uid != it->onlyFor) {
      logMessage("web host: a launch secret of uid %u was presented from %s",
                 unsigned(*it->onlyFor),
                 uid ? ("uid " + std::to_string(*uid)).c_str() : "an unknown uid");
      return std::nullopt;
    }
  }
  secrets_.erase(it);
  std::string session = makeAccessToken();
  if (session.empty()) return std::nullopt;
  if (sessions_.size() >= maxSessions) sessions_.erase(sessions_.begin());
  sessions_.push_back(session);
  return session;
}

bool consoleAccess::validSession(std::string_view id) const {
  std::lock_guard lock(mutex_);
  bool found = false;
  for (const std::string& s : sessions_) found = sameToken(s, id) || found;
  return found;
}

std::vector<std::string> sessionCookies(std::string_view header) {
  std::vector<std::string> ids;
  while (!header.empty()) {
    std::size_t semicolon = header.find(';');
    std::string_view pair = header.substr(0, semicolon);
    header =
        semicolon == std::string_view::npos ? std::string_view() : header.substr(semicolon + 1);
    while (!pair.empty() && (pair.front() == ' ' || pair.front() == '\t')) pair.remove_prefix(1);
    while (!pair.empty() && (pair.back() == ' ' || pair.back() == '\t')) pair.remove_suffix(1);
    std::size_t eq = pair.find('=');
    if (eq != std::string_view::npos && pair.substr(0, eq) == sessionCookieName)
      ids.emplace_back(pair.substr(eq + 1));
  }
  return ids;
}

namespace {

// The address and port of a /proc/net/tcp{,6} column ("0100007F:1F90") as raw bytes
// in network order and the port.
bool parseProcEndpoint(std::string_view text, std::string& bytes, unsigned& port) {
  std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  std::string_view hex = text.substr(0, colon);
  if (hex.size() != 8 && hex.size() != 32) return false;
  bytes.clear();
  // Each 32-bit word is printed in host order.
  for (std::size_t w = 0; w < hex.size(); w += 8) {
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < 8; ++i) {
      int v = hexValue(hex[w + i]);
      if (v < 0) return false;
      word = word * 16 + std::uint32_t(v);
    }
    unsigned char raw[4];
    std::memcpy(raw, &word, 4);
    bytes.append(reinterpret_cast<const char*>(raw), 4);
  }
  port = 0;
  for (char c : text.substr(colon + 1)) {
    int v = hexValue(c);
    if (v < 0) return false;
    port = port * 16 + unsigned(v);
  }
  return true;
}

std::optional<std::string> addressBytes(const std::string& text, bool& v6) {
  unsigned char raw[16];
  if (::inet_pton(AF_INET, text.c_str(), raw) == 1) {
    v6 = false;
    return std::string(reinterpret_cast<const char*>(raw), 4);
  }
  if (::inet_pton(AF_INET6, text.c_str(), raw) == 1) {
    v6 = true;
    return std::string(reinterpret_cast<const char*>(raw), 16);
  }
  return std::nullopt;
}

}  // namespace

std::optional<uid_t> tcpClientOwner(const std::string& clientAddress, std::uint16_t clientPort,
                                    const std::string& serverAddress, std::uint16_t serverPort) {
  bool clientV6 = false, serverV6 = false;
  auto client = addressBytes(clientAddress, clientV6);
  auto server = addressBytes(serverAddress, serverV6);
  if (!client || !server || clientV6 != serverV6) return std::nullopt;
  std::ifstream table(clientV6 ? "/proc/net/tcp6" : "/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the column names
  std::string local, remote;
  unsigned localPort = 0, remotePort = 0;
  while (std::getline(table, line)) {
    // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid …
    std::istringstream fields(line);
    std::string sl, l, r, st, queues, timer, retransmits;
    unsigned long uid = 0;
    if (!(fields >> sl >> l >> r >> st >> queues >> timer >> retransmits >> uid)) continue;
    if (!parseProcEndpoint(l, local, localPort) || !parseProcEndpoint(r, remote, remotePort))
      continue;
    if (localPort == clientPort && remotePort == serverPort && local == *client &&
        remote == *server)
      return uid_t(uid);
  }
  return std::nullopt;
}

int openFileBeneath(const std::string& directory, const std::string& relative,
                    std::uint64_t maxBytes) {
  int dir = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return -1;
  std::string_view rest = relative;
  while (true) {
    std::size_t slash = rest.find('/');
    std::string segment(rest.substr(0, slash));
    if (segment.empty() || segment == "." || segment == "..") break;
    if (slash == std::string_view::npos) {
      int fd = ::openat(dir, segment.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      ::close(dir);
      if (fd < 0) return -1;
      struct stat st {};
      if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || std::uint64_t(st.st_size) > maxBytes) {
        ::close(fd);
        return -1;
      }
      return fd;
    }
    int next = ::openat(dir, segment.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(dir);
    if (next < 0) return -1;
    dir = next;
    rest = rest.substr(slash + 1);
  }
  ::close(dir);
  return -1;
}

std::optional<std::string> readFileBeneath(const std::string& directory,
                                           const std::string& relative) {
  servedFile file(openFileBeneath(directory, relative, maxServedFile));
  if (file.fd() < 0) return std::nullopt;
  std::string bytes;
  char chunk[65536];
  while (true) {
    ssize_t n = ::read(file.fd(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    bytes.append(chunk, std::size_t(n));
    if (bytes.size() > std::size_t(maxServedFile)) return std::nullopt;
  }
  return bytes;
}

servedFile::servedFile(int fd) : fd_(fd) {}

servedFile::~servedFile() {
  if (fd_ >= 0) ::close(fd_);
}

servedFile& servedFile::operator=(servedFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

std::string webReply::bodyText() const {
  if (file.fd() < 0) return staticBody.empty() ? body : std::string(staticBody);
  std::string bytes;
  char chunk[65536];
  off_t at = 0;
  while (true) {
    ssize_t n = ::pread(file.fd(), chunk, sizeof chunk, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(chunk, std::size_t(n));
    at += n;
  }
  return bytes;
}

webRoutes::webRoutes(webRoutesConfig config, consoleAccess& access)
    : config_(std::move(config)), access_(access) {
  std::string address = lowerAscii(config_.address);
  bool v6 = address.find(':') != std::string::npos;
  canonicalHost_ = (v6 ? "[" + address + "]" : address) + ":" + std::to_string(config_.port);
}

std::string webRoutes::pageUrl(std::string_view secret) const {
  return "http://" + canonicalHost_ + "/?token=" + std::string(secret);
}

bool webRoutes::hostAllowed(std::string_view hostHeader) const {
  if (hostHeader.empty()) return false;
  std::string host = lowerAscii(hostHeader);
  std::string_view name = hostName(host);
  if (name.empty()) return false;
  for (std::string_view allowed : loopbackNames)
    if (name == allowed) return true;
  // The bound address itself (another address of 127.0.0.0/8).
  return name == std::string_view(canonicalHost_).substr(0, canonicalHost_.rfind(':'));
}

bool webRoutes::originAllowed(std::string_view origin, std::string_view hostHeader) const {
  return hostAllowed(hostHeader) && lowerAscii(origin) == "http://" + lowerAscii(hostHeader);
}

bool webRoutes::hasSession(std::string_view cookie) const {
  for (const std::string& id : sessionCookies(cookie))
    if (access_.validSession(id)) return true;
  return false;
}

std::string webRoutes::refuseUpgrade(const webRequest& request) const {
  if (pathOf(request.target) != "/ws") return "not the WebSocket path";
  if (request.hostCount != 1 || !hostAllowed(request.host)) return "foreign Host header";
  if (request.originCount != 1 || !originAllowed(request.origin, request.host))
    return "foreign or missing Origin";
  if (!hasSession(request.cookie)) return "no valid session cookie";
  return {};
}

webReply webRoutes::answer(const webRequest& request) const {
  if (request.method != "GET") {
    webReply r = textReply(405, "Method not allowed\n");
    r.headers.emplace_back("Allow", "GET");
    return r;
  }
  if (request.hostCount != 1) return textReply(400, "Bad request\n");
  if (!hostAllowed(request.host)) return textReply(403, "Forbidden\n");
  bool session = hasSession(request.cookie);
  std::string_view path = pathOf(request.target);
  if (path == "/") {
    if (auto secret = queryParameter(request.target, "token")) {
      // The launch secret becomes a cookie; the address bar keeps no secret.
      std::optional<std::string> id = access_.redeem(*secret, request.peerUid);
      if (!id && !session) return textReply(403, secretUsed);
      webReply r = textReply(303, "");
      r.headers.emplace_back("Location", "/");
      r.headers.emplace_back("Cache-Control", "no-store");
      if (id)
        r.headers.emplace_back(
            "Set-Cookie", std::string(sessionCookieName) + "=" + *id + sessionCookieAttributes);
      r.trusted = true;
      return r;
    }
    if (!session) return textReply(403, sessionFirst);
    webReply r = clientFileReply("index.html");
    r.trusted = true;
    r.headers.emplace_back("Content-Security-Policy",
                           "default-src 'self'; script-src 'self'; style-src 'self' "
                           "'unsafe-inline'; img-src 'self' data:; font-src 'self' data:; "
                           "connect-src 'self' ws://" +
                               lowerAscii(request.host) +
                               "; object-src 'none'; base-uri 'none'; form-action 'none'; "
                               "frame-ancestors 'none'");
    r.headers.emplace_back("X-Frame-Options", "DENY");
    return r;
  }
  webReply r;
  // The client's script modules and style sheet; the page itself only with the session.
  if (path.size() > 1 && path != "/index.html" && !clientFile(path.substr(1)).empty())
    r = clientFileReply(path.substr(1));
  else if (path.starts_with("/skin/") && !config_.skinDirectory.empty())
    r = fileReply(config_.skinDirectory, path.substr(6));
  else if (path.starts_with("/docs/fonts/") && !config_.docsDirectory.empty())
    r = fileReply(config_.docsDirectory + "fonts/", path.substr(12));
  else
    r = notFound();
  r.trusted = session;
  return r;
}

webReply webRoutes::clientFileReply(std::string_view name) const {
  webReply r;
  r.contentType = std::string(contentTypeFor(name));
  if (config_.clientDirectory.empty()) {
    r.staticBody = clientFile(name);
  } else {
    r.file = servedFile(openFileBeneath(config_.clientDirectory, std::string(name), maxServedFile));
    if (r.file.fd() < 0) return notFound();
  }
  r.headers.emplace_back("Cache-Control", "no-store");
  return r;
}

webReply webRoutes::fileReply(const std::string& directory, std::string_view encodedPath) const {
  auto relative = safeRelativePath(encodedPath);
  if (!relative) return notFound();
  webReply r;
  r.file = servedFile(openFileBeneath(directory, *relative, maxServedFile));
  if (r.file.fd() < 0) return notFound();
  r.contentType = std::string(contentTypeFor(*relative));
  r.headers.emplace_back("Cache-Control", "no-cache");
  return r;
}

}  // namespace zv
