// Decodes arbitrary file bytes and reads them as configuration lines, with and without
// continuations, splitting each line into key and value. Checks the properties every
// caller relies on: lines are never empty, never longer than 4095 units, carry no line
// breaks, comments or outer blanks; keys are short ASCII; reading always ends.
#include "common/textConfigFile.h"

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
  return 0;
}
