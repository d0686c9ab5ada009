// Reads arbitrary bytes as the byte-for-byte line files of the boot services (the ".ip"
// files and the service lists). Lines are never empty, never longer than 4095 bytes and
// hold no line breaks, comments or outer blanks; reading always ends.
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

void readEverything(std::string_view bytes, bool join) {
  zv::byteTextBuffer buffer;
  require(buffer.openBytes(bytes));
  while (!buffer.atEnd()) {
    bool ok = buffer.readLine(join);
    const std::string& line = buffer.line();
    require(line.size() <= zv::maxLogicalLine);
    if (!ok) {
      require(buffer.atEnd() ? line.empty() : line.size() == zv::maxLogicalLine);
      continue;
    }
    require(!line.empty());
    require(line.front() != ' ' && line.front() != '\t');
    require(line.back() != ' ' && line.back() != '\t');
    require(line.find_first_of("\r\n#") == std::string::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  readEverything(bytes, false);
  readEverything(bytes, true);
  return 0;
}
