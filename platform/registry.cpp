#include "platform/registry.h"

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <optional>

namespace zv {

regValue regValue::string(std::string text) {
  regValue v;
  v.type = regType::sz;
  v.text = std::move(text);
  return v;
}
regValue regValue::dword(uint32_t number) {
  regValue v;
  v.type = regType::dword;
  v.number = number;
  return v;
}
regValue regValue::multi(std::vector<std::string> list) {
  regValue v;
  v.type = regType::multi;
  v.list = std::move(list);
  return v;
}

namespace {

constexpr std::string_view blanks = " \t";

std::string_view trim(std::string_view s) {
  while (!s.empty() && blanks.find(s.front()) != std::string_view::npos) s.remove_prefix(1);
  while (!s.empty() && (blanks.find(s.back()) != std::string_view::npos || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// "\Software\Zelvar\" and "Software\Zelvar" name the same key.
std::string_view normalKey(std::string_view key) {
  while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  return key;
}

bool parseDword(std::string_view text, uint32_t& number) {
  text = trim(text);
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 10) return false;
  uint64_t value = 0;
  for (char c : text) {
    int digit = c >= '0' && c <= '9'                 ? c - '0'
                : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
    if (digit < 0) return false;
    value = value * uint64_t(base) + uint64_t(digit);
  }
  if (value > 0xFFFFFFFFu) return false;
  number = uint32_t(value);
  return true;
}

bool hasLineBreak(std::string_view s) {
  return s.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

std::string formatRegValue(const regValue& value) {
  switch (value.type) {
    case regType::sz:
      return "sz:" + value.text;
    case regType::dword:
      return "dword:" + std::to_string(value.number);
    case regType::multi: {
      std::string out = "multi:";
      for (std::size_t i = 0; i < value.list.size(); ++i) {
        if (i) out.push_back(',');
        for (char c : value.list[i]) {
          if (c == ',' || c == '\\') out.push_back('\\');
          out.push_back(c);
        }
      }
      return out;
    }
  }
  return {};
}

bool parseRegValue(std::string_view data, regValue& value) {
  if (data.starts_with("sz:")) {
    value = regValue::string(std::string(data.substr(3)));
    return true;
  }
  if (data.starts_with("dword:")) {
    uint32_t n = 0;
    if (!parseDword(data.substr(6), n)) return false;
    value = regValue::dword(n);
    return true;
  }
  if (data.starts_with("multi:")) {
    std::vector<std::string> list;
    std::string_view rest = data.substr(6);
    if (!rest.empty()) {
      std::string item;
      for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '\\' && i + 1 < rest.size() && (rest[i + 1] == ',' || rest[i + 1] == '\\')) {
          item.push_back(rest[++i]);
        } else if (rest[i] == ',') {
          list.push_back(std::move(item));
          item.clear();
        } else {
          item.push_back(rest[i]);
        }
      }
      list.push_back(std::move(item));
    }
    value = regValue::multi(std::move(list));
    return true;
  }
  return false;
}

// The file as lines. Lines that are not values (comments, blanks, damage) keep their
// text so that writing the file back preserves them.
struct registryStore::document {
  struct line {
    std::string raw;      // written back verbatim unless `value` was changed
    std::string section;  // the key this line belongs to (normalised)
    std::string name;     // value name, empty for other lines
    std::optional<regValue> value;
    bool header = false;
    bool changed = false;
  };
  std::vector<line> lines;
  bool exists = false;

  std::optional<std::size_t> findHeader(std::string_view key) const {
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (lines[i].header && equalsNoCase(lines[i].section, key)) return i;
    return std::nullopt;
  }
  bool hasKey(std::string_view key) const { return findHeader(key).has_value(); }
  line* findValue(std::string_view key, std::string_view name) {
    for (auto& l : lines)
      if (l.value && equalsNoCase(l.section, key) && equalsNoCase(l.name, name)) return &l;
    return nullptr;
  }
};

registryStore::registryStore(std::string path, bool privateDirectory)
    : path_(std::move(path)), privateDirectory_(privateDirectory) {}

std::string registryStore::path() const {
  std::lock_guard guard(mutex_);
  return path_;
}

void registryStore::setPath(std::string path) {
  std::lock_guard guard(mutex_);
  path_ = std::move(path);
}

registryStore& registryStore::localMachine() {
  static registryStore store([] {
    const char* env = std::getenv("ZELVAR_HKLM");
    return std::string(env && *env ? env : "/etc/zelvar/registry.conf");
  }());
  return store;
}

registryStore& registryStore::currentUser() {
  static registryStore store(
      [] {
        if (const char* env = std::getenv("ZELVAR_HKCU"); env && *env) return std::string(env);
        if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
          return std::string(xdg) + "/zelvar/registry.conf";
        const char* home = std::getenv("HOME");
        return std::string(home && *home ? home : "/root") + "/.config/zelvar/registry.conf";
      }(),
      true);
  return store;
}

bool registryStore::load(document& doc) {
  doc = {};
  // The store may be a link placed by the administrator (/etc is outside the
  // installation); the seam still refuses anything but a regular file of sane size.
  fileContents contents = readFileLimited(path_, registryFileLimit, linkRule::follow);
  if (contents.status == readStatus::missing) return true;  // an empty store
  if (!contents.ok()) return false;
  std::optional<std::string> bytes = std::move(contents.bytes);
  cappedLineLog badLines(path_);
  doc.exists = true;
  std::string section;
  std::string_view rest = *bytes;
  int number = 0;
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    std::string_view raw = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    ++number;
    document::line l;
    l.raw = std::string(raw);
    std::string_view text = trim(raw);
    if (!raw.empty() && raw.back() == '\r') l.raw.pop_back();
    if (text.empty() || text.front() == '#' || text.front() == ';') {
      l.section = section;
    } else if (text.front() == '[' && text.back() == ']') {
      section = std::string(normalKey(trim(text.substr(1, text.size() - 2))));
      l.section = section;
      l.header = true;
    } else {
      l.section = section;
      std::size_t eq = text.find('=');
      regValue value;
      std::string_view name = eq == std::string_view::npos ? "" : trim(text.substr(0, eq));
      std::string_view data = eq == std::string_view::npos ? "" : text.substr(eq + 1);
      while (!data.empty() && blanks.find(data.front()) != std::string_view::npos)
        data.remove_prefix(1);
      // sz data is the rest of the raw line verbatim, trailing blanks included.
      if (data.starts_with("sz:")) {
        std::string_view rawData = raw.substr(raw.find("sz:", raw.find('=')));
        if (!rawData.empty() && rawData.back() == '\r') rawData.remove_suffix(1);
        data = rawData;
      }
      if (section.empty() || name.empty() || !parseRegValue(data, value)) {
        badLines.line("Registry file %s, line %d is not understood and is skipped: %s",
                      path_.c_str(), number, std::string(text.substr(0, 200)).c_str());
      } else {
        l.name = std::string(name);
        l.value = std::move(value);
      }
    }
    doc.lines.push_back(std::move(l));
  }
  return true;
}

bool registryStore::save(const document& doc) {
  std::string out;
  for (const auto& l : doc.lines) {
    if (l.changed && l.value) {
      out += l.name + " = " + formatRegValue(*l.value);
    } else if (l.changed && l.header) {
      out += "[" + l.section + "]";
    } else {
      out += l.raw;
    }
    out += '\n';
  }
  std::size_t slash = path_.rfind('/');
  // The per-user store's directory holds settings of one user only: 0700.
  if (slash != std::string::npos && slash > 0)
    makeDirectories(path_.substr(0, slash), privateDirectory_ ? 0700 : 0755);
  if (!writeFileAtomically(path_, out)) {
    logMessage("Registry file %s cannot be written: %s", path_.c_str(),
               errnoText("write", errno).c_str());
    return false;
  }
  return true;
}

namespace {

// Holds an advisory lock on "<store>.lock" for one read-modify-write, so that two
// processes changing the same store do not lose each other's change.
class storeLock {
 public:
  explicit storeLock(const std::string& path) {
    fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~storeLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  storeLock(const storeLock&) = delete;
  storeLock& operator=(const storeLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

bool registryStore::keyExists(std::string_view key) {
  std::lock_guard guard(mutex_);
  document doc;
  return load(doc) && doc.hasKey(normalKey(key));
}

regStatus registryStore::query(std::string_view key, std::string_view name, regValue& value) {
  std::lock_guard guard(mutex_);
  document doc;
  if (!load(doc)) return regStatus::failed;
  key = normalKey(key);
  if (!doc.hasKey(key)) return regStatus::noKey;
  document::line* l = doc.findValue(key, name.empty() ? "@" : name);
  if (!l) return regStatus::noValue;
  value = *l->value;
  return regStatus::ok;
}

regStatus registryStore::queryString(std::string_view key, std::string_view name,
                                     std::string& text) {
  regValue v;
  regStatus s = query(key, name, v);
  if (s != regStatus::ok) return s;
  if (v.type != regType::sz) return regStatus::wrongType;
  text = v.text;
  return s;
}

regStatus registryStore::queryDword(std::string_view key, std::string_view name, uint32_t& number) {
  regValue v;
  regStatus s = query(key, name, v);
  if (s != regStatus::ok) return s;
  if (v.type != regType::dword) return regStatus::wrongType;
  number = v.number;
  return s;
}

regStatus registryStore::queryMulti(std::string_view key, std::string_view name,
                                    std::vector<std::string>& list) {
  regValue v;
  regStatus s = query(key, name, v);
  if (s != regStatus::ok) return s;
  if (v.type != regType::multi) return regStatus::wrongType;
  list = v.list;
  return s;
}

std::vector<std::string> registryStore::valueNames(std::string_view key) {
  std::lock_guard guard(mutex_);
  document doc;
  std::vector<std::string> names;
  if (!load(doc)) return names;
  key = normalKey(key);
  for (const auto& l : doc.lines)
    if (l.value && equalsNoCase(l.section, key)) names.push_back(l.name);
  return names;
}

bool registryStore::createKey(std::string_view key) {
  key = normalKey(key);
  if (key.empty() || hasLineBreak(key) || key.find(']') != std::string_view::npos) return false;
  std::lock_guard guard(mutex_);
  storeLock lock(path_);
  document doc;
  if (!load(doc)) return false;
  if (doc.hasKey(key)) return true;
  if (!doc.lines.empty() && !trim(doc.lines.back().raw).empty()) doc.lines.push_back({});
  document::line header;
  header.section = std::string(key);
  header.header = true;
  header.changed = true;
  doc.lines.push_back(std::move(header));
  return save(doc);
}

bool registryStore::set(std::string_view key, std::string_view name, const regValue& value) {
  key = normalKey(key);
  if (name.empty()) name = "@";
  if (key.empty() || hasLineBreak(key) || key.find(']') != std::string_view::npos ||
      hasLineBreak(name) || name.find('=') != std::string_view::npos || name != trim(name) ||
      name.front() == '[' || name.front() == '#' || name.front() == ';')
    return false;
  if (hasLineBreak(value.text)) return false;
  for (const auto& item : value.list)
    if (hasLineBreak(item)) return false;

  std::lock_guard guard(mutex_);
  storeLock lock(path_);
  document doc;
  if (!load(doc)) return false;
  if (document::line* l = doc.findValue(key, name)) {
    l->value = value;
    l->changed = true;
    return save(doc);
  }
  document::line added;
  added.section = std::string(key);
  added.name = std::string(name);
  added.value = value;
  added.changed = true;
  if (auto headerAt = doc.findHeader(key)) {
    // After the key's last value line (blank and comment lines that follow stay after).
    std::size_t at = *headerAt + 1;
    for (std::size_t i = at; i < doc.lines.size() && !doc.lines[i].header; ++i)
      if (doc.lines[i].value && equalsNoCase(doc.lines[i].section, key)) at = i + 1;
    doc.lines.insert(doc.lines.begin() + std::ptrdiff_t(at), std::move(added));
  } else {
    if (!doc.lines.empty() && !trim(doc.lines.back().raw).empty()) doc.lines.push_back({});
    document::line header;
    header.section = std::string(key);
    header.header = true;
    header.changed = true;
    doc.lines.push_back(std::move(header));
    doc.lines.push_back(std::move(added));
  }
  return save(doc);
}

regStatus registryStore::deleteValue(std::string_view key, std::string_view name) {
  key = normalKey(key);
  if (name.empty()) name = "@";
  std::lock_guard guard(mutex_);
  storeLock lock(path_);
  document doc;
  if (!load(doc)) return regStatus::failed;
  if (!doc.hasKey(key)) return regStatus::noKey;
  for (auto it = doc.lines.begin(); it != doc.lines.end(); ++it) {
    if (it->value && equalsNoCase(it->section, key) && equalsNoCase(it->name, name)) {
      doc.lines.erase(it);
      return save(doc) ? regStatus::ok : regStatus::failed;
    }
  }
  return regStatus::noValue;
}

regStatus registryStore::deleteKey(std::string_view key) {
  key = normalKey(key);
  std::lock_guard guard(mutex_);
  storeLock lock(path_);
  document doc;
  if (!load(doc)) return regStatus::failed;
  if (!doc.hasKey(key)) return regStatus::noKey;
  std::erase_if(doc.lines, [&](const document::line& l) {
    return (l.header || l.value) && equalsNoCase(l.section, key);
  });
  return save(doc) ? regStatus::ok : regStatus::failed;
}

}  // namespace zv
