#include "common/textConfigFile.h"

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"

#include <new>
#include <optional>

namespace zv {
namespace {

template <class Unit>
constexpr bool isBlank(Unit c) {
  return c == Unit(' ') || c == Unit('\t');
}

template <class Unit>
constexpr bool isBreak(Unit c) {
  return c == Unit('\r') || c == Unit('\n');
}

constexpr bool isContinuationByte(unsigned char b) {
  return (b & 0xC0) == 0x80;
}

}  // namespace

// ---- decoding ------------------------------------------------------------------

detectedEncoding detectTextEncoding(std::string_view bytes) {
  // The rows are tried in this order.
  if (bytes.starts_with("\xEF\xBB\xBF")) return {textEncoding::utf8, 3};
  if (bytes.starts_with("\xFF\xFE")) return {textEncoding::utf16le, 2};
  if (bytes.size() >= 2 && bytes[1] == '\0') return {textEncoding::utf16le, 0};
  return {textEncoding::utf8, 0};
}

std::u16string decodeUtf8Lenient(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    unsigned char b = p[i];
    if (b < 0x80) {
      out.push_back(char16_t(b));
      i += 1;
    } else if ((b & 0xE0) == 0xC0 && i + 1 < n && isContinuationByte(p[i + 1])) {
      out.push_back(char16_t(((b & 0x1F) << 6) | (p[i + 1] & 0x3F)));
      i += 2;
    } else if ((b & 0xF0) == 0xE0 && i + 2 < n && isContinuationByte(p[i + 1]) &&
               isContinuationByte(p[i + 2])) {
      out.push_back(char16_t(((b & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F)));
      i += 3;
    } else {
      out.push_back(u'?');
      i += 1;
    }
  }
  return out;
}

std::u16string decodeUtf16le(std::string_view bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = char16_t(static_cast<unsigned char>(bytes[2 * i]) |
                      (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return out;
}

std::u16string decodeTextBytes(std::string_view bytes) {
  detectedEncoding found = detectTextEncoding(bytes);
  bytes.remove_prefix(found.markSize);
  return found.encoding == textEncoding::utf16le ? decodeUtf16le(bytes) : decodeUtf8Lenient(bytes);
}

// ---- logical lines ---------------------------------------------------------------

template <class Unit>
void basicTextBuffer<Unit>::assign(text units) {
  text_ = std::move(units);
  pos_ = 0;
  open_ = true;
  line_.clear();
}

template <class Unit>
void basicTextBuffer<Unit>::close() {
  text_.clear();
  pos_ = 0;
  open_ = false;
  line_.clear();
}

template <class Unit>
void basicTextBuffer<Unit>::skipBreaksAndBlanks() {
  while (pos_ < text_.size() && (isBlank(text_[pos_]) || isBreak(text_[pos_]))) ++pos_;
}

template <class Unit>
bool basicTextBuffer<Unit>::onlyBlanksToLineEnd(std::size_t from) const {
  while (from < text_.size() && isBlank(text_[from])) ++from;
  return from == text_.size() || isBreak(text_[from]);
}

// Skips a comment from its '#' to the end of its physical line. When continuations are
// joined and the comment's last non-blank character is a backslash, the next non-blank
// line belongs to the comment too.
template <class Unit>
void basicTextBuffer<Unit>::skipComment(bool join) {
  for (;;) {
    bool endsWithBackslash = false;
    while (pos_ < text_.size() && !isBreak(text_[pos_])) {
      if (!isBlank(text_[pos_])) endsWithBackslash = text_[pos_] == Unit('\\');
      ++pos_;
    }
    if (!join || !endsWithBackslash) return;
    skipBreaksAndBlanks();
    if (pos_ >= text_.size()) return;
  }
}

// Collects the rest of one physical line into collected_[count...]. Stops at CR/LF or
// the end of the text (complete), after a continuation backslash (continued; the
// trailing blanks collected so far are dropped), or on the first unit that would not
// fit (tooLong; the position stays on that unit).
template <class Unit>
typename basicTextBuffer<Unit>::lineEnd basicTextBuffer<Unit>::collectPhysicalLine(
    bool join, std::size_t& count) {
  while (pos_ < text_.size() && !isBreak(text_[pos_])) {
    Unit c = text_[pos_];
    if (c == Unit('#')) {
      skipComment(join);
      return lineEnd::complete;
    }
    if (c == Unit('\\') && join && onlyBlanksToLineEnd(pos_ + 1)) {
      while (count > 0 && isBlank(collected_[count - 1])) --count;
      ++pos_;
      return lineEnd::continued;
    }
    if (count >= maxLogicalLine) return lineEnd::tooLong;
    collected_[count++] = c;
    ++pos_;
  }
  return lineEnd::complete;
}

template <class Unit>
bool basicTextBuffer<Unit>::readLine(bool joinContinuations) {
  line_.clear();
  if (!open_) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  std::size_t count = 0;
  for (;;) {
    // Leading blanks and empty lines; after a continuation, the gap up to the next part.
    skipBreaksAndBlanks();
    if (pos_ >= text_.size()) break;
    lineEnd end = collectPhysicalLine(joinContinuations, count);
    if (end == lineEnd::tooLong) {
      line_.assign(collected_.data(), count);
      return false;
    }
    if (end == lineEnd::continued) continue;
    while (count > 0 && isBlank(collected_[count - 1])) --count;
    if (count > 0) break;
  }
  while (count > 0 && isBlank(collected_[count - 1])) --count;
  line_.assign(collected_.data(), count);
  return count > 0;
}

template <class Unit>
void basicTextBuffer<Unit>::skipRestOfLine() {
  while (pos_ < text_.size() && !isBreak(text_[pos_])) ++pos_;
}

template class basicTextBuffer<char16_t>;
template class basicTextBuffer<char>;

bool textSource::openBytes(std::string_view bytes) {
  close();
  try {
    assign(decodeTextBytes(bytes));
  } catch (const std::bad_alloc&) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  return true;
}

bool textSource::open(const std::string& path) {
  close();
  std::optional<std::string> bytes;
  try {
    fileContents contents = readFileLimited(path, textFileLimit);
    if (contents.ok()) bytes = std::move(contents.bytes);
  } catch (const std::bad_alloc&) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  return bytes && openBytes(*bytes);
}

bool byteTextBuffer::openBytes(std::string_view bytes) {
  close();
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  try {
    assign(std::string(bytes));
  } catch (const std::bad_alloc&) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  return true;
}

bool byteTextBuffer::open(const std::string& path) {
  close();
  try {
    fileContents contents = readFileLimited(path, textFileLimit);
    if (!contents.ok()) return false;
    std::string& bytes = contents.bytes;
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
    assign(std::move(bytes));
  } catch (const std::bad_alloc&) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  return true;
}

// ---- key and value -----------------------------------------------------------------

bool splitKeyValue(std::u16string_view line, std::string& key, std::u16string& value) {
  key.clear();
  value.clear();
  auto isSeparator = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'='; };
  std::size_t i = 0;
  char buffer[maxKeyLength + 1];
  std::size_t length = 0;
  for (; i < line.size() && !isSeparator(line[i]); ++i) {
    if (line[i] >= 0x80) return false;
    if (length == maxKeyLength) {
      ZV_INTERNAL_ERROR();  // the key buffer holds 63 characters
      return false;
    }
    buffer[length++] = char(line[i]);
  }
  while (i < line.size() && isSeparator(line[i])) ++i;
  if (line.size() - i > maxLogicalLine) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  key.assign(buffer, length);
  value.assign(line.substr(i));
  return true;
}

// ---- loading ---------------------------------------------------------------------

bool CL::setOption(const std::string&, const std::u16string&, const versionSpec*) {
  return false;
}

bool loadTextConfig(CL& target, const std::string& path, const versionSpec* spec) {
  textSource source;
  if (!source.open(path)) return target.reportLoadError(path, u"Failed to open file.");
  std::u16string failedLine;
  // A pair the specification refuses is offered once more without it.
  auto take = [&](const std::string& key, const std::u16string& value) {
    return target.setOption(key, value, spec) ||
           (spec != nullptr && target.setOption(key, value, nullptr));
  };
  if (readPairs(source, take, failedLine)) return true;
  return target.reportLoadError(path, u"Failed to load line: " + failedLine);
}

}  // namespace zv
