#pragma once
// Text conversions at the edges and the case-blind comparisons of the file formats.
//
// What files and limits count in UTF-16 code units is held as std::u16string; the
// diagnostic log, JSON, the DOM and file paths are UTF-8. These functions are the one
// place where the two meet. Pure functions; any thread.

#include <string>
#include <string_view>

namespace zv {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view text);
// Well-formed UTF-8 to UTF-16 (with surrogate pairs); each invalid byte becomes U+FFFD.
std::u16string fromUtf8(std::string_view text);
// Zero-extends single bytes (keys and identity fields are ASCII).
std::u16string widenAscii(std::string_view text);

// Equality and prefix tests that map only the ASCII letters a-z to upper case; every
// other byte or code unit compares exactly.
constexpr char16_t asciiUpper(char16_t c) {
  return c >= u'a' && c <= u'z' ? c - 32 : c;
}
constexpr char asciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? char(c - 32) : c;
}
bool equalsNoCase(std::string_view a, std::string_view b);
bool equalsNoCase(std::u16string_view a, std::u16string_view b);
bool startsWithNoCase(std::string_view text, std::string_view prefix);
bool startsWithNoCase(std::u16string_view text, std::u16string_view prefix);

}  // namespace zv
