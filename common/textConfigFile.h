#pragma once
// The text configuration syntax shared by config.zvc, the library files and the
// one-line side files of a terminal: decoding a file into UTF-16, cutting it into
// logical lines, splitting a line into key and value, and the loader that hands every
// pair to a configuration object.
//
// Layers:
//   textSource      reads a file (or bytes) once, picks the decoder, owns the text;
//   wideTextBuffer  hands out logical lines of that text (byteTextBuffer: the same for
//                   files read as plain bytes);
//   splitKeyValue   turns one line into a key and a value;
//   loadTextConfig  drives the loop and calls CL::setOption for every pair.
//
// Logical lines: at most 4095 code units; blanks (space, tab) around a line dropped;
// empty, blank and comment-only lines skipped; '#' starts a comment to the end of the
// physical line; CR and LF end a line in any combination. With continuations joined, a
// backslash followed on its line only by blanks joins the next non-blank line to this
// one (no separator); a comment whose last non-blank character is a backslash swallows
// the next line as well.
//
// Thread safety: a buffer belongs to one thread; the free functions are pure apart from
// the diagnostic log.

#include "common/errorCFHandler.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace zv {

struct versionSpec;  // the option specification a configuration is checked against

// ---- decoding ------------------------------------------------------------------

enum class textEncoding { utf8, utf16le };

struct detectedEncoding {
  textEncoding encoding;
  std::size_t markSize;  // bytes of the byte-order mark to skip
};

// Picks the decoder from the first bytes: EF BB BF → UTF-8 (skip 3); FF FE → UTF-16LE
// (skip 2); at least 2 bytes with the second 00 → UTF-16LE; anything else → UTF-8.
detectedEncoding detectTextEncoding(std::string_view bytes);

// UTF-8 without surrogates: 1-, 2- and 3-byte sequences decode; every other byte (a
// stray continuation, a 4-byte lead, a cut or malformed sequence) becomes '?' and
// decoding resumes with the next byte.
std::u16string decodeUtf8Lenient(std::string_view bytes);
// Code units copied as they are; an odd trailing byte is dropped.
std::u16string decodeUtf16le(std::string_view bytes);
// Chooses the decoder with detectTextEncoding and skips the mark.
std::u16string decodeTextBytes(std::string_view bytes);

// ---- logical lines ---------------------------------------------------------------

constexpr std::size_t maxLogicalLine = 4095;  // code units (bytes for byteTextBuffer)
constexpr std::size_t maxKeyLength = 63;

// Reads logical lines from a text it owns. Unit is char16_t (decoded text) or char
// (byte files). Reading a line allocates nothing beyond the copy kept as line().
template <class Unit>
class basicTextBuffer {
 public:
  using text = std::basic_string<Unit>;

  // Takes the text to read from; the read position goes to its start.
  void assign(text units);
  void close();
  bool isOpen() const { return open_; }

  // The next logical line, with continuations joined when asked. False when no line
  // is left, or when the line exceeds maxLogicalLine units: line() then holds the part
  // collected so far. Reading an unopened buffer is an internal error.
  bool readLine(bool joinContinuations);
  // True when the read position reached the end of the text.
  bool atEnd() const { return pos_ >= text_.size(); }
  // Moves the read position past the end of the physical line it is on. After a line
  // that was too long, readers that skip bad lines call it so that the rest of that
  // line is not read as a line of its own.
  void skipRestOfLine();
  const text& line() const { return line_; }

 private:
  enum class lineEnd { complete, continued, tooLong };
  lineEnd collectPhysicalLine(bool join, std::size_t& count);
  void skipComment(bool join);
  void skipBreaksAndBlanks();
  bool onlyBlanksToLineEnd(std::size_t from) const;

  text text_;
  std::size_t pos_ = 0;
  bool open_ = false;
  std::array<Unit, maxLogicalLine + 1> collected_{};
  text line_;
};

extern template class basicTextBuffer<char16_t>;
extern template class basicTextBuffer<char>;

using wideTextBuffer = basicTextBuffer<char16_t>;

// A configuration file decoded into UTF-16 and read as logical lines.
class textSource : public wideTextBuffer {
 public:
  // True when the file could be read and decoded. A failure leaves the source closed.
  bool open(const std::string& path);
  // The same for bytes already in memory (used by tests and the fuzz targets).
  bool openBytes(std::string_view bytes);
};

// A file read byte for byte (after an optional UTF-8 mark EF BB BF), with the same line
// rules counted in bytes. Callers do not join continuations.
class byteTextBuffer : public basicTextBuffer<char> {
 public:
  bool open(const std::string& path);
  bool openBytes(std::string_view bytes);
};

// Splits a logical line: the key runs up to the first space, tab or '=' (at most 63
// characters, all below 0x80), the separator is any run of spaces, tabs and '=', the
// value is the rest verbatim. False for a non-ASCII or too long key.
bool splitKeyValue(std::u16string_view line, std::string& key, std::u16string& value);

// ---- loading ---------------------------------------------------------------------

// A configuration object that takes key/value pairs. What a key means is the business
// of the derived class; this base refuses every pair.
class CL : public iErrorLCFHandler {
 public:
  virtual ~CL() = default;
  // True when the pair was taken. `spec` may be null (no specification to check with).
  virtual bool setOption(const std::string& key, const std::u16string& value,
                         const versionSpec* spec);
};

// Reads every logical line of an open source (continuations joined), splits it and
// hands the pair to take(key, value); stops at the first line that is too long, cannot
// be split or is refused. True when the end was reached; otherwise `failedLine` holds
// that line (the part collected, for a line that is too long). Touches no file.
template <class Take>
bool readPairs(textSource& source, Take take, std::u16string& failedLine) {
  std::string key;
  std::u16string value;
  for (;;) {
    if (!source.readLine(true)) {
      if (source.atEnd()) return true;
      failedLine = source.line();
      return false;
    }
    if (!splitKeyValue(source.line(), key, value) || !take(key, value)) {
      failedLine = source.line();
      return false;
    }
  }
}

// Reads the file and gives every pair to `target`. A pair refused with the
// specification is offered once more without it. The first line that cannot be split
// or is refused stops the load through reportLoadError (the file is moved aside as
// ".broken"); pairs taken before stay in `target`. True when every line was taken.
bool loadTextConfig(CL& target, const std::string& path, const versionSpec* spec = nullptr);

}  // namespace zv
