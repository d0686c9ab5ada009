#include "common/misc3.h"

#include "common/textConfigFile.h"
#include "platform/diagnostics.h"
#include "platform/files.h"

#include <cerrno>
#include <optional>

namespace zv {

bool readWholeTextFile(const std::string& path, std::u16string& out) {
  out.clear();
  fileContents contents = readFileLimited(path, textFileLimit);
  if (!contents.ok()) return false;
  std::optional<std::string> bytes = std::move(contents.bytes);
  detectedEncoding found = detectTextEncoding(*bytes);
  std::string_view body = std::string_view(*bytes).substr(found.markSize);
  if (found.encoding == textEncoding::utf16le) {
    bool tooLarge = body.size() / 2 > maxWholeText;
    if (tooLarge) body = body.substr(0, 2 * maxWholeText);
    out = decodeUtf16le(body);
    if (tooLarge) logMessage("File %s is too large.", path.c_str());
    return true;
  }
  bool tooLarge = body.size() > maxWholeText;
  if (tooLarge) {
    // Cut before a sequence that the limit would split, so the text does not end in
    // '?' characters that were never in the file.
    auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(body[i]); };
    std::size_t cut = maxWholeText;
    if ((byteAt(cut) & 0xC0) == 0x80) {
      for (std::size_t back = 1; back <= 2; ++back) {
        unsigned char b = byteAt(cut - back);
        if ((b & 0xC0) == 0x80) continue;
        std::size_t length = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : 1;
        if (length > back) cut -= back;
        break;
      }
    }
    body = body.substr(0, cut);
  }
  out = decodeUtf8Lenient(body);
  if (tooLarge) logMessage("File %s is too large.", path.c_str());
  return true;
}

bool writeWideTextFile(const std::string& path, std::u16string_view text) {
  std::string bytes;
  bytes.reserve(2 + 2 * text.size());
  bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(char(c & 0xFF));
    bytes.push_back(char(c >> 8));
  }
  if (!writeFileAtomically(path, bytes)) {
    ZV_REPORT("%s", errnoText(("write " + path).c_str(), errno).c_str());
    return false;
  }
  return true;
}

}  // namespace zv
