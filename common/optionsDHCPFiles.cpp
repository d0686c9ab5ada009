// The option files: value and name file formats, loading and saving a directory of
// options, the default option of one code, and the resolution the editor shows.
#include "common/optionsDHCP.h"

#include "common/textConfigFile.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/ipv4.h"
#include "platform/textConv.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <set>

namespace zv {
namespace {

constexpr std::string_view autoMarker = "[auto]";
constexpr std::string_view nameFileExtension = ".opname";
// Raw value files (str, bin, numbers) count only their first bytes.
constexpr std::size_t rawReadLimit = dhcpOption::valueSize;
// Address files are read whole; no real one comes near this size, and a larger one is
// refused rather than read into memory.
constexpr std::size_t lineFileLimit = std::size_t(1) << 20;
constexpr std::size_t maxListAddresses = 15;
constexpr std::size_t nameFileUnits = 64;
// A value of option 18 is the digest of a password: 32 hexadecimal digits at least.
constexpr int32_t passwordCode = 18;
constexpr std::size_t passwordMinLength = 32;
// Value file names: "NNN" and an extension of 2 to 6 characters.
constexpr std::size_t minOptionFileName = 6;
constexpr std::size_t maxOptionFileName = 10;

std::string joinPath(const std::string& directory, std::string_view name) {
  std::string path = directory;
  if (!path.empty() && path.back() != '/') path.push_back('/');
  path.append(name);
  return path;
}

bool endsWithNoCase(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() &&
         equalsNoCase(text.substr(text.size() - ending.size()), ending);
}

// At most `limit` bytes from the start of a regular file, and whether more follow.
// nullopt when the file is missing, not a regular file, a link or unreadable.
std::optional<std::string> readHead(const std::string& path, std::size_t limit, bool& more) {
  std::size_t slash = path.rfind('/');
  std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  fileContents contents =
      readFileHeadIn(directory, slash == std::string::npos ? path : path.substr(slash + 1), limit);
  more = contents.more;
  if (!contents.ok()) return std::nullopt;
  return std::move(contents.bytes);
}

// The names of the entries other than directories, in the order the file system gives
// them. A missing directory has none; any other failure is logged.
std::vector<std::string> fileNames(const std::string& directory) {
  std::vector<std::string> names;
  auto entries = zv::listDirectory(directory, linkRule::refuse);
  if (!entries) {
    if (errno != ENOENT && errno != ENOTDIR)
      ZV_REPORT("%s", errnoText(directory.c_str(), errno).c_str());
    return names;
  }
  for (directoryEntry& entry : *entries)
    if (entry.type != entryType::directory && !isTemporaryName(entry.name))
      names.push_back(std::move(entry.name));
  return names;
}

// The code of a value file name: three decimal digits and a '.', 6 to 10 characters.
std::optional<int32_t> optionFileCode(std::string_view name) {
  if (name.size() < minOptionFileName || name.size() > maxOptionFileName) return std::nullopt;
  int32_t code = 0;
  for (char c : name.substr(0, 3)) {
    if (c < '0' || c > '9') return std::nullopt;
    code = code * 10 + (c - '0');
  }
  if (name[3] != '.') return std::nullopt;
  return code;
}

// The type of a value file by the ending of its name; dhcpTypeNone for any other file.
int32_t optionFileType(std::string_view name) {
  for (int32_t type = dhcpTypeIp; type <= dhcpTypeBin; ++type)
    if (endsWithNoCase(name, optionTypeExtension(type))) return type;
  return dhcpTypeNone;
}

// "a.b.c.d" by the one address rule of the system.
bool parseAddress(std::string_view text, uint8_t (&octets)[4]) {
  std::optional<uint32_t> address = parseIpv4Text(text);
  if (!address) return false;
  std::memcpy(octets, &*address, 4);  // network order: the first octet first
  return true;
}

bool appendAddress(std::string_view line, dhcpOption& out) {
  uint8_t octets[4];
  if (out.length + 4 > dhcpOption::valueSize || !parseAddress(line, octets)) return false;
  std::memcpy(out.value.data() + out.length, octets, 4);
  out.length += 4;
  return true;
}

// The "[auto]" of a raw value file: the six characters in any case, alone or followed
// by a zero byte.
bool isRawAutoMarker(std::string_view bytes) {
  return bytes.size() >= autoMarker.size() &&
         equalsNoCase(bytes.substr(0, autoMarker.size()), autoMarker) &&
         (bytes.size() == autoMarker.size() || bytes[autoMarker.size()] == '\0');
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// Blanks, an optional sign, blanks, digits, blanks and nothing else; the number must
// fit a signed 32-bit integer.
bool parseNumber(std::string_view text, int32_t& number) {
  std::size_t at = 0;
  auto skipBlanks = [&] {
    while (at < text.size() && isBlank(text[at])) ++at;
  };
  skipBlanks();
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  skipBlanks();
  std::size_t start = at;
  int64_t magnitude = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    magnitude = magnitude * 10 + (text[at] - '0');
    if (magnitude > int64_t(1) << 31) return false;
    ++at;
  }
  if (at == start) return false;
  skipBlanks();
  if (at != text.size()) return false;
  int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX || value < INT32_MIN) return false;
  number = int32_t(value);
  return true;
}

bool parseAddressFile(int32_t type, std::string_view bytes, dhcpOption& out) {
  byteTextBuffer lines;
  if (!lines.openBytes(bytes)) return false;
  if (!lines.readLine(false)) return type == dhcpTypeIpList && lines.atEnd();
  if (equalsNoCase(lines.line(), autoMarker)) {
    out.isAuto = true;
    return true;
  }
  if (!appendAddress(lines.line(), out)) return false;
  if (type == dhcpTypeIp) return true;
  while (lines.readLine(false))
    if (out.length / 4 >= maxListAddresses || !appendAddress(lines.line(), out)) return false;
  return lines.atEnd();
}

bool parseNumberFile(int32_t type, std::string_view bytes, dhcpOption& out) {
  int32_t number = 0;
  if (!parseNumber(bytes, number)) return false;
  if (number == 0) return true;
  uint32_t bits = uint32_t(number);
  if ((type == dhcpTypeU8 && number > 0xFF) || (type == dhcpTypeU16 && number > 0xFFFF))
    return false;
  // A number whose stored bits are all zero (-256 as u8, say) is stored as nothing, as
  // 0 itself is: a zero byte would be written back as "0" and then read as no value.
  if ((type == dhcpTypeU8 && (bits & 0xFF) == 0) || (type == dhcpTypeU16 && (bits & 0xFFFF) == 0))
    return true;
  if (type == dhcpTypeU8) {
    if (number > 0xFF) return false;
    out.value[0] = uint8_t(bits);
    out.length = 1;
  } else if (type == dhcpTypeU16) {
    if (number > 0xFFFF) return false;
    out.value[0] = uint8_t(bits >> 8);
    out.value[1] = uint8_t(bits);
    out.length = 2;
  } else {
    for (int i = 0; i < 4; ++i) out.value[i] = uint8_t(bits >> (24 - 8 * i));
    out.length = 4;
  }
  return true;
}

// Reads one value file the way the loader does. Null on success, otherwise why the
// file cannot be taken.
const char* optionFileProblem(const std::string& path, int32_t type, dhcpOption& out) {
  bool lineFile = type == dhcpTypeIp || type == dhcpTypeIpList;
  bool more = false;
  std::optional<std::string> bytes = readHead(path, lineFile ? lineFileLimit : rawReadLimit, more);
  if (!bytes) return "it is not a readable regular file";
  if (lineFile && more) return "it is too large";
  if (!parseOptionValue(type, *bytes, out)) return "its content is not a value of its type";
  return nullptr;
}

bool readOptionFile(const std::string& path, int32_t type, dhcpOption& out) {
  return optionFileProblem(path, type, out) == nullptr;
}

std::u16string readNameFile(const std::string& path) {
  bool more = false;
  std::optional<std::string> bytes = readHead(path, lineFileLimit, more);
  return bytes ? parseOptionName(*bytes) : std::u16string();
}

// The rules every value file passes before its option is taken: a value or "[auto]",
// a password digest of full length, and the fixed type of a predefined option.
bool acceptOption(const dhcpOption& option, const std::string& fileName) {
  if (!option.isSet()) return false;
  if (option.code == passwordCode && option.length < passwordMinLength) return false;
  const predefinedDhcpOption* row = predefinedOption(option.code);
  if (row && row->type != option.type) {
    ZV_REPORT("File with incorrect type of predefined option found: %s", fileName.c_str());
    errno = EINVAL;
    ZV_INTERNAL_ERROR();
    return false;
  }
  return true;
}

// Reads the value file `name` of a directory into a fresh record and applies the rules;
// nullopt when it is not taken.
std::optional<dhcpOption> readAcceptedOption(const std::string& directory, const std::string& name,
                                             int32_t code, int32_t type) {
  dhcpOption option;
  option.code = code;
  std::string path = joinPath(directory, name);
  if (const char* problem = optionFileProblem(path, type, option)) {
    logMessage("DHCP option file %s is skipped: %s.", path.c_str(), problem);
    return std::nullopt;
  }
  if (!acceptOption(option, name)) return std::nullopt;
  return option;
}

// "???" and the extension of a value type: the files a save replaces.
bool isSavedValueFileName(std::string_view name) {
  for (int32_t type = dhcpTypeIp; type <= dhcpTypeBin; ++type) {
    std::string_view extension = optionTypeExtension(type);
    if (name.size() == 3 + extension.size() && endsWithNoCase(name, extension)) return true;
  }
  return false;
}

bool writeOrReport(const std::string& path, std::string_view bytes) {
  if (writeFileAtomically(path, bytes)) return true;
  ZV_INTERNAL_ERROR();
  return false;
}

}  // namespace

// ---- formats ---------------------------------------------------------------------------

std::string optionFileName(int32_t code, int32_t type) {
  return formatText("%03d", int(code)) + std::string(optionTypeExtension(type));
}

std::string optionNameFileName(int32_t code) {
  return formatText("%03d", int(code)) + std::string(nameFileExtension);
}

bool parseOptionValue(int32_t type, std::string_view bytes, dhcpOption& out) {
  out.type = type;
  out.value.fill(0);
  out.length = 0;
  out.isAuto = false;
  if (type == dhcpTypeIp || type == dhcpTypeIpList) return parseAddressFile(type, bytes, out);
  if (type < dhcpTypeStr || type > dhcpTypeBin) return false;

  bytes = bytes.substr(0, rawReadLimit);
  if (isRawAutoMarker(bytes)) {
    out.isAuto = true;
    return true;
  }
  switch (type) {
    case dhcpTypeStr:
      // The text and its zero byte must fit the value: longer text is cut.
      bytes = bytes.substr(0, dhcpOption::valueSize - 1);
      std::memcpy(out.value.data(), bytes.data(), bytes.size());
      out.length = uint32_t(bytes.size() + 1);
      return true;
    case dhcpTypeBin:
      std::memcpy(out.value.data(), bytes.data(), bytes.size());
      out.length = uint32_t(bytes.size());
      return true;
    default:
      return parseNumberFile(type, bytes, out);
  }
}

std::string optionValueFileBytes(const dhcpOption& option) {
  if (option.isAuto) return std::string(autoMarker);
  if (option.length == 0) return {};
  std::u16string text;
  switch (option.type) {
    case dhcpTypeBin:
      return std::string(option.bytes());
    case dhcpTypeIpList:
      text = optionValueText(option, u"\r\n");
      break;
    case dhcpTypeIp:
    case dhcpTypeStr:
    case dhcpTypeU8:
    case dhcpTypeU16:
    case dhcpTypeU32:
      text = optionValueText(option, u" ");
      break;
    default:
      return {};
  }
  // One byte per character: the low byte of each unit.
  std::string bytes(text.size(), '\0');
  std::transform(text.begin(), text.end(), bytes.begin(),
                 [](char16_t unit) { return char(unit & 0xFF); });
  return bytes;
}

std::u16string parseOptionName(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE")) bytes.remove_prefix(2);
  std::u16string units = decodeUtf16le(bytes);
  // The name is a zero-terminated field; the padding after it is not part of the text.
  units.resize(std::min(units.size(), units.find(u'\0')));
  wideTextBuffer lines;
  lines.assign(std::move(units));
  lines.readLine(false);
  return lines.line().substr(0, dhcpOption::nameLimit);
}

std::string optionNameFileBytes(std::u16string_view name) {
  std::string bytes = "\xFF\xFE";
  bytes.resize(2 + 2 * nameFileUnits, '\0');
  name = name.substr(0, dhcpOption::nameLimit);
  for (std::size_t i = 0; i < name.size(); ++i) {
    bytes[2 + 2 * i] = char(name[i] & 0xFF);
    bytes[3 + 2 * i] = char(name[i] >> 8);
  }
  return bytes;
}

// ---- directories ------------------------------------------------------------------------

bool loadOptions(dhcpOptionList& list, const std::string& directory) {
  list.clear();
  for (const std::string& name : fileNames(directory)) {
    std::optional<int32_t> code = optionFileCode(name);
    int32_t type = code ? optionFileType(name) : dhcpTypeNone;
    if (type == dhcpTypeNone) continue;
    // An accepted ".ip" file replaces whatever else was taken for its code (a refused one
    // takes nothing away); any other file only fills a code not taken yet.
    if (type != dhcpTypeIp && findOption(list, *code)) continue;
    std::optional<dhcpOption> option = readAcceptedOption(directory, name, *code, type);
    if (!option) continue;
    if (type == dhcpTypeIp)
      std::erase_if(list, [&](const dhcpOption& held) { return held.code == *code; });
    option->name = readNameFile(joinPath(directory, optionNameFileName(*code)));
    list.push_back(std::move(*option));
  }
  return true;
}

bool loadDefaultOption(int32_t code, const std::string& directory, dhcpOption& out) {
  std::optional<dhcpOption> found;
  for (const std::string& name : fileNames(directory)) {
    std::optional<int32_t> fileCode = optionFileCode(name);
    if (!fileCode || *fileCode != code) continue;
    int32_t type = optionFileType(name);
    if (type == dhcpTypeNone || (found && type != dhcpTypeIp)) continue;
    if (std::optional<dhcpOption> option = readAcceptedOption(directory, name, code, type))
      found = std::move(option);
  }
  if (!found) {
    out = dhcpOption{};
    return false;
  }
  found->name = readNameFile(joinPath(directory, optionNameFileName(code)));
  out = std::move(*found);
  return true;
}

bool saveOptions(dhcpOptionList& list, const std::string& directory) {
  if (!isDirectory(directory) && !makeDirectories(directory)) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  bool ok = true;
  // Value files that now hold a record of the list, written or (after a failed write)
  // left as they were; every other value file goes.
  std::set<std::string> kept;
  for (dhcpOption& option : list) {
    if (option.code == dhcpOption::newOptionCode || !option.isSet()) continue;
    if (option.code < 0 || option.code > dhcpOption::newOptionCode ||
        optionTypeExtension(option.type).empty()) {
      ZV_REPORT("DHCP option %d of type %d cannot be saved.", int(option.code), int(option.type));
      ok = false;
      continue;
    }
    std::string fileName = optionFileName(option.code, option.type);
    if (!option.isAuto) {
      std::string namePath = joinPath(directory, optionNameFileName(option.code));
      if (!option.name.empty())
        ok = writeOrReport(namePath, optionNameFileBytes(option.name)) && ok;
      else if (fileExists(namePath))
        option.name = readNameFile(namePath);
    }
    ok = writeOrReport(joinPath(directory, fileName), optionValueFileBytes(option)) && ok;
    kept.insert(fileName);
  }
  // Only files the store can read go: one that does not parse was skipped at load, so
  // the list cannot stand for it, and it stays for the administrator (and the DHCP
  // service) to see.
  for (const std::string& name : fileNames(directory)) {
    if (!isSavedValueFileName(name) || !optionFileCode(name) || kept.count(name)) continue;
    dhcpOption probe;
    if (!readOptionFile(joinPath(directory, name), optionFileType(name), probe)) {
      logMessage("DHCP option file %s is kept: it was not read.",
                 joinPath(directory, name).c_str());
      continue;
    }
    if (!removeIfPresent(joinPath(directory, name))) ok = false;
  }
  return ok;
}

bool resolveOption(const dhcpOptionList& terminal, int32_t code,
                   const std::string& defaultsDirectory, dhcpOption& out, optionSource* source) {
  auto settle = [&](optionSource from, bool resolved) {
    if (source) *source = from;
    return resolved;
  };
  out = dhcpOption{};
  out.code = code;
  if (code == dhcpOption::newOptionCode) {
    out.type = dhcpTypeIp;
    return settle(optionSource::none, false);
  }
  if (const dhcpOption* own = findOption(terminal, code)) {
    out.type = own->type;
    if (own->isSet()) {
      out = *own;
      return settle(optionSource::terminal, true);
    }
  }
  dhcpOption fallback;
  if (loadDefaultOption(code, defaultsDirectory, fallback)) {
    out = std::move(fallback);
    return settle(optionSource::defaults, true);
  }
  if (const predefinedDhcpOption* row = predefinedOption(code)) {
    out.type = row->type;
    return settle(optionSource::predefined, true);
  }
  return settle(optionSource::none, false);
}

// ---- reports ---------------------------------------------------------------------------

std::vector<dhcpOptionReport> reportTerminalOptions(const dhcpOptionList& terminal,
                                                    const std::string& defaultsDirectory) {
  constexpr int32_t firstListed = 1, lastListed = 255;
  std::set<int32_t> codes;
  for (int32_t code = firstListed; code <= lastListed; ++code) codes.insert(code);
  dhcpOptionList defaults;
  loadOptions(defaults, defaultsDirectory);
  for (const dhcpOptionList* list : {&terminal, static_cast<const dhcpOptionList*>(&defaults)})
    for (const dhcpOption& option : *list)
      if (option.code >= 0 && option.code < dhcpOption::newOptionCode) codes.insert(option.code);

  std::vector<dhcpOptionReport> reports;
  for (int32_t code : codes) {
    dhcpOption option;
    optionSource source = optionSource::none;
    if (resolveOption(terminal, code, defaultsDirectory, option, &source))
      reports.push_back(reportOption(option, source));
  }
  return reports;
}

std::vector<dhcpOptionReport> reportDefaultOptions(const dhcpOptionList& defaults) {
  std::vector<dhcpOptionReport> reports;
  for (const dhcpOption& option : defaults)
    reports.push_back(reportOption(option, optionSource::defaults));
  std::stable_sort(
      reports.begin(), reports.end(),
      [](const dhcpOptionReport& a, const dhcpOptionReport& b) { return a.code < b.code; });
  return reports;
}

bool dhcpDefaults::save(dhcpOptionList& edited) {
  bool saved = saveOptions(edited, directory_);
  load();
  return saved;
}

}  // namespace zv
