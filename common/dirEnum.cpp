#include "common/dirEnum.h"

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"

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

dirEnum::~dirEnum() = default;

bool dirEnum::next() {
  if (finished_) return false;
  if (!listed_) {
    listed_ = true;
    if (auto entries = listDirectory(directory_)) {
      for (directoryEntry& entry : *entries) {
        if (!wildcardMatch(pattern_, entry.name)) continue;
        names_.push_back(std::move(entry.name));
        kinds_.push_back(static_cast<unsigned char>(entry.type));
      }
    }
  }
  while (at_ < names_.size()) {
    name_ = std::move(names_[at_]);
    isDirectory_ = entryType(kinds_[at_]) == entryType::directory;
    isLink_ = entryType(kinds_[at_]) == entryType::link;
    ++at_;
    if (accept()) return true;
  }
  names_.clear();
  kinds_.clear();
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
  if ((!isDirectory() && !isLink()) || isDotOrDotDot()) return false;
  std::optional<macAddress> parsed = parseMac(std::string_view(name()), '.');
  if (!parsed) return false;
  if (isLink()) {
    logMessage("Terminal directory %s is a link and is skipped.", fullPath().c_str());
    return false;
  }
  mac_ = *parsed;
  return true;
}

}  // namespace zv
