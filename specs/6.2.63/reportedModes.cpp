#include "specs/6.2.63/reportedModes.h"

#include "specs/kit/text.h"

#include <algorithm>
#include <cmath>

namespace zv::spec::v6263 {
namespace {

constexpr size_t maxModes = 512;

bool isSeparator(char c) {
  return c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// "59.94" and "60" in hertz, rounded to a whole number within the refresh limits.
std::optional<long> parseRate(std::string_view text) {
  size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
  if (whole.empty() || whole.size() > 3 || fraction.size() > 3) return std::nullopt;
  if (point != std::string_view::npos && fraction.empty()) return std::nullopt;
  double rate = 0;
  for (char c : whole) {
    if (c < '0' || c > '9') return std::nullopt;
    rate = rate * 10 + (c - '0');
  }
  double scale = 0.1;
  for (char c : fraction) {
    if (c < '0' || c > '9') return std::nullopt;
    rate += (c - '0') * scale;
    scale /= 10;
  }
  return parseRefresh(decimal(std::lround(rate)));
}

std::optional<reportedMode> parseEntry(std::string_view entry) {
  reportedMode reported;
  if (!entry.empty() && entry.back() == '*') {
    reported.preferred = true;
    entry.remove_suffix(1);
  }
  size_t at = entry.find('@');
  std::optional<videoMode> mode = parseResolution(widen(entry.substr(0, at)));
  if (!mode) return std::nullopt;
  if (at != std::string_view::npos) {
    std::optional<long> rate = parseRate(entry.substr(at + 1));
    if (!rate) return std::nullopt;
    mode->refresh = *rate;
  }
  reported.mode = *mode;
  return reported;
}

}  // namespace

std::vector<reportedMode> parseReportedModes(std::string_view answer) {
  std::vector<reportedMode> modes;
  size_t start = 0;
  while (start < answer.size() && modes.size() < maxModes) {
    while (start < answer.size() && isSeparator(answer[start])) ++start;
    size_t end = start;
    while (end < answer.size() && !isSeparator(answer[end])) ++end;
    if (end > start) {
      if (std::optional<reportedMode> entry = parseEntry(answer.substr(start, end - start))) {
        auto same = std::find_if(modes.begin(), modes.end(),
                                 [&](const reportedMode& m) { return m.mode == entry->mode; });
        if (same == modes.end())
          modes.push_back(*entry);
        else
          same->preferred = same->preferred || entry->preferred;
      }
    }
    start = end;
  }
  std::stable_sort(modes.begin(), modes.end(), [](const reportedMode& a, const reportedMode& b) {
    if (a.mode.width != b.mode.width) return a.mode.width > b.mode.width;
    if (a.mode.height != b.mode.height) return a.mode.height > b.mode.height;
    return a.mode.refresh > b.mode.refresh;
  });
  return modes;
}

std::u16string formatReportedModes(const std::vector<reportedMode>& modes) {
  std::u16string text;
  for (const reportedMode& reported : modes) {
    if (!text.empty()) text += u",";
    text += formatVideoMode(reported.mode);
    if (reported.preferred) text += u"*";
  }
  return text;
}

}  // namespace zv::spec::v6263
