#include "common/errorCFHandler.h"

#include "common/textConfigFile.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <optional>

namespace zv {

// The comment line that carries the reason. It must stay one comment: line breaks in the
// reason become blanks, and a trailing backslash (which would make the comment swallow
// the first line of the file) is closed off.
std::u16string reasonComment(std::u16string_view reason) {
  std::u16string comment = u"# ";
  for (char16_t c : reason) comment.push_back(c == u'\r' || c == u'\n' ? u' ' : c);
  std::size_t last = comment.find_last_not_of(u" \t");
  if (comment[last] == u'\\') comment.push_back(u'#');
  comment += u"\r\n\r\n";
  return comment;
}

void reportDamage(const std::string& path, std::u16string_view message) {
  logMessage("File: %s, error: %s", path.c_str(), toUtf8(message).c_str());
}

std::string brokenPath(const std::string& path) {
  return path + ".broken";
}

bool markBroken(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  logMessage("WARNING! Set broken file %s", path.c_str());
  std::string target = brokenPath(path);
  if (!renameWithoutReplacing(path, target)) {
    ZV_REPORT("%s", errnoText(("rename to " + target).c_str(), errno).c_str());
    return false;
  }
  return true;
}

bool prependBrokenReason(const std::string& path, std::u16string_view reason) {
  std::optional<std::string> bytes = readFileBytes(path);
  if (!bytes) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  // The old bytes stay as they are, after the mark and the comment in the file's own
  // encoding: nothing of the administrator's text is cut or re-decoded.
  std::u16string comment = reasonComment(reason);
  detectedEncoding found = detectTextEncoding(*bytes);
  std::string_view body = std::string_view(*bytes).substr(found.markSize);
  std::string out;
  if (found.encoding == textEncoding::utf16le) {
    out = "\xFF\xFE";
    for (char16_t c : comment) {
      out.push_back(char(c & 0xFF));
      out.push_back(char(c >> 8));
    }
  } else {
    out.assign(*bytes, 0, found.markSize);
    out += toUtf8(comment);
  }
  out += body;
  if (!writeFileAtomically(path, out)) {
    ZV_REPORT("%s", errnoText(("rewrite " + path).c_str(), errno).c_str());
    ZV_INTERNAL_ERROR();
    return false;
  }
  return true;
}

bool iErrorLCFHandler::reportLoadError(const std::string& path, std::u16string_view message) const {
  // Only a file renamed just now gets the reason; an older ".broken" file in the way
  // belongs to an earlier failure and is left alone.
  if (markBroken(path))
    prependBrokenReason(brokenPath(path), message);
  else
    ZV_INTERNAL_ERROR();
  logMessage("File: %s, error: %s", path.c_str(), toUtf8(message).c_str());
  ZV_INTERNAL_ERROR();
  return false;
}

bool iErrorSCFHandler::reportSaveError(const std::string& path, std::u16string_view message) const {
  logMessage("File: %s, error: %s", path.c_str(), toUtf8(message).c_str());
  ZV_INTERNAL_ERROR();
  return false;
}

}  // namespace zv
