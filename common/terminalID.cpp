#include "common/terminalID.h"

#include "common/fstream.h"
#include "common/installPaths.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdarg>
#include <map>
#include <mutex>
#include <optional>

namespace zv {
namespace {

struct platformEntry {
  uint32_t code;
  std::string_view name;
};
// clang-format off
constexpr platformEntry platformTable[] = {
    {platformX86,     "x86"},
    {platformUefi,    "uefi"},
    {platformPi2B,    "Pi2B"},
    {platformPi64bit, "Pi64bit"},
    {platformWindows, "Windows"},
};
// clang-format on
constexpr std::string_view noPlatformName = "platform-none";
constexpr std::string_view unknownPlatformName = "platform-error";

// The program named in every change-log line.
constexpr const char* changeSource = "configurator";
constexpr std::size_t changeLineBufferSize = 1024;

// Identity files and how much of each is read.
constexpr const char* ipFile = "ip";
constexpr const char* versionFile = "version";
constexpr const char* hostFile = "host";
constexpr const char* lastLoginFile = "lastlogin";
constexpr const char* platformFile = "platform";
constexpr const char* runsProductFile = "iszelvar";
constexpr const char* onlineFile = "online";
constexpr std::size_t ipReadLimit = 63;
constexpr std::size_t platformReadLimit = 63;

bool isKnownPlatform(uint32_t code) {
  for (const platformEntry& entry : platformTable)
    if (entry.code == code) return true;
  return false;
}

// A field as the readers see it: at most `limit` units, ending before the first BEL,
// LF, CR or NUL. A UTF-16 text never ends in the first half of a surrogate pair.
template <typename Char>
std::basic_string<Char> cutField(std::basic_string_view<Char> text, std::size_t limit) {
  text = text.substr(0, limit);
  std::size_t end = 0;
  while (end < text.size() && text[end] != Char(7) && text[end] != Char('\n') &&
         text[end] != Char('\r') && text[end] != Char(0))
    ++end;
  if constexpr (sizeof(Char) == 2)
    if (end > 0 && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF) --end;
  return std::basic_string<Char>(text.substr(0, end));
}

std::string cutText(std::string_view text, std::size_t limit) {
  return cutField(text, limit);
}
std::u16string cutWide(std::u16string_view text, std::size_t limit) {
  return cutField(text, limit);
}

// At most `limit` bytes from the start of a file of the terminal directory. nullopt
// when it is missing or refused (the seam logs refusals). Never reads a large file whole.
std::optional<std::string> readHead(const std::string& dir, const char* name, std::size_t limit) {
  fileContents contents = readFileHeadIn(dir, name, limit);
  if (!contents.ok()) return std::nullopt;
  return std::move(contents.bytes);
}

uint32_t readIp(const std::string& dir) {
  std::optional<std::string> bytes = readHead(dir, ipFile, ipReadLimit);
  if (!bytes) return 0;
  uint32_t address = 0;
  if (!parseIpv4(cutText(*bytes, ipReadLimit), address)) {
    errno = EINVAL;
    ZV_INTERNAL_ERROR();
    return 0;
  }
  return address;
}

std::string readText(const std::string& dir, const char* name, std::size_t limit) {
  return cutText(readHead(dir, name, limit).value_or(""), limit);
}

std::u16string readLastLogin(const std::string& dir) {
  constexpr std::size_t limit = terminalID::lastLoginLimit;
  std::optional<std::string> bytes = readHead(dir, lastLoginFile, 2 + 2 * limit);
  if (!bytes) return {};
  std::string_view data = *bytes;
  if (data.size() >= 2 && uint8_t(data[0]) == 0xFF && uint8_t(data[1]) == 0xFE)
    data.remove_prefix(2);
  std::u16string units;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2)
    units.push_back(char16_t(uint8_t(data[i]) | uint8_t(data[i + 1]) << 8));
  return cutWide(units, limit);
}

uint32_t readPlatform(const std::string& dir) {
  std::optional<std::string> bytes = readHead(dir, platformFile, platformReadLimit);
  return bytes ? parsePlatform(cutText(*bytes, platformReadLimit)) : 0;
}

void logChange(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logChange(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string line = buildLogLine(timePrefix(), format, args, changeLineBufferSize);
  va_end(args);
  if (!appendLine(terminalChangeLogPath(), line)) ZV_INTERNAL_ERROR();
}

// Operations that need the terminal directory refuse an invalid MAC, and any MAC
// while the installation paths are unknown (the path would be relative).
bool acceptedMac(const macAddress& mac) {
  if (mac.isValid() && !paths().terminalsDir.empty()) return true;
  errno = EINVAL;
  ZV_INTERNAL_ERROR();
  return false;
}

// The directory of an accepted MAC, without creating it; empty otherwise.
std::string directoryPath(const macAddress& mac) {
  return acceptedMac(mac) ? paths().terminalsDir + terminalDirectoryName(mac) + "/" : std::string();
}

std::mutex directoryNamesMutex;
std::map<macAddress, std::string>& directoryNames() {
  static std::map<macAddress, std::string> names;
  return names;
}

// The steps of storing one field, given the terminal directory and the stored value.
// Each is a no-op (true) when the record has nothing new; a change line is written
// only for a file that was written.

bool storeIpIn(const terminalID& id, const std::string& dir, uint32_t stored,
               const writeOptions& how = {}) {
  if (id.ip == 0 || id.ip == stored) return true;
  std::string text = ipv4Text(id.ip);
  if (!writeBytesFile(dir + ipFile, text, how)) return false;
  logChange("[%s] Changed IP %s => %s. Source: %s.", id.mac.logText().c_str(),
            ipv4Text(stored).c_str(), text.c_str(), changeSource);
  return true;
}

bool storeTextIn(const terminalID& id, const std::string& dir, const char* name, const char* what,
                 const std::string& value, std::size_t limit, const std::string& stored,
                 const writeOptions& how = {}) {
  std::string text = cutText(value, limit);
  if (text.empty() || equalsNoCase(text, stored)) return true;
  if (!writeBytesFile(dir + name, text, how)) return false;
  logChange("[%s] Changed %s '%s' => '%s'. Source: %s.", id.mac.logText().c_str(), what,
            stored.c_str(), text.c_str(), changeSource);
  return true;
}

bool storeVersionIn(const terminalID& id, const std::string& dir, const std::string& stored,
                    const writeOptions& how = {}) {
  return storeTextIn(id, dir, versionFile, "version", id.version, terminalID::versionLimit, stored,
                     how);
}

bool storeHostIn(const terminalID& id, const std::string& dir, const std::string& stored,
                 const writeOptions& how = {}) {
  return storeTextIn(id, dir, hostFile, "host", id.host, terminalID::hostLimit, stored, how);
}

bool storeLastLoginIn(const terminalID& id, const std::string& dir, const std::u16string& stored,
                      const writeOptions& how = {}) {
  std::u16string name = cutWide(id.lastLogin, terminalID::lastLoginLimit);
  if (name.empty() || equalsNoCase(name, stored)) return true;
  if (!writeUtf16File(dir + lastLoginFile, name, how)) return false;
  logChange("[%s] Changed last login '%s' => '%s'. Source: %s.", id.mac.logText().c_str(),
            toUtf8(stored).c_str(), toUtf8(name).c_str(), changeSource);
  return true;
}

// An unknown code is treated as none reported: its name would read back as 0, so
// writing it would replace a good platform and be "changed" again on every contact.
bool storePlatformIn(const terminalID& id, const std::string& dir, uint32_t stored,
                     const writeOptions& how = {}) {
  if (!isKnownPlatform(id.platform) || id.platform == stored) return true;
  std::string_view name = platformName(id.platform);
  if (!writeBytesFile(dir + platformFile, name, how)) return false;
  logChange("[%s] Changed platform %s => %s. Source: %s.", id.mac.logText().c_str(),
            std::string(platformName(stored)).c_str(), std::string(name).c_str(), changeSource);
  return true;
}

bool storeRunsProductIn(const terminalID& id, const std::string& dir, bool stored,
                        const writeOptions& how = {}) {
  if (!id.runsProduct || stored) return true;
  if (!writeBytesFile(dir + runsProductFile, "1", how)) return false;
  logChange("[%s] Set iszelvar flag. Source: %s.", id.mac.logText().c_str(), changeSource);
  return true;
}

// Writes "online" and stamps the directory with the current time.
bool markOnline(const std::string& dir) {
  bool written = writeBytesFile(dir + onlineFile, "1", sightingWrite);
  const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
  if (::utimensat(AT_FDCWD, dir.c_str(), times, 0) != 0) {
    int error = errno;
    logMessage("Unable to open %s. Error %d (0x%x).", dir.c_str(), error, unsigned(error));
  }
  return written;
}

// Deletes one identity file of the terminal and logs "Clear <what>" when it was there.
void clearFile(const macAddress& mac, const char* name, const char* what) {
  std::string dir = directoryPath(mac);
  if (dir.empty()) return;
  if (removeFile(dir + name) == removal::removed)
    logChange("[%s] Clear %s. Source: %s.", mac.logText().c_str(), what, changeSource);
}

}  // namespace

std::string_view platformName(uint32_t code) {
  if (code == platformNone) return noPlatformName;
  for (const platformEntry& entry : platformTable)
    if (entry.code == code) return entry.name;
  return unknownPlatformName;
}

uint32_t parsePlatform(std::string_view name) {
  for (const platformEntry& entry : platformTable)
    if (equalsNoCase(name, entry.name)) return entry.code;
  return platformNone;
}

std::string terminalChangeLogPath() {
  const std::string& dir = paths().logsDir;
  return dir.empty() ? std::string() : dir + "zvc_terminal.log";
}

std::string terminalDirectory(const macAddress& mac) {
  std::string dir = directoryPath(mac);
  if (dir.empty()) return dir;
  // Nothing is written through a link in place of a terminal directory.
  if (isLink(dir)) {
    logMessage("Terminal directory %s is a link and is not written.", dir.c_str());
    return {};
  }
  if (isDirectory(dir)) return dir;
  if (!makeDirectories(paths().terminalsDir)) {
    ZV_INTERNAL_ERROR();
    return {};
  }
  // mkdir decides who created it, so two threads never both log "Created".
  switch (makeDirectory(dir)) {
    case made::created:
      logChange("[%s] Created. Source: %s.", mac.logText().c_str(), changeSource);
      return dir;
    case made::existed:
      return dir;
    case made::failed:
      break;
  }
  ZV_INTERNAL_ERROR();
  return {};
}

std::string existingTerminalDirectory(const macAddress& mac) {
  if (!mac.isValid() || paths().terminalsDir.empty()) return {};
  return paths().terminalsDir + terminalDirectoryName(mac) + "/";
}

void rememberTerminalDirectoryName(const macAddress& mac, std::string name) {
  std::lock_guard guard(directoryNamesMutex);
  if (name == mac.directoryName())
    directoryNames().erase(mac);
  else
    directoryNames()[mac] = std::move(name);
}

void forgetTerminalDirectoryName(const macAddress& mac) {
  std::lock_guard guard(directoryNamesMutex);
  directoryNames().erase(mac);
}

void forgetTerminalDirectoryNames() {
  std::lock_guard guard(directoryNamesMutex);
  directoryNames().clear();
}

std::string terminalDirectoryName(const macAddress& mac) {
  std::lock_guard guard(directoryNamesMutex);
  auto found = directoryNames().find(mac);
  return found == directoryNames().end() ? mac.directoryName() : found->second;
}

bool isAutomaticHostName(std::string_view host) {
  constexpr std::string_view prefix = "zvw";
  if (host.size() != prefix.size() + 12 || !startsWithNoCase(host, prefix)) return false;
  for (char c : host.substr(prefix.size()))
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

void terminalID::loadIdentity() {
  std::string dir = directoryPath(mac);
  if (dir.empty()) return;
  ip = readIp(dir);
  version = readText(dir, versionFile, versionLimit);
  lastLogin = readLastLogin(dir);
  host = readText(dir, hostFile, hostLimit);
  platform = readPlatform(dir);
  if (fileExists(dir + runsProductFile)) runsProduct = true;
}

bool terminalID::storeIdentity(bool seenOnline) const {
  std::string dir = terminalDirectory(mac);
  if (dir.empty()) return false;
  terminalID stored(mac);
  stored.loadIdentity();
  // A sighting stamps the directory anyway; any other store keeps its times.
  const writeOptions how = seenOnline ? sightingWrite : writeOptions{};
  bool ok = storeIpIn(*this, dir, stored.ip, how);
  ok = storeVersionIn(*this, dir, stored.version, how) && ok;
  ok = storeHostIn(*this, dir, stored.host, how) && ok;
  ok = storeLastLoginIn(*this, dir, stored.lastLogin, how) && ok;
  ok = storePlatformIn(*this, dir, stored.platform, how) && ok;
  ok = storeRunsProductIn(*this, dir, stored.runsProduct, how) && ok;
  if (seenOnline) ok = markOnline(dir) && ok;
  return ok;
}

bool terminalID::storeVersion() const {
  if (!acceptedMac(mac)) return false;
  if (cutText(version, versionLimit).empty()) return true;
  std::string dir = terminalDirectory(mac);
  return !dir.empty() && storeVersionIn(*this, dir, readText(dir, versionFile, versionLimit));
}

bool terminalID::storeHost() const {
  if (!acceptedMac(mac)) return false;
  if (cutText(host, hostLimit).empty()) return true;
  std::string dir = terminalDirectory(mac);
  return !dir.empty() && storeHostIn(*this, dir, readText(dir, hostFile, hostLimit));
}

bool terminalID::storeIp() const {
  if (!acceptedMac(mac)) return false;
  if (ip == 0) return true;
  std::string dir = terminalDirectory(mac);
  return !dir.empty() && storeIpIn(*this, dir, readIp(dir));
}

void terminalID::clearHost() {
  host.clear();
  clearFile(mac, hostFile, "host");
}

void terminalID::clearVersion() {
  version.clear();
  clearFile(mac, versionFile, "version");
}

void terminalID::clearIp() {
  ip = 0;
  clearFile(mac, ipFile, "IP");
}

void terminalID::setHostFromDhcp(std::string_view text) {
  std::size_t end = 0;
  while (end < text.size() && uint8_t(text[end]) >= 0x20 && text[end] != 0x7F) ++end;
  text = text.substr(0, end);
  if (text.empty() || isAutomaticHostName(text)) return;
  host = std::string(text.substr(0, hostLimit));
}

bool terminalID::matchesMacText(std::string_view text) const {
  std::optional<macAddress> parsed = parseMac(text, ':');
  return parsed && *parsed == mac;
}

bool terminalID::matchesMacText(std::u16string_view text) const {
  std::optional<macAddress> parsed = parseMac(text, u':');
  return parsed && *parsed == mac;
}

}  // namespace zv
