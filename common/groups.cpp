#include "common/groups.h"

#include "common/fstream.h"
#include "common/installPaths.h"
#include "common/textConfigFile.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"

#include <arpa/inet.h>
#include <array>
#include <bit>
#include <cerrno>
#include <new>

namespace zv {
namespace {

constexpr const char* groupsFileName = "default.zvc";
constexpr std::u16string_view allWord = u"all";
// The longest address or mask text worth looking at ("255.255.255.255").
constexpr std::size_t maxAddressText = 15;

constexpr bool isBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

int hexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Walks one line field by field.
class fieldReader {
 public:
  explicit fieldReader(std::u16string_view line) : line_(line) {}

  bool atEnd() const { return pos_ >= line_.size(); }
  char16_t peek() const { return atEnd() ? u'\0' : line_[pos_]; }
  void skip() { ++pos_; }
  void skipBlanks() {
    while (!atEnd() && isBlank(line_[pos_])) ++pos_;
  }
  // The run of characters up to a blank, one of `stops` or the end.
  std::u16string_view field(std::u16string_view stops) {
    std::size_t start = pos_;
    while (!atEnd() && !isBlank(line_[pos_]) && stops.find(line_[pos_]) == stops.npos) ++pos_;
    return line_.substr(start, pos_ - start);
  }
  std::u16string_view rest() const { return line_.substr(pos_); }

 private:
  std::u16string_view line_;
  std::size_t pos_ = 0;
};

std::optional<uint32_t> parseAddress(std::u16string_view text) {
  if (text.empty() || text.size() > maxAddressText) return std::nullopt;
  std::string narrow;
  for (char16_t c : text) {
    if (c >= 0x80) return std::nullopt;
    narrow.push_back(char(c));
  }
  uint32_t address = 0;
  if (!parseIpv4(narrow, address)) return std::nullopt;
  return address;
}

// A hexadecimal group number from 1 to 255, with an optional '+'.
std::optional<uint8_t> parseNumber(std::u16string_view text) {
  if (text.starts_with(u'+')) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  unsigned value = 0;
  for (char16_t c : text) {
    int digit = hexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value * 16 + unsigned(digit);
    if (value > 0xFF) return std::nullopt;
  }
  if (value == 0) return std::nullopt;
  return uint8_t(value);
}

void reportBadLine(cappedLineLog& log, std::u16string_view line) {
  log.line("groups: Error in group line: '%s'.", toUtf8(line).c_str());
}

}  // namespace

uint32_t terminalGroup::mask() const {
  return prefix == 0 ? 0 : htonl(uint32_t(0xFFFFFFFFu << (32 - std::min<int>(prefix, 32))));
}

bool terminalGroup::contains(uint32_t ip) const {
  return isAll() || (ip & mask()) == (address & mask());
}

std::optional<uint8_t> parseGroupMask(std::u16string_view text) {
  if (text.find(u'.') != text.npos) {
    std::optional<uint32_t> mask = parseAddress(text);
    if (!mask) return std::nullopt;
    int ones = std::countl_one(ntohl(*mask));
    if (ones == 0) return std::nullopt;
    return uint8_t(ones);
  }
  if (text.empty() || text.size() > 2) return std::nullopt;
  unsigned value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + unsigned(c - u'0');
  }
  if (value < 1 || value > 32) return std::nullopt;
  return uint8_t(value);
}

std::optional<terminalGroup> parseGroupLine(std::u16string_view line) {
  fieldReader reader(line);
  reader.skipBlanks();
  terminalGroup group;
  std::optional<uint8_t> number = parseNumber(reader.field(u""));
  if (!number || reader.atEnd()) return std::nullopt;
  group.number = *number;
  reader.skipBlanks();

  std::u16string_view subnet = reader.field(u"/\\");
  if (subnet == allWord && (reader.atEnd() || isBlank(reader.peek()))) {
    group.address = 0;
    group.prefix = allGroupPrefix;
  } else {
    std::optional<uint32_t> address = parseAddress(subnet);
    if (!address || *address == 0) return std::nullopt;
    group.address = *address;
    reader.skipBlanks();
    if (reader.peek() != u'/' && reader.peek() != u'\\') return std::nullopt;
    reader.skip();
    reader.skipBlanks();
    std::optional<uint8_t> prefix = parseGroupMask(reader.field(u""));
    if (!prefix) return std::nullopt;
    group.prefix = *prefix;
  }
  // The field ended at a blank or at the end of the line.
  reader.skipBlanks();
  group.name = reader.rest();
  return group;
}

std::u16string groupLine(const terminalGroup& group) {
  static constexpr char digits[] = "0123456789abcdef";
  std::u16string line;
  line.push_back(char16_t(digits[group.number >> 4]));
  line.push_back(char16_t(digits[group.number & 0x0F]));
  line.push_back(u' ');
  if (group.isAll())
    line += allWord;
  else
    line += widenAscii(ipv4Text(group.address) + "/" + std::to_string(group.prefix));
  line.push_back(u' ');
  for (char16_t c : group.name) line.push_back(c == u'\r' || c == u'\n' ? u' ' : c);
  line += u"\r\n";
  return line;
}

std::vector<terminalGroup> readGroups(std::string_view bytes, std::vector<std::u16string>* kept) {
  std::vector<terminalGroup> groups;
  std::u16string text;
  try {
    text = decodeTextBytes(bytes);
  } catch (const std::bad_alloc&) {
    ZV_INTERNAL_ERROR();
    return groups;
  }
  std::array<bool, 256> used{};
  bool afterAll = false;
  // A damaged file of any size costs a few lines of the log on every read.
  cappedLineLog log("default.zvc");
  // Physical line by physical line: the reader's logical lines do not join, so each is
  // read from its physical line alone, and a line that gives no group is at hand
  // verbatim for `kept`.
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = std::min(text.find_first_of(u"\r\n", begin), text.size());
    std::u16string_view physical = std::u16string_view(text).substr(begin, end - begin);
    begin = end + 1;
    if (physical.find_first_not_of(u" \t") == physical.npos) continue;
    auto keep = [&] {
      if (kept) kept->emplace_back(physical);
    };
    if (afterAll) {
      keep();
      continue;
    }
    wideTextBuffer reader;
    reader.assign(std::u16string(physical));
    if (!reader.readLine(false)) {
      if (!reader.line().empty()) reportBadLine(log, reader.line());  // too long
      keep();  // a comment, or a line too long to read
      continue;
    }
    std::optional<terminalGroup> group = parseGroupLine(reader.line());
    if (!group) {
      reportBadLine(log, reader.line());
      keep();
      continue;
    }
    if (used[group->number]) {
      log.line("groups: Group %02x is given twice, line skipped: '%s'.", group->number,
               toUtf8(reader.line()).c_str());
      keep();
      continue;
    }
    used[group->number] = true;
    groups.push_back(std::move(*group));
    afterAll = groups.back().isAll();
  }
  return groups;
}

std::string groupsFileBytes(std::span<const terminalGroup> groups,
                            std::span<const std::u16string> kept) {
  std::u16string text;
  for (const terminalGroup& group : groups) text += groupLine(group);
  // Kept lines stay inert: after an "all" group nothing is read; without one, a kept line
  // that would read as a group is written as a comment instead of coming alive.
  bool endsWithAll = !groups.empty() && groups.back().isAll();
  for (const std::u16string& line : kept) {
    wideTextBuffer reader;
    reader.assign(line);
    if (!endsWithAll && reader.readLine(false) && parseGroupLine(reader.line())) text += u"# ";
    text += line;
    text += u"\r\n";
  }
  std::string bytes = "\xFF\xFE";
  bytes.reserve(2 + 2 * text.size());
  for (char16_t unit : text) {
    bytes.push_back(char(unit & 0xFF));
    bytes.push_back(char(unit >> 8));
  }
  return bytes;
}

bool holdableGroupName(std::u16string_view name) {
  if (name.find_first_of(u"#\r\n") != name.npos) return false;
  return name.empty() || (!isBlank(name.front()) && !isBlank(name.back()));
}

bool isWellFormed(std::span<const terminalGroup> groups) {
  std::array<bool, 256> used{};
  for (std::size_t i = 0; i < groups.size(); ++i) {
    const terminalGroup& group = groups[i];
    if (group.number == 0 || used[group.number] || !holdableGroupName(group.name)) return false;
    used[group.number] = true;
    if (group.isAll() ? i + 1 != groups.size() : group.prefix < 1 || group.prefix > 32)
      return false;
  }
  return true;
}

uint8_t nextGroupNumber(std::span<const terminalGroup> groups,
                        std::span<const uint8_t> createdInEditor) {
  std::array<bool, 256> used{};
  for (const terminalGroup& group : groups) used[group.number] = true;
  for (uint8_t number : createdInEditor) used[number] = true;
  for (int number = 1; number <= lastNewGroupNumber; ++number)
    if (!used[number]) return uint8_t(number);
  return 0;
}

std::string groupsPath() {
  return paths().everyoneDir + groupsFileName;
}

bool groupList::load(const std::string& path) {
  groups_.clear();
  kept_.clear();
  fileContents contents = readFileLimited(path, textFileLimit);
  if (contents.status == readStatus::missing) return true;
  if (!contents.ok()) return false;
  groups_ = readGroups(contents.bytes, &kept_);
  return true;
}

bool groupList::save(const std::string& path) const {
  if (!isWellFormed(groups_)) {
    // The file would read back as another list.
    ZV_REPORT("Group list of %zu groups is not well formed, default.zvc not written.",
              groups_.size());
    return false;
  }
  atomicFileWriter file;
  if (!file.open(path)) {
    ZV_REPORT("Failed to open file default.zvc.");
    ZV_INTERNAL_ERROR();
    return false;
  }
  std::string bytes = groupsFileBytes(groups_, kept_);
  if (!file.write(bytes)) {
    ZV_REPORT("Failed to put line into file default.zvc.");
    ZV_INTERNAL_ERROR();
    return false;
  }
  if (!file.commit()) {
    ZV_REPORT("%s", errnoText(("rename to " + path).c_str(), errno).c_str());
    ZV_INTERNAL_ERROR();
    return false;
  }
  return true;
}

const terminalGroup* groupList::find(int number) const {
  for (const terminalGroup& group : groups_)
    if (group.number == number) return &group;
  return nullptr;
}

const terminalGroup* groupList::groupFor(uint32_t ip) const {
  for (const terminalGroup& group : groups_)
    if (group.contains(ip)) return &group;
  return nullptr;
}

groupNameLookup groupList::nameLookup() const {
  return [this](int number) -> std::optional<std::u16string> {
    if (const terminalGroup* group = find(number)) return group->name;
    return std::nullopt;
  };
}

bool replaceGroups(groupList& list, std::vector<terminalGroup> groups,
                   std::span<const uint8_t> deleted, const std::string& path,
                   const std::string& terminalsDir, const groupTerminalHooks& hooks) {
  if (hooks.removeGroupTerminals) hooks.removeGroupTerminals();
  std::vector<terminalGroup> previous = list.groups();
  list.assign(std::move(groups));
  bool saved = list.save(path);
  if (!saved) {
    list.assign(std::move(previous));
  } else {
    for (uint8_t number : deleted) {
      if (number == 0 || list.find(number)) continue;
      std::string directory = terminalsDir + groupMac(number).directoryName();
      if (!removeTree(directory)) ZV_INTERNAL_ERROR();
    }
  }
  if (hooks.loadGroupTerminals) hooks.loadGroupTerminals();
  return saved;
}

}  // namespace zv
