#pragma once
// The video modes a terminal reports when asked (its answer to "ask_videomodes").
//
// The answer is 8-bit text: modes separated by commas, semicolons or blanks, each
// WIDTHxHEIGHT, optionally @RATE (hertz, a fraction is rounded) and a trailing '*' for
// the mode the monitor prefers: "1920x1080@60*,1280x1024@75,1024x768@60". Entries that
// do not read as a mode are skipped. Pure functions.

#include "specs/kit/formats.h"

#include <string>
#include <string_view>
#include <vector>

namespace zv::spec::v6263 {

struct reportedMode {
  videoMode mode;
  bool preferred = false;
  bool operator==(const reportedMode&) const = default;
};

// The modes of an answer, largest first, each once.
std::vector<reportedMode> parseReportedModes(std::string_view answer);
// The same list in the answer's own form, for keeping it in the page.
std::u16string formatReportedModes(const std::vector<reportedMode>& modes);

}  // namespace zv::spec::v6263
