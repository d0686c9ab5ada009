#pragma once
// Text helpers of the option libraries: texts borrowed across the interface, ASCII
// letter case, HTML escaping, strict decimal numbers and UTF-8 for file paths.
//
// Pure functions; any thread. Values are UTF-16 (std::u16string), option keys ASCII.

#include "specs/zvspec.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv::spec {

// Copies a borrowed text; a null pointer reads as empty.
std::u16string fromText(const zvText& text);
// Borrowed view of a UTF-16 string for the interface.
zvText asText(std::u16string_view text);
// Widens ASCII (keys, literals in 8-bit answers) by zero extension.
std::u16string widen(std::string_view text);
// The text when every unit is ASCII, else nothing.
std::optional<std::string> narrow(std::u16string_view text);

constexpr char16_t lowerAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}
// Equality mapping only the letters A-Z to a-z.
bool equalsNoCase(std::u16string_view a, std::u16string_view b);
bool equalsNoCase(std::string_view a, std::string_view b);
std::u16string lowerAscii(std::u16string_view text);

// Escapes & < > " so that the text may stand in an element or a quoted attribute.
std::u16string escapeHtml(std::u16string_view text);

bool isDigit(char16_t c);
// A decimal number in its plain form: digits only, no sign, no leading zero (except
// "0" itself), at most nine digits.
std::optional<long> parseUnsigned(std::u16string_view text);
// As parseUnsigned, with an optional leading '-' ("-0" is refused).
std::optional<long> parseSigned(std::u16string_view text);
std::u16string decimal(long value);

// Splits at every `separator`; empty pieces are kept.
std::vector<std::u16string_view> split(std::u16string_view text, char16_t separator);

// UTF-16 to UTF-8 (file paths); an unpaired surrogate makes the conversion fail.
std::optional<std::string> toUtf8(std::u16string_view text);

}  // namespace zv::spec
