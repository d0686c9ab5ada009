#include "zvc/register/terminals.h"

#include "common/dirEnum.h"
#include "common/errorCFHandler.h"
#include "common/fstream.h"
#include "common/installPaths.h"
#include "common/terminalDHCP.h"
#include "common/textConfigFile.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "zvc/ui/messageBox.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

namespace zv {
namespace {

constexpr const char* hiddenFile = "hidden";
constexpr const char* commentFile = "comment";
constexpr const char* wolPortFile = "WOLport";
constexpr const char* configFileName = "config.zvc";
constexpr uint16_t defaultWolPort = 7;

// Side files ("comment", "WOLport") hold one short line; anything larger is not one.
constexpr std::size_t sideFileLimit = 64 * 1024;

// The directory of a terminal without creating it, under the name it has on disk
// ("" for an invalid MAC).
std::string existingDirectory(const macAddress& mac) {
  return existingTerminalDirectory(mac);
}

// The first line of a small UTF-16 (or UTF-8) side file, blanks around it dropped.
// Read whole rather than with the configuration reader, which would take a '#' in a
// comment for the start of a remark and lose the rest of the text.
std::u16string firstLine(const std::string& directory, const char* name) {
  fileContents contents = readFileIn(directory, name, sideFileLimit);
  if (!contents.ok()) return {};
  std::u16string text = decodeTextBytes(contents.bytes);
  std::size_t end = text.find_first_of(u"\r\n");
  if (end != std::u16string::npos) text.resize(end);
  std::size_t first = text.find_first_not_of(u" \t");
  if (first == std::u16string::npos) return {};
  std::size_t last = text.find_last_not_of(u" \t");
  return text.substr(first, last - first + 1);
}

// An empty configuration: the byte-order mark alone.
void createEmptyConfig(const std::string& directory) {
  std::string path = directory + configFileName;
  if (!fileExists(path) && !writeBytesFile(path, "\xFF\xFE")) ZV_INTERNAL_ERROR();
}

void createPseudoDirectory(const macAddress& mac, bool onlyWhenMissing) {
  std::string directory = existingTerminalDirectory(mac);
  made result = makeDirectory(directory);
  if (result == made::existed && onlyWhenMissing) return;
  if (result == made::failed) {
    ZV_INTERNAL_ERROR();
    return;
  }
  createEmptyConfig(directory);
}

void deletionFailed(const std::string& directory, int error) {
  messageBox("Ошибка удаления каталога \"" + directory + "\": " + std::strerror(error),
             errorCaption, boxButtons::ok, boxIcon::error);
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
  t.comment = directory.empty() ? std::u16string() : firstLine(directory, commentFile);
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
  std::u16string line = firstLine(directory, wolPortFile);
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
  directory.pop_back();
  if (isLink(directory)) {
    // A link in place of the directory is removed itself; what it points to is not ours.
    if (removeFile(directory) == removal::failed) {
      deletionFailed(directory, errno);
      return false;
    }
  } else if (isDirectory(directory)) {
    // Moved aside first, so that a failure part-way never leaves half a terminal under
    // its own name; the aside name is no MAC, so no loader takes it up meanwhile.
    std::string aside = paths().terminalsDir + ".deleting." + terminalDirectoryName(t.mac) + "." +
                        std::to_string(::getpid());
    if (!renameWithoutReplacing(directory, aside)) {
      deletionFailed(directory, errno);
      return false;
    }
    if (!removeTree(aside)) {
      int error = errno;
      if (!renameWithoutReplacing(aside, directory))
        logMessage("%s", errnoText(("Cannot move " + aside + " back").c_str(), errno).c_str());
      deletionFailed(directory, error);
      return false;
    }
  }
  forgetTerminalDirectoryName(t.mac);
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
  forgetTerminalDirectoryNames();  // a fresh walk finds the names again
  if (paths().terminalsDir.empty()) return;
  if (!readOnly) {
    makeDirectories(paths().terminalsDir);
    for (const macAddress& pseudo : {bootCdMac, bootUsbMac, bootSdMac})
      createPseudoDirectory(pseudo, true);
    createGroupDirectories();
    // Temporaries of writers that died before their rename: the data directories here,
    // each terminal directory as it is loaded.
    const installationPaths& p = paths();
    for (const std::string* dir : {&p.dataDir, &p.everyoneDir, &p.templatesDir, &p.connectionsDir,
                                   &p.dhcpDir, &p.keysDir, &p.terminalsDir})
      if (!dir->empty()) removeLeftoverTemporaries(*dir);
  }
  // Names of one MAC in two letter cases are one terminal: the canonical (upper-case)
  // name wins, else the first in byte order; the others are logged and left alone.
  std::vector<std::pair<macAddress, std::string>> found;
  terminalsDirEnum entries(paths().terminalsDir);
  while (entries.next()) {
    if (!entries.mac().isValid()) {
      logMessage("Terminal directory %s is not a terminal's: the MAC is not valid.",
                 entries.name().c_str());
      continue;
    }
    found.emplace_back(entries.mac(), entries.name());
  }
  std::map<macAddress, std::string> chosen;
  for (const auto& [mac, name] : found) {
    auto [at, inserted] = chosen.emplace(mac, name);
    if (inserted || at->second == mac.directoryName()) continue;
    if (name == mac.directoryName() || name < at->second) at->second = name;
  }
  for (const auto& [mac, name] : found) {
    const std::string& kept = chosen.at(mac);
    if (name != kept) {
      logMessage("Terminal directory %s names the same MAC as %s and is not loaded.", name.c_str(),
                 kept.c_str());
      continue;
    }
    rememberTerminalDirectoryName(mac, name);
    if (!readOnly) removeLeftoverTemporaries(paths().terminalsDir + name);
    loadTerminal(mac);
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
