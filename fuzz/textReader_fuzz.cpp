// Decodes arbitrary file bytes and reads them as configuration lines, with and without
// continuations, splitting each line into key and value. Checks the properties every
// caller relies on: lines are never empty, never longer than 4095 units, carry no line
// breaks, comments or outer blanks; keys are short ASCII; reading always ends.
//
// And the writer's promise, both ways: every pair the reader produces is one the syntax
// holds, and every pair the syntax holds (arbitrary UTF-16 values included) is written so
// that it reads back as exactly that pair, with the next line still a line of its own.
#include "common/configSaver.h"
#include "common/optionList.h"
#include "common/textConfigFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool isBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

std::string utf16leFile(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(char(c & 0xFF));
    bytes.push_back(char(c >> 8));
  }
  return bytes;
}

// Writes the pair as the configuration writer does, then a sentinel line, and reads
// both back.
void requireRoundTrip(const std::string& key, const std::u16string& value) {
  zv::textSource source;
  require(source.openBytes(utf16leFile(zv::optionLine(key, value) + u"sentinel=1\r\n")));
  std::string readKey;
  std::u16string readValue;
  require(source.readLine(true) && zv::splitKeyValue(source.line(), readKey, readValue));
  require(readKey == key && readValue == value);
  require(source.readLine(true) && source.line() == u"sentinel=1");
  require(!source.readLine(true) && source.atEnd());
}

void readEverything(std::string_view bytes, bool join) {
  zv::textSource source;
  require(source.openBytes(bytes));
  std::string key;
  std::u16string value;
  // A too-long line stops on the unit that did not fit, so every call moves on.
  while (!source.atEnd()) {
    bool ok = source.readLine(join);
    const std::u16string& line = source.line();
    require(line.size() <= zv::maxLogicalLine);
    if (!ok) {
      require(source.atEnd() ? line.empty() : line.size() == zv::maxLogicalLine);
      continue;
    }
    require(!line.empty() && !isBlank(line.front()) && !isBlank(line.back()));
    require(line.find_first_of(u"\r\n#") == std::u16string::npos);
    if (zv::splitKeyValue(line, key, value)) {
      require(key.size() <= zv::maxKeyLength);
      for (char c : key) require(static_cast<unsigned char>(c) < 0x80);
      require(key.size() + value.size() <= line.size());
      require(line.ends_with(value));
      if (join) {
        require(zv::representableOption(key, value));
        requireRoundTrip(key, value);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  require(zv::decodeUtf8Lenient(bytes).size() <= size);
  require(zv::decodeUtf16le(bytes).size() == size / 2);
  readEverything(bytes, false);
  readEverything(bytes, true);
  // The input as one value in UTF-16, under a key made of its first bytes.
  if (size >= 1) {
    std::size_t keyLength = std::min<std::size_t>(data[0] % 8, size - 1);
    std::string key(bytes.substr(1, keyLength));
    std::u16string value = zv::decodeUtf16le(bytes.substr(1 + keyLength));
    if (zv::representableOption(key, value)) requireRoundTrip(key, value);
  }
  return 0;
}
