#include "specs/kit/text.h"

namespace zv::spec {

std::u16string fromText(const zvText& text) {
  if (!text.units) return {};
  std::u16string out;
  out.reserve(text.length);
  for (size_t i = 0; i < text.length; ++i) out.push_back(char16_t(text.units[i]));
  return out;
}

zvText asText(std::u16string_view text) {
  // char16_t and uint16_t have the same size and representation; the interface counts
  // code units either way.
  return zvText{reinterpret_cast<const uint16_t*>(text.data()), text.size()};
}

std::u16string widen(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) out.push_back(char16_t(static_cast<unsigned char>(c)));
  return out;
}

std::optional<std::string> narrow(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c >= 0x80) return std::nullopt;
    out.push_back(char(c));
  }
  return out;
}

bool equalsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(char16_t(static_cast<unsigned char>(a[i]))) !=
        lowerAscii(char16_t(static_cast<unsigned char>(b[i]))))
      return false;
  return true;
}

std::u16string lowerAscii(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = lowerAscii(c);
  return out;
}

std::u16string escapeHtml(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case u'&':
        out += u"&amp;";
        break;
      case u'<':
        out += u"&lt;";
        break;
      case u'>':
        out += u"&gt;";
        break;
      case u'"':
        out += u"&quot;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

bool isDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

std::optional<long> parseUnsigned(std::u16string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  if (text.size() > 1 && text[0] == u'0') return std::nullopt;
  long value = 0;
  for (char16_t c : text) {
    if (!isDigit(c)) return std::nullopt;
    value = value * 10 + (c - u'0');
  }
  return value;
}

std::optional<long> parseSigned(std::u16string_view text) {
  if (!text.empty() && text[0] == u'-') {
    std::optional<long> magnitude = parseUnsigned(text.substr(1));
    if (!magnitude || *magnitude == 0) return std::nullopt;
    return -*magnitude;
  }
  return parseUnsigned(text);
}

std::u16string decimal(long value) {
  return widen(std::to_string(value));
}

std::vector<std::u16string_view> split(std::u16string_view text, char16_t separator) {
  std::vector<std::u16string_view> pieces;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    if (end == std::u16string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

std::optional<std::string> toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return std::nullopt;
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return std::nullopt;
    }
    if (c < 0x80) {
      out.push_back(char(c));
    } else if (c < 0x800) {
      out.push_back(char(0xC0 | (c >> 6)));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(char(0xE0 | (c >> 12)));
      out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (c >> 18)));
      out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace zv::spec
