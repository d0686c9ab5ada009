#pragma once
// Directory enumerators: walk the entries of one directory whose names match a
// wildcard pattern ('?' one character, '*' any run; ASCII letters compared without
// case, as the boot services' Windows heritage expects), accepting entries through a
// virtual test. Subclasses narrow the kind of entry: directories, files, boot-screen
// sets, terminal directories.
//
// Entries are typed without following links: a link to a directory is a link, not a
// directory, so no walk leaves the directory it was given.
//
// An enumerator belongs to one thread. The directory is read on the first next().

#include "common/mac.h"

#include <string>
#include <string_view>
#include <vector>

namespace zv {

// True when `name` matches `pattern` ('?' exactly one character, '*' any run).
bool wildcardMatch(std::string_view pattern, std::string_view name);

class dirEnum {
 public:
  // `directory` ends with '/'.
  dirEnum(std::string directory, std::string pattern);
  virtual ~dirEnum();
  dirEnum(const dirEnum&) = delete;
  dirEnum& operator=(const dirEnum&) = delete;

  // Advances to the next accepted entry; false when none is left (the directory is
  // then closed). A directory that cannot be opened has no entries.
  bool next();
  const std::string& name() const { return name_; }
  bool isDirectory() const { return isDirectory_; }
  bool isLink() const { return isLink_; }
  // directory + name.
  std::string fullPath() const { return directory_ + name_; }
  const std::string& directory() const { return directory_; }

 protected:
  // Decides whether the current entry is offered; the base accepts every entry.
  virtual bool accept() { return true; }
  bool isDotOrDotDot() const { return name_ == "." || name_ == ".."; }

 private:
  std::string directory_;
  std::string pattern_;
  std::vector<std::string> names_;
  std::vector<unsigned char> kinds_;
  std::size_t at_ = 0;
  bool listed_ = false;
  bool finished_ = false;
  std::string name_;
  bool isDirectory_ = false;
  bool isLink_ = false;
};

class directoriesEnum : public dirEnum {
 public:
  using dirEnum::dirEnum;

 protected:
  bool accept() override { return isDirectory() && !isDotOrDotDot(); }
};

class filesEnum : public dirEnum {
 public:
  using dirEnum::dirEnum;

 protected:
  bool accept() override { return !isDirectory(); }
};

// Boot-screen sets: directories named with ASCII letters, digits, blanks and '_' only,
// holding at least one of the menu, wait or popup pictures.
class graphicDirEnum : public dirEnum {
 public:
  using dirEnum::dirEnum;

 protected:
  bool accept() override;
};

// Terminal directories: directories whose names are MACs written with '.' (either
// letter case). A link with such a name is skipped with a line in the diagnostic log.
class terminalsDirEnum : public dirEnum {
 public:
  explicit terminalsDirEnum(std::string directory)
      : dirEnum(std::move(directory), "??.??.??.??.??.??") {}
  const macAddress& mac() const { return mac_; }

 protected:
  bool accept() override;

 private:
  macAddress mac_;
};

}  // namespace zv
