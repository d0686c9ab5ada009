#include "common/DHCPIgnoreMACs.h"

#include "common/fstream.h"
#include "common/textConfigFile.h"
#include "platform/diagnostics.h"
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <optional>

namespace zv {
namespace {

constexpr const char* macsFileName = "ignore_macs";
constexpr const char* flagFileName = "ignore_flag";

std::optional<macAddress> parseListedMac(std::string_view line) {
  std::optional<macAddress> mac = parseMac(line, ':');
  if (!mac) mac = parseMac(line, '.');
  if (!mac || !mac->isValid()) return std::nullopt;
  return mac;
}

void reportBadLine(std::string_view line) {
  logMessage("DHCPIgnoreMACs: Error in line %.*s.", int(line.size()), line.data());
}

// The file's bytes; nullopt when it is missing (quietly) or cannot be read (logged).
std::optional<std::string> readListFile(const std::string& path, bool& failed) {
  fileContents contents = readFileLimited(path, textFileLimit);
  if (contents.ok()) return std::move(contents.bytes);
  if (contents.status != readStatus::missing) {
    logMessage("DHCPIgnoreMACs: File %s open failed.", path.c_str());
    failed = true;
  }
  return std::nullopt;
}

}  // namespace

bool ignoreList::contains(const macAddress& mac) const {
  return std::find(macs_.begin(), macs_.end(), mac) != macs_.end();
}

bool ignoreList::add(const macAddress& mac) {
  if (!mac.isValid()) return false;
  if (contains(mac)) return true;
  if (macs_.size() >= maxIgnoredMacs) return false;
  macs_.push_back(mac);
  return true;
}

bool ignoreList::remove(const macAddress& mac) {
  auto it = std::find(macs_.begin(), macs_.end(), mac);
  if (it == macs_.end()) return false;
  macs_.erase(it);
  return true;
}

bool readIgnoreMacs(std::string_view bytes, std::vector<macAddress>& macs, std::string* tail) {
  ignoreList list;
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  // Physical line by physical line (lines are not joined), so that the first line not
  // taken is at hand with everything after it.
  bool complete = true;
  std::size_t begin = 0;
  while (begin < bytes.size()) {
    std::size_t end = std::min(bytes.find_first_of("\r\n", begin), bytes.size());
    byteTextBuffer line;
    line.openBytes(bytes.substr(begin, end - begin));
    if (line.readLine(false)) {
      std::optional<macAddress> mac = parseListedMac(line.line());
      if (!mac) {
        reportBadLine(line.line());
        complete = false;
      } else if (!list.add(*mac)) {
        logMessage("DHCPIgnoreMACs: More than %zu MACs in the list, the rest is ignored.",
                   maxIgnoredMacs);
        complete = false;
      }
    } else if (!line.atEnd()) {  // too long to be read
      reportBadLine(line.line());
      complete = false;
    }
    if (!complete) {
      if (tail) tail->assign(bytes.substr(begin));
      break;
    }
    begin = end + 1;
  }
  macs = list.macs();
  return complete;
}

std::string ignoreMacsText(std::span<const macAddress> macs) {
  std::string text;
  text.reserve(macs.size() * 18);
  for (const macAddress& mac : macs) {
    text += mac.logText();
    text += '\n';
  }
  return text;
}

ignoreMode parseIgnoreFlag(std::string_view bytes) {
  constexpr std::string_view space = " \t\r\n";
  std::size_t from = bytes.find_first_not_of(space);
  if (from == bytes.npos) return ignoreMode::ignoreListed;
  bytes = bytes.substr(from, bytes.find_last_not_of(space) + 1 - from);
  // The number 1, also written with leading zeros.
  while (bytes.size() > 1 && bytes.front() == '0') bytes.remove_prefix(1);
  return bytes == "1" ? ignoreMode::answerOnlyListed : ignoreMode::ignoreListed;
}

std::string ignoreFlagText(ignoreMode mode) {
  return std::to_string(int(mode));
}

bool loadIgnoreList(const std::string& dhcpDir, ignoreList& list) {
  bool failed = false;
  list.clear();
  list.mode = ignoreMode::ignoreListed;
  list.unreadTail.clear();
  if (std::optional<std::string> bytes = readListFile(dhcpDir + macsFileName, failed)) {
    std::vector<macAddress> macs;
    if (!readIgnoreMacs(*bytes, macs, &list.unreadTail)) failed = true;
    for (const macAddress& mac : macs) list.add(mac);
  }
  if (std::optional<std::string> bytes = readListFile(dhcpDir + flagFileName, failed))
    list.mode = parseIgnoreFlag(*bytes);
  return !failed;
}

bool saveIgnoreList(const std::string& dhcpDir, const ignoreList& list) {
  return writeBytesFile(dhcpDir + macsFileName, ignoreMacsText(list.macs()) + list.unreadTail) &&
         writeBytesFile(dhcpDir + flagFileName, ignoreFlagText(list.mode));
}

}  // namespace zv
