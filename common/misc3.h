#pragma once
// Whole-file text: a configuration text read into one string (for showing and editing
// it as a whole) and written back in the configuration encoding.
//
// Pure apart from the file system and the diagnostic log; any thread.

#include <cstddef>
#include <string>
#include <string_view>

namespace zv {

// The most a whole-file text holds: 16383 code units (the input is cut at 16383 bytes
// of UTF-8 or 16383 UTF-16 code units).
constexpr std::size_t maxWholeText = 16383;

// Reads the file in any accepted encoding (see detectTextEncoding). Longer input is cut
// and "File <path> is too large." is logged; the cut text is still a success. False when
// the file cannot be read (`out` is then empty).
bool readWholeTextFile(const std::string& path, std::u16string& out);

// Replaces the file with FF FE and the code units in UTF-16LE. The old file stays whole
// when writing fails. False on failure (logged).
bool writeWideTextFile(const std::string& path, std::u16string_view text);

}  // namespace zv
