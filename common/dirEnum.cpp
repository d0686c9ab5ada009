#include "common/dirEnum.h"

#include "platform/files.h"
#include "platform/textConv.h"

#include <sys/stat.h>

namespace zv {

bool wildcardMatch(std::string_view pattern, std::string_view name) {
  // Iterative matching with one back-tracking point for the last '*'.
  std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || asciiUpper(pattern[p]) == asciiUpper(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

dirEnum::dirEnum(std::string directory, std::string pattern)
    : directory_(std::move(directory)), pattern_(std::move(pattern)) {
  if (!directory_.empty() && directory_.back() != '/') directory_.push_back('/');
}

dirEnum::~dirEnum() {
  if (dir_) ::closedir(dir_);
}

bool dirEnum::next() {
  if (finished_) return false;
  if (!dir_) {
    dir_ = ::opendir(directory_.c_str());
    if (!dir_) {
      finished_ = true;
      return false;
    }
  }
  while (dirent* entry = ::readdir(dir_)) {
    if (!wildcardMatch(pattern_, entry->d_name)) continue;
    name_ = entry->d_name;
    if (entry->d_type == DT_DIR) {
      isDirectory_ = true;
    } else if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      isDirectory_ = zv::isDirectory(directory_ + name_);
    } else {
      isDirectory_ = false;
    }
    if (accept()) return true;
  }
  ::closedir(dir_);
  dir_ = nullptr;
  finished_ = true;
  name_.clear();
  return false;
}

bool graphicDirEnum::accept() {
  if (!isDirectory() || isDotOrDotDot()) return false;
  for (char c : name()) {
    bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == ' ' || c == '_';
    if (!allowed) return false;
  }
  // The pictures' names are compared without case, as the boot services do.
  static constexpr std::string_view pictures[] = {"menu.gif", "menu.png",  "wait.gif",
                                                  "wait.png", "popup.gif", "popup.png"};
  filesEnum files(fullPath() + "/", "*");
  while (files.next())
    for (std::string_view picture : pictures)
      if (equalsNoCase(files.name(), picture)) return true;
  return false;
}

bool terminalsDirEnum::accept() {
  if (!isDirectory() || isDotOrDotDot()) return false;
  std::optional<macAddress> parsed = parseMac(std::string_view(name()), '.');
  if (!parsed) return false;
  mac_ = *parsed;
  return true;
}

}  // namespace zv
