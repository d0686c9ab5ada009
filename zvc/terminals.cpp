#include "zvc/terminals.h"

#include "common/dirEnum.h"
#include "common/errorCFHandler.h"
#include "common/fstream.h"
#include "common/installPaths.h"
#include "common/terminalDHCP.h"
#include "common/textConfigFile.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "zvc/messageBox.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace zv {
namespace {

constexpr const char* hiddenFile = "hidden";
constexpr const char* commentFile = "comment";
constexpr const char* wolPortFile = "WOLport";
constexpr const char* configFileName = "config.zvc";
constexpr uint16_t defaultWolPort = 7;

// The directory of a terminal without creating it ("" for an invalid MAC).
std::string existingDirectory(const macAddress& mac) {
  if (!mac.isValid() || paths().terminalsDir.empty()) return {};
  return paths().terminalsDir + mac.directoryName() + "/";
}

// The first line of a small UTF-16 (or UTF-8) side file, blanks around it dropped.
// Read whole rather than with the configuration reader, which would take a '#' in a
// comment for the start of a remark and lose the rest of the text.
std::u16string firstLine(const std::string& path) {
  auto bytes = readFileBytes(path);
  if (!bytes) return {};
  std::u16string text = decodeTextBytes(*bytes);
  std::size_t end = text.find_first_of(u"\r\n");
  if (end != std::u16string::npos) text.resize(end);
  std::size_t first = text.find_first_not_of(u" \t");
  if (first == std::u16string::npos) return {};
  std::size_t last = text.find_last_not_of(u" \t");
  return text.substr(first, last - first + 1);
}

bool removeIfPresent(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  ZV_INTERNAL_ERROR();
  return false;
}

// An empty configuration: the byte-order mark alone.
void createEmptyConfig(const std::string& directory) {
  std::string path = directory + configFileName;
  if (!fileExists(path) && !writeBytesFile(path, "\xFF\xFE")) ZV_INTERNAL_ERROR();
}

void createPseudoDirectory(const macAddress& mac, bool onlyWhenMissing) {
  std::string directory = paths().terminalsDir + mac.directoryName() + "/";
  bool existed = isDirectory(directory);
  if (existed && onlyWhenMissing) return;
  if (!existed && ::mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST) {
    ZV_INTERNAL_ERROR();
    return;
  }
  createEmptyConfig(directory);
}

bool usableAddress(uint32_t ip) {
  return ip != 0 && ip != 0xFFFFFFFFu;
}

}  // namespace

int configStatus(const terminal& t) {
  std::string directory = existingDirectory(t.mac);
  if (directory.empty()) return 0;
  if (fileExists(directory + configFileName)) return 1;
  if (fileExists(directory + configFileName + ".broken")) return 2;
  return 0;
}

void loadComment(terminal& t) {
  std::string directory = existingDirectory(t.mac);
  t.comment = directory.empty() ? std::u16string() : firstLine(directory + commentFile);
  if (t.comment.size() > terminal::commentLimit) t.comment.resize(terminal::commentLimit);
}

bool saveComment(const terminal& t) {
  std::string directory = terminalDirectory(t.mac);
  if (directory.empty()) return false;
  if (t.comment.empty()) return removeIfPresent(directory + commentFile);
  return writeUtf16File(directory + commentFile,
                        std::u16string_view(t.comment).substr(0, terminal::commentLimit));
}

void loadWolPort(terminal& t) {
  t.wolPort = 0;
  std::string directory = existingDirectory(t.mac);
  if (directory.empty()) return;
  std::u16string line = firstLine(directory + wolPortFile);
  uint32_t port = 0;
  std::size_t digits = 0;
  for (char16_t c : line) {
    if (c < u'0' || c > u'9') break;
    port = port * 10 + uint32_t(c - u'0');
    if (port > 0xFFFF) break;
    ++digits;
  }
  // A number beyond the port range is no port at all: the default applies.
  if (port > 0xFFFF) {
    logMessage("Wake-on-LAN port of %s is out of range; the default port is used.",
               t.mac.logText().c_str());
    return;
  }
  if (digits) t.wolPort = uint16_t(port);
}

bool saveWolPort(const terminal& t) {
  std::string directory = terminalDirectory(t.mac);
  if (directory.empty()) return false;
  // The default port is kept as no file at all; an older file must not outlive it.
  if (t.wolPort == 0 || t.wolPort == defaultWolPort)
    return removeIfPresent(directory + wolPortFile);
  return writeUtf16File(directory + wolPortFile, widenAscii(std::to_string(t.wolPort)));
}

void loadHidden(terminal& t) {
  std::string directory = existingDirectory(t.mac);
  t.hidden = !directory.empty() && fileExists(directory + hiddenFile);
}

bool saveHidden(const terminal& t) {
  std::string directory = terminalDirectory(t.mac);
  if (directory.empty()) return false;
  return t.hidden ? writeBytesFile(directory + hiddenFile, "1")
                  : removeIfPresent(directory + hiddenFile);
}

bool saveTerminal(terminal& t, bool seenOnline) {
  if (!t.mac.isValid()) {
    errno = EINVAL;
    ZV_INTERNAL_ERROR();
    return false;
  }
  if (!t.storeIdentity(seenOnline)) return false;
  if (!writeTerminalDhcp(t, t.dhcp, t.bootType)) return false;
  if (!saveHidden(t)) return false;
  if (!saveComment(t) || !saveWolPort(t)) return false;
  if (t.config.isEmpty()) return true;
  return saveConfiguration(t);
}

bool saveConfiguration(terminal& t) {
  std::string directory = terminalDirectory(t.mac);
  if (directory.empty() || !t.config.saveTerminalConfig(directory + configFileName)) return false;
  t.configTime = std::chrono::system_clock::now();
  return true;
}

bool deleteTerminal(const terminal& t) {
  std::string directory = existingDirectory(t.mac);
  if (directory.empty()) return false;
  if (isDirectory(directory)) {
    std::error_code error;
    std::filesystem::remove_all(directory, error);
    if (error) {
      directory.pop_back();
      messageBox("Ошибка удаления каталога \"" + directory + "\": " + error.message(), errorCaption,
                 boxButtons::ok, boxIcon::error);
      return false;
    }
  }
  if (!paths().keysDir.empty())
    removeIfPresent(paths().keysDir + t.mac.directoryName() + ".zvrcpassword");
  return true;
}

bool sameMachine(const terminalID& a, const terminalID& b) {
  if (a.mac.isValid() && b.mac.isValid()) return a.mac == b.mac;
  if (usableAddress(a.ip) && usableAddress(b.ip)) return a.ip == b.ip;
  if (!a.host.empty() && !b.host.empty()) return equalsNoCase(a.host, b.host);
  return false;
}

terminal* terminalRegister::append(std::unique_ptr<terminal> t) {
  terminal* raw = t.get();
  owned_.push_back(std::move(t));
  order_.push_back(raw);
  byMac_.emplace(raw->mac, raw);
  if (!raw->mac.isValid()) ++invalidMacs_;
  if (offerToList) offerToList(*raw);
  return raw;
}

void terminalRegister::loadAllTerminals() {
  current_ = nullptr;
  if (paths().terminalsDir.empty()) return;
  if (!readOnly) {
    makeDirectories(paths().terminalsDir);
    for (const macAddress& pseudo : {bootCdMac, bootUsbMac, bootSdMac})
      createPseudoDirectory(pseudo, true);
    createGroupDirectories();
  }
  terminalsDirEnum entries(paths().terminalsDir);
  while (entries.next()) {
    if (!entries.mac().isValid()) {
      logMessage("Terminal directory %s is not a terminal's: the MAC is not valid.",
                 entries.name().c_str());
      continue;
    }
    loadTerminal(entries.mac());
  }
  // The pseudo-terminals the console would have made directories for.
  if (readOnly) {
    for (const macAddress& pseudo : {bootCdMac, bootUsbMac, bootSdMac}) loadTerminal(pseudo);
    loadGroupTerminals();
  }
}

terminal* terminalRegister::loadTerminal(const macAddress& mac) {
  if (byMac_.count(mac)) return nullptr;
  auto t = std::make_unique<terminal>(mac, *libraries_);
  t->loadIdentity();
  loadHidden(*t);
  if (findSpec) t->spec = findSpec(t->version);
  std::string directory = existingDirectory(mac);
  if (readOnly) {
    loadOptions(t->dhcp, directory);
    takeHostFromOptions(*t, t->dhcp);
    t->bootType = readBootType(directory);
  } else {
    readTerminalDhcp(*t, t->dhcp, t->bootType);
  }
  std::string path = directory + configFileName;
  if (fileExists(path)) {
    // A configuration that fails to load leaves the terminal with an empty one (the
    // file has been set aside as ".broken" by then, unless loading read-only).
    GUIConfigFile loaded(*libraries_);
    std::u16string failure;
    if (readOnly ? loaded.read(path, t->spec, failure) : loaded.load(path, t->spec)) {
      t->config = std::move(loaded);
      t->config.normalizeScreens();
      t->configTime = std::chrono::system_clock::now();
    } else {
      if (readOnly) reportDamage(path, failure);
      t->configError = failure.empty() ? u"Set aside as config.zvc.broken." : failure;
    }
  }
  loadComment(*t);
  loadWolPort(*t);
  return append(std::move(t));
}

void terminalRegister::createGroupDirectories() {
  if (readOnly || !groupNumbers || paths().terminalsDir.empty()) return;
  for (int number : groupNumbers())
    if (number >= 1 && number <= 254) createPseudoDirectory(groupMac(uint8_t(number)), false);
}

void terminalRegister::loadGroupTerminals() {
  createGroupDirectories();
  if (!groupNumbers) return;
  for (int number : groupNumbers())
    if (number >= 1 && number <= 254) loadTerminal(groupMac(uint8_t(number)));
}

terminal* terminalRegister::addTerminal(std::unique_ptr<terminal> t) {
  if (!t || byMac_.count(t->mac)) {
    errno = EEXIST;
    ZV_INTERNAL_ERROR();
    return nullptr;
  }
  return append(std::move(t));
}

void terminalRegister::remove(const terminal* t) {
  auto found = std::find(order_.begin(), order_.end(), t);
  if (found == order_.end()) return;
  order_.erase(found);
  byMac_.erase(t->mac);
  if (!t->mac.isValid()) --invalidMacs_;
  if (current_ == t) current_ = nullptr;
}

terminal* terminalRegister::findByMac(const macAddress& mac) const {
  auto found = byMac_.find(mac);
  return found == byMac_.end() ? nullptr : found->second;
}

terminal* terminalRegister::findByMacText(std::string_view text) const {
  auto mac = parseMac(text, ':');
  return mac ? findByMac(*mac) : nullptr;
}

terminal* terminalRegister::findByMacText(std::u16string_view text) const {
  auto mac = parseMac(text, u':');
  return mac ? findByMac(*mac) : nullptr;
}

terminal* terminalRegister::findSame(const terminalID& identity) const {
  // With every registered MAC valid, a valid MAC decides alone: a constant-time look-up.
  if (identity.mac.isValid() && invalidMacs_ == 0) return findByMac(identity.mac);
  for (terminal* t : order_)
    if (sameMachine(*t, identity)) return t;
  return nullptr;
}

}  // namespace zv
