#pragma once
// The value formats the options share: what a configuration line can hold, network
// addresses and host names, video modes and the display line.
//
// Pure functions over UTF-16 values; any thread.

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zv::spec {

// Longest value an editor hands back (the console's value buffer, less the terminator).
inline constexpr size_t maxValueUnits = 2047;

// A value that one configuration line keeps unchanged: at most maxValueUnits units, no
// control character, no '#' (it starts a comment), no blank at either end (they are
// dropped) and no backslash at the end (it joins the next line).
bool isStorable(std::u16string_view value);

// Dotted decimal, four numbers 0-255, no leading zeros, nothing else.
bool isIpv4(std::u16string_view value);
// One host name label (RFC 1123): 1-63 letters, digits and hyphens, no hyphen at
// either end.
bool isHostLabel(std::u16string_view value);
// A host name of labels joined by dots, at most 253 characters. A name whose last label
// is all digits must be an IPv4 address, so "10.0.0.300" is refused rather than taken
// for a name.
bool isHostName(std::u16string_view value);

struct videoMode {
  long width = 0;
  long height = 0;
  long refresh = 0;  // 0: not given
  bool operator==(const videoMode&) const = default;
};
// "WxH" (x of either case) within 320x200 to 8192x8192.
std::optional<videoMode> parseResolution(std::u16string_view value);
// A refresh rate in hertz, 24 to 240.
std::optional<long> parseRefresh(std::u16string_view value);
// "WxH" or "WxH@R".
std::optional<videoMode> parseVideoMode(std::u16string_view value);
// "WxH", or "WxH@R" when the refresh is given.
std::u16string formatVideoMode(const videoMode& mode);
std::u16string formatResolution(const videoMode& mode);

// Values of the screen options.
bool isVideoValue(std::u16string_view value);       // "auto" or a video mode
bool isResolutionValue(std::u16string_view value);  // a resolution (the list adds "auto")
bool isRefreshValue(std::u16string_view value);     // a refresh rate (the list adds "auto")
bool isConnectorName(std::u16string_view value);    // "HDMI-1", "DP-2", "DisplayPort-0" ...
// An X modeline without its name: the pixel clock in MHz, four horizontal and four
// vertical timings in increasing order, then flags (+hsync, -vsync, interlace ...).
bool isModeline(std::u16string_view value);

// The display line: resolution, refresh, noddc, connector and modeline, each optional,
// in this order, separated by commas: 1920x1080,60 Hz,noddc,HDMI-1,"148.5 1920 ..."
struct displayLine {
  std::optional<std::u16string> resolution;  // "auto" or WxH
  std::optional<std::u16string> refresh;     // "auto" or hertz, without " Hz"
  bool noddc = false;
  std::optional<std::u16string> connector;  // "auto" or a connector name
  std::optional<std::u16string> modeline;   // without the quotes
  bool operator==(const displayLine&) const = default;
};
// The empty line is valid and holds nothing.
std::optional<displayLine> parseDisplayLine(std::u16string_view value);
std::u16string composeDisplayLine(const displayLine& line);

// "HH:MM", 00:00 to 23:59.
bool isClockTime(std::u16string_view value);
// http:// or https://, a host name, an optional port, an optional path.
bool isWebAddress(std::u16string_view value);
// Printable ASCII and blanks (a kernel command line, a shell command).
bool isPrintableAscii(std::u16string_view value);
// Empty, or 64 hexadecimal digits (a SHA-256 digest).
bool isDigestOrEmpty(std::u16string_view value);

// Resolutions offered in the lists, smallest first, and the usual refresh rates.
std::span<const videoMode> standardResolutions();
std::span<const long> standardRefreshRates();

}  // namespace zv::spec
