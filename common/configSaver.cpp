#include "common/configSaver.h"

#include "platform/diagnostics.h"
#include "platform/textConv.h"

#include <cerrno>

namespace zv {
namespace {

constexpr std::string_view byteOrderMark = "\xFF\xFE";

std::string utf16leBytes(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(2 * text.size());
  for (char16_t c : text) {
    bytes.push_back(char(c & 0xFF));
    bytes.push_back(char(c >> 8));
  }
  return bytes;
}

}  // namespace

std::u16string textLine(std::u16string content) {
  if (!content.empty() && content.back() == u'\\') content += u'#';
  content += u"\r\n";
  return content;
}

std::u16string optionLine(std::string_view key, std::u16string_view value) {
  std::u16string line = widenAscii(key);
  line.reserve(line.size() + 1 + value.size() + 3);
  line += u'=';
  line += value;
  return textLine(std::move(line));
}

std::unique_ptr<atomicFileWriter> CS::openForWriting(const std::string& path) {
  auto file = std::make_unique<atomicFileWriter>();
  if (!file->open(path)) return nullptr;
  return file;
}

bool CS::writeLine(std::u16string_view line, atomicFileWriter& file,
                   const std::string& path) const {
  if (file.write(utf16leBytes(line))) return true;
  ZV_INTERNAL_ERROR();
  file.discard();
  std::u16string message = u"Failed to save line: ";
  message += line;
  message += u"\r\n";
  return reportSaveError(path, message);
}

bool CS::finishWriting(atomicFileWriter& file, const std::string& path) const {
  if (file.commit()) return true;
  ZV_REPORT("%s", errnoText(("replace " + path).c_str(), errno).c_str());
  return reportSaveError(path, u"Failed to save file.");
}

bool CS::saveConfigLines(const std::string& path, std::span<const std::u16string> lines) const {
  std::unique_ptr<atomicFileWriter> file = openForWriting(path);
  if (!file || !file->write(byteOrderMark)) {
    ZV_REPORT("%s", errnoText(("open " + path).c_str(), errno).c_str());
    return reportSaveError(path, u"Failed to open file.");
  }
  for (const std::u16string& line : lines)
    if (!writeLine(line, *file, path)) return false;
  return finishWriting(*file, path);
}

}  // namespace zv
