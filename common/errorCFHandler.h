#pragma once
// What happens when a configuration file cannot be loaded or saved.
//
// A file that fails to load is set aside: it is renamed to "<name>.broken" (never over
// an existing file of that name) and the reason is put at its head as a comment, so the
// administrator finds the text and the cause together and the file still reads in the
// configuration syntax. Both failures are written to the diagnostic log and reported as
// internal errors.
//
// iErrorLCFHandler and iErrorSCFHandler are empty bases of the configuration classes;
// they carry only these non-virtual operations. Any thread, but two threads must not
// handle the same path at once.

#include <string>
#include <string_view>

namespace zv {

class iErrorLCFHandler {
 public:
  // Sets the file aside as ".broken" with the message at its head, logs
  // "File: <path>, error: <message>" and reports an internal error. Always false.
  bool reportLoadError(const std::string& path, std::u16string_view message) const;

 protected:
  ~iErrorLCFHandler() = default;
};

class iErrorSCFHandler {
 public:
  // Logs "File: <path>, error: <message>" and reports an internal error; the file is not
  // touched. Always false.
  bool reportSaveError(const std::string& path, std::u16string_view message) const;

 protected:
  ~iErrorSCFHandler() = default;
};

// For loaders that must not change the installation (queries): logs
// "File: <path>, error: <message>" and leaves the file where it is.
void reportDamage(const std::string& path, std::u16string_view message);

// The comment a set-aside file starts with: "# <reason>" (line breaks as blanks, a
// trailing backslash closed off) and an empty line, with CR LF.
std::u16string reasonComment(std::u16string_view reason);

// "<path>.broken".
std::string brokenPath(const std::string& path);

// If the file exists: logs "WARNING! Set broken file <path>" and renames it to
// brokenPath(path) unless a file of that name already exists. True when it was renamed;
// a failed rename is logged and the file keeps its name.
bool markBroken(const std::string& path);

// Puts "# <reason>" and an empty line at the head of a set-aside file, keeping all of
// its text and its encoding. False (and an internal error) when it cannot be read or
// rewritten.
bool prependBrokenReason(const std::string& path, std::u16string_view reason);

}  // namespace zv
