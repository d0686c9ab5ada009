#pragma once
// The writing side of the configuration syntax: UTF-16LE with the mark FF FE, one
// line per option in the form 'key=value' CR LF.
//
// A configuration is written to a temporary file beside the target that replaces the
// target only when every byte was written, so a failed save leaves the previous file
// whole. A writer belongs to the thread that opened it.

#include "common/errorCFHandler.h"
#include "platform/files.h"

#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace zv {

// One written line from its content, with CR LF. A content ending in a backslash would
// join the next line when read; an empty comment right after it ('#', which the reader
// drops and which counts toward no line limit) keeps the backslash part of the value.
std::u16string textLine(std::u16string content);

// 'key=value' CR LF (textLine), the key widened by zero extension.
std::u16string optionLine(std::string_view key, std::u16string_view value);

// A configuration class that can be saved. Derived classes build the lines; the steps
// of writing and the failure reports live here.
class CS : public iErrorSCFHandler {
 public:
  // A writer for `path` with nothing written yet (the target is not touched until
  // finishWriting). Null on failure, errno telling why; nothing is reported.
  static std::unique_ptr<atomicFileWriter> openForWriting(const std::string& path);

  // Writes one line (with its CR LF) in one call. On failure: an internal error,
  // reportSaveError with "Failed to save line: " + line + CR LF, the writer discarded
  // (the old file stays), false.
  bool writeLine(std::u16string_view line, atomicFileWriter& file, const std::string& path) const;

  // Puts the written file in place of the old one. False (reported) on failure.
  bool finishWriting(atomicFileWriter& file, const std::string& path) const;

  // The whole sequence: open ("Failed to open file." when that fails), FF FE, every
  // line, finish. True when the file now holds exactly these lines.
  bool saveConfigLines(const std::string& path, std::span<const std::u16string> lines) const;

 protected:
  ~CS() = default;
};

}  // namespace zv
