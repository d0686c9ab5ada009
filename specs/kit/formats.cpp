#include "specs/kit/formats.h"

#include "specs/kit/text.h"

#include <array>
#include <vector>

namespace zv::spec {
namespace {

bool isLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isHex(char16_t c) {
  return isDigit(c) || (lowerAscii(c) >= u'a' && lowerAscii(c) <= u'f');
}

bool allDigits(std::u16string_view text) {
  if (text.empty()) return false;
  for (char16_t c : text)
    if (!isDigit(c)) return false;
  return true;
}

// A fixed-point number "148.5": digits, optionally a point and one to three digits.
std::optional<double> parseClock(std::u16string_view text) {
  size_t point = text.find(u'.');
  std::optional<long> whole = parseUnsigned(text.substr(0, point));
  if (!whole) return std::nullopt;
  double value = double(*whole);
  if (point != std::u16string_view::npos) {
    std::u16string_view fraction = text.substr(point + 1);
    if (fraction.empty() || fraction.size() > 3 || !allDigits(fraction)) return std::nullopt;
    double scale = 0.1;
    for (char16_t c : fraction) {
      value += (c - u'0') * scale;
      scale /= 10;
    }
  }
  return value;
}

// Splits at commas that stand outside double quotes; an unclosed quote fails.
std::optional<std::vector<std::u16string_view>> splitOutsideQuotes(std::u16string_view text) {
  std::vector<std::u16string_view> pieces;
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'"') quoted = !quoted;
    if (text[i] == u',' && !quoted) {
      pieces.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  if (quoted) return std::nullopt;
  pieces.push_back(text.substr(start));
  return pieces;
}

constexpr std::u16string_view hertzSuffix = u" Hz";

}  // namespace

bool isStorable(std::u16string_view value) {
  if (value.size() > maxValueUnits) return false;
  for (char16_t c : value)
    if (c < 0x20 || c == 0x7F || c == u'#') return false;
  if (!value.empty() && (value.front() == u' ' || value.back() == u' ')) return false;
  if (!value.empty() && value.back() == u'\\') return false;
  return true;
}

bool isIpv4(std::u16string_view value) {
  std::vector<std::u16string_view> parts = split(value, u'.');
  if (parts.size() != 4) return false;
  for (std::u16string_view part : parts) {
    std::optional<long> number = parseUnsigned(part);
    if (!number || *number > 255) return false;
  }
  return true;
}

bool isHostLabel(std::u16string_view value) {
  if (value.empty() || value.size() > 63) return false;
  if (value.front() == u'-' || value.back() == u'-') return false;
  for (char16_t c : value)
    if (!isLetter(c) && !isDigit(c) && c != u'-') return false;
  return true;
}

bool isHostName(std::u16string_view value) {
  if (value.empty() || value.size() > 253) return false;
  std::vector<std::u16string_view> labels = split(value, u'.');
  for (std::u16string_view label : labels)
    if (!isHostLabel(label)) return false;
  if (allDigits(labels.back())) return isIpv4(value);
  return true;
}

std::optional<videoMode> parseResolution(std::u16string_view value) {
  size_t cross = value.find_first_of(u"xX");
  if (cross == std::u16string_view::npos) return std::nullopt;
  std::optional<long> width = parseUnsigned(value.substr(0, cross));
  std::optional<long> height = parseUnsigned(value.substr(cross + 1));
  if (!width || !height) return std::nullopt;
  if (*width < 320 || *width > 8192 || *height < 200 || *height > 8192) return std::nullopt;
  return videoMode{*width, *height, 0};
}

std::optional<long> parseRefresh(std::u16string_view value) {
  std::optional<long> hertz = parseUnsigned(value);
  if (!hertz || *hertz < 24 || *hertz > 240) return std::nullopt;
  return hertz;
}

std::optional<videoMode> parseVideoMode(std::u16string_view value) {
  size_t at = value.find(u'@');
  std::optional<videoMode> mode = parseResolution(value.substr(0, at));
  if (!mode || at == std::u16string_view::npos) return mode;
  std::optional<long> hertz = parseRefresh(value.substr(at + 1));
  if (!hertz) return std::nullopt;
  mode->refresh = *hertz;
  return mode;
}

std::u16string formatResolution(const videoMode& mode) {
  return decimal(mode.width) + u"x" + decimal(mode.height);
}

std::u16string formatVideoMode(const videoMode& mode) {
  std::u16string text = formatResolution(mode);
  if (mode.refresh > 0) text += u"@" + decimal(mode.refresh);
  return text;
}

bool isVideoValue(std::u16string_view value) {
  return equalsNoCase(value, u"auto") || parseVideoMode(value).has_value();
}

bool isResolutionValue(std::u16string_view value) {
  return parseResolution(value).has_value();
}

bool isRefreshValue(std::u16string_view value) {
  return parseRefresh(value).has_value();
}

bool isConnectorName(std::u16string_view value) {
  if (value.empty() || value.size() > 31 || !isLetter(value.front()) || value.back() == u'-')
    return false;
  for (char16_t c : value)
    if (!isLetter(c) && !isDigit(c) && c != u'-') return false;
  return true;
}

bool isModeline(std::u16string_view value) {
  std::vector<std::u16string_view> tokens;
  for (std::u16string_view piece : split(value, u' '))
    if (!piece.empty()) tokens.push_back(piece);
  if (tokens.size() < 9) return false;
  std::optional<double> clock = parseClock(tokens[0]);
  if (!clock || *clock <= 0 || *clock > 2000) return false;
  std::array<long, 8> timing{};
  for (size_t i = 0; i < timing.size(); ++i) {
    std::optional<long> number = parseUnsigned(tokens[i + 1]);
    if (!number || *number > 65535) return false;
    timing[i] = *number;
  }
  for (size_t axis = 0; axis < 8; axis += 4) {
    if (timing[axis] == 0) return false;
    for (size_t i = axis; i < axis + 3; ++i)
      if (timing[i] > timing[i + 1]) return false;
  }
  static constexpr std::u16string_view flags[] = {u"+hsync",    u"-hsync",     u"+vsync",
                                                  u"-vsync",    u"+csync",     u"-csync",
                                                  u"interlace", u"doublescan", u"composite"};
  for (size_t i = 9; i < tokens.size(); ++i) {
    bool known = false;
    for (std::u16string_view flag : flags) known = known || equalsNoCase(tokens[i], flag);
    if (!known) return false;
  }
  return true;
}

std::optional<displayLine> parseDisplayLine(std::u16string_view value) {
  displayLine line;
  if (value.empty()) return line;
  std::optional<std::vector<std::u16string_view>> fields = splitOutsideQuotes(value);
  if (!fields) return std::nullopt;
  // Each field takes the first place, at or after the previous field's, whose form it
  // has; the places keep the order in which the line is composed.
  int next = 0;
  for (std::u16string_view field : *fields) {
    bool isAuto = equalsNoCase(field, u"auto");
    bool placed = false;
    for (int place = next; place < 5 && !placed; ++place) {
      switch (place) {
        case 0:
          placed = isAuto || isResolutionValue(field);
          if (placed) line.resolution = std::u16string(field);
          break;
        case 1:
          if (isAuto) {
            placed = true;
            line.refresh = std::u16string(field);
          } else if (field.size() > hertzSuffix.size() &&
                     equalsNoCase(field.substr(field.size() - hertzSuffix.size()), hertzSuffix)) {
            std::u16string_view hertz = field.substr(0, field.size() - hertzSuffix.size());
            placed = isRefreshValue(hertz);
            if (placed) line.refresh = std::u16string(hertz);
          }
          break;
        case 2:
          placed = equalsNoCase(field, u"noddc");
          line.noddc = line.noddc || placed;
          break;
        case 3:
          placed = isConnectorName(field) && !equalsNoCase(field, u"noddc");
          if (placed) line.connector = std::u16string(field);
          break;
        case 4:
          placed = field.size() >= 2 && field.front() == u'"' && field.back() == u'"' &&
                   isModeline(field.substr(1, field.size() - 2));
          if (placed) line.modeline = std::u16string(field.substr(1, field.size() - 2));
          break;
      }
      if (placed) next = place + 1;
    }
    if (!placed) return std::nullopt;
  }
  return line;
}

std::u16string composeDisplayLine(const displayLine& line) {
  std::u16string text;
  if (line.resolution) text += *line.resolution + u",";
  if (line.refresh) {
    text += *line.refresh;
    if (!equalsNoCase(*line.refresh, u"auto")) text += hertzSuffix;
    text += u",";
  }
  if (line.noddc) text += u"noddc,";
  if (line.connector) text += *line.connector + u",";
  if (line.modeline) text += u"\"" + *line.modeline + u"\"";
  if (!text.empty() && text.back() == u',') text.pop_back();
  return text;
}

bool isClockTime(std::u16string_view value) {
  if (value.size() != 5 || value[2] != u':') return false;
  for (size_t i : {0, 1, 3, 4})
    if (!isDigit(value[i])) return false;
  int hours = (value[0] - u'0') * 10 + (value[1] - u'0');
  int minutes = (value[3] - u'0') * 10 + (value[4] - u'0');
  return hours < 24 && minutes < 60;
}

bool isWebAddress(std::u16string_view value) {
  std::u16string_view rest;
  if (value.size() > 7 && equalsNoCase(value.substr(0, 7), u"http://"))
    rest = value.substr(7);
  else if (value.size() > 8 && equalsNoCase(value.substr(0, 8), u"https://"))
    rest = value.substr(8);
  else
    return false;
  size_t slash = rest.find(u'/');
  std::u16string_view authority = rest.substr(0, slash);
  size_t colon = authority.find(u':');
  if (colon != std::u16string_view::npos) {
    std::optional<long> port = parseUnsigned(authority.substr(colon + 1));
    if (!port || *port < 1 || *port > 65535) return false;
    authority = authority.substr(0, colon);
  }
  if (!isHostName(authority)) return false;
  if (slash != std::u16string_view::npos)
    for (char16_t c : rest.substr(slash))
      if (c <= 0x20 || c >= 0x7F) return false;
  return true;
}

bool isPrintableAscii(std::u16string_view value) {
  for (char16_t c : value)
    if (c < 0x20 || c >= 0x7F) return false;
  return true;
}

bool isDigestOrEmpty(std::u16string_view value) {
  if (value.empty()) return true;
  if (value.size() != 64) return false;
  for (char16_t c : value)
    if (!isHex(c)) return false;
  return true;
}

std::span<const videoMode> standardResolutions() {
  static constexpr videoMode list[] = {
      {640, 480, 0},   {800, 600, 0},   {1024, 768, 0},  {1152, 864, 0},  {1280, 720, 0},
      {1280, 800, 0},  {1280, 1024, 0}, {1366, 768, 0},  {1440, 900, 0},  {1600, 900, 0},
      {1600, 1200, 0}, {1680, 1050, 0}, {1920, 1080, 0}, {1920, 1200, 0}, {2560, 1080, 0},
      {2560, 1440, 0}, {2560, 1600, 0}, {3440, 1440, 0}, {3840, 2160, 0},
  };
  return list;
}

std::span<const long> standardRefreshRates() {
  static constexpr long list[] = {50, 56, 59, 60, 70, 72, 75, 85, 100, 120, 144};
  return list;
}

}  // namespace zv::spec
